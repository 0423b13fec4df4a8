// Windows and text plumbing that knows nothing of browsers: formatting, the
// environment, UTF-8 and UTF-16, masking, ASCII folding, path forms, folder
// listing, bounded file reading and replacing a file. Every layer above uses it.
// Plain C++ declarations with no Windows headers, so that the plain parts can
// also be built natively.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Receives one output line, without a line end. May be empty: then lines are dropped.
using LogSink = std::function<void(const std::wstring&)>;

// ---- Text and environment -------------------------------------------------

constexpr std::size_t FORMAT_BUFFER_CHARS = 1024;
constexpr std::size_t ENV_BUFFER_CHARS = 520;

// printf-style formatting (%ls for wide strings, %zu for sizes); at most 1023
// characters survive, and a longer text is cut so that it ends with "...".
std::wstring FormatWide(const wchar_t* format, ...);

// The variable's value when it is 1 to 519 characters long; otherwise (unset, empty, too long) "".
std::wstring ReadEnvironmentVariable(const wchar_t* name);

// The text with each %NAME% of a set variable replaced by its value, as Windows
// expands a REG_EXPAND_SZ value; the text as it is when it cannot be expanded.
std::wstring ExpandEnvironmentText(const std::wstring& text);

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string WideToUtf8(const std::wstring& text);
// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::wstring Utf8ToWide(const std::string& bytes);

// Appends one character as UTF-8; a surrogate code point (half of a UTF-16 pair)
// or one beyond U+10FFFF becomes U+FFFD.
void AppendUtf8(char32_t character, std::string* text);
// The character a UTF-16 unit stands for, with the unit after it (or 0): a high
// surrogate followed by a low one makes one character, and *pair says that both
// were taken. Any other unit stands for itself, a lone surrogate included
// (AppendUtf8 makes it U+FFFD).
char32_t Utf16Character(uint32_t unit, uint32_t next, bool* pair);

// Replaces each control character (U+0000-U+001F except tab, U+007F-U+009F), each
// line or paragraph separator (U+2028, U+2029), each bidirectional formatting
// character (U+061C, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) and each
// zero-width character (U+200B-U+200D, U+2060, U+FEFF) by "?", so that text from a
// file cannot add, overwrite, reorder or disguise output lines.
std::wstring MaskUnsafeCharacters(std::wstring text);

// The ASCII letters A-Z folded to a-z and every other character left as it is:
// nothing beyond ASCII changes (unlike a locale's tolower), and '_' and DEL, '['
// and '{', '@' and '`' stay apart (unlike setting bit 0x20).
constexpr wchar_t FoldAscii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}
// FoldAscii of every byte value, for scans that fold UTF-8 text byte by byte.
inline constexpr std::array<unsigned char, 256> FOLD_TABLE = [] {
    std::array<unsigned char, 256> table{};
    for (std::size_t c = 0; c < table.size(); ++c)
        table[c] = static_cast<unsigned char>(FoldAscii(static_cast<wchar_t>(c)));
    return table;
}();
constexpr bool IsAsciiLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}
// The value of an ASCII hexadecimal digit (0-9, a-f, A-F); -1 for any other byte.
int HexDigitValue(char c);

// The bytes that base64 text stands for (RFC 4648: A-Z a-z 0-9 + /, "="
// padding optional); false, with *bytes empty, for anything else.
bool DecodeBase64(std::wstring_view text, std::string* bytes);

// Compare with only the ASCII letters A-Z folded to a-z (FoldAscii).
bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);
bool StartsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view prefix);
bool EndsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view suffix);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// A short identity of a list of texts: 12 lower-case hexadecimal digits, the
// same for the same texts on every machine and in every run (FNV-1a over each
// text's UTF-16 units, each text ended by a zero unit, so "ab","c" and "a","bc"
// differ). Short enough to type, and far from a collision among a machine's findings.
std::wstring ShortTextId(std::initializer_list<std::wstring_view> texts);

// ---- Path forms ------------------------------------------------------------------
// Every file-system call of removal, cleaning, listing and reading goes through
// LongPathForm, while every path shown stays in its plain form. The "\\?\" form
// skips the Win32 path parsing, which strips a trailing dot or space from each name
// ("file." would become "file"), maps names such as CON or NUL to devices and stops
// at 260 characters. It also skips all normalisation, so base folders are made full
// with FullFolderPath once and names are then appended exactly as a listing gives them.

// "C:\x" -> "\\?\C:\x", "C:" (a drive's root) -> "\\?\C:\", "\\server\share\x" ->
// "\\?\UNC\server\share\x"; a path already in "\\?\" or "\\.\" form, or any other
// (relative) path, unchanged. Purely lexical.
std::wstring LongPathForm(const std::wstring& path);
// The full path of a folder as GetFullPathNameW makes it (separators, "." and ".."
// resolved), without a trailing backslash ("C:" for the root of drive C:); "" for ""
// or a path that cannot be made full.
std::wstring FullFolderPath(const std::wstring& path);
// True when both name the same path as Windows compares names: case ignored,
// beyond ASCII too.
bool SamePath(const std::wstring& a, const std::wstring& b);
// The folder part of a path: everything before its last backslash; "" when it has none.
std::wstring FolderOfPath(const std::wstring& path);
// True for "C:\..." and for "\\server\..." or "\\?\..." paths: ones that do not depend
// on the current drive or folder. Purely lexical.
bool IsFullPath(const std::wstring& path);
// The path of a file or folder as Windows resolves it, links and all, in the
// "\\?\" form that GetFinalPathNameByHandleW gives; "" when it cannot be opened or
// resolved. Under Wine a Unix link carries no reparse point, and only this shows
// where it leads.
std::wstring FinalPath(const std::wstring& path);
// The same for an open handle (a HANDLE).
std::wstring FinalPathOfHandle(void* handle);
// True when finalPath, where a file resolves, is its own name in its folder,
// given by the folder's final path: the file is no link that leads elsewhere.
// False when either path is "". Wine's GetFinalPathNameByHandleW passes its
// result through the Win32 path rules, which drop trailing dots and spaces from
// some names (and turn "..." into ".."); Windows keeps every name as it is. So
// names are compared without their trailing dots and spaces.
bool IsAtItsOwnName(const std::wstring& finalPath, const std::wstring& folderFinalPath, const std::wstring& name);
// True when this process may add and remove entries in the folder (asked of its
// security descriptor, nothing opened for writing); also true when that cannot
// be found out, for the change itself to say what it could not do.
bool MayChangeFolderEntries(const std::wstring& folder);
// A file or folder as the file system knows it, links followed: its volume's
// serial number and its file index. Unlike final paths, which Wine passes
// through the Win32 path rules ("x." and "x" both come out as "x"), it tells
// apart every two things that are not the same.
struct FileIdentity {
    uint32_t volume = 0;
    uint64_t index = 0;
};
// False when the path cannot be opened or examined.
bool ReadFileIdentity(const std::wstring& path, FileIdentity* identity);
// True when the path names nothing (any more); one that cannot be examined is not gone.
bool PathIsGone(const std::wstring& path);
// True for the errors that say a path names nothing: no such file, no such folder.
bool IsNotFoundError(uint32_t error);

// ---- Listing folders ----------------------------------------------------------

// Calls visit for every entry of folder except "." and "..", in the order the
// file system lists them, with the attributes the listing reports. Does nothing
// when the folder cannot be listed.
void ForEachFolderEntry(const std::wstring& folder,
                        const std::function<void(const std::wstring& name, uint32_t attributes)>& visit);

// True when the path exists and is a folder.
bool IsExistingFolder(const std::wstring& path);

// ---- Reading files -----------------------------------------------------------

enum class FileRead { Done, Missing, Unreadable, TooLarge };

// Reads the whole file into *bytes, unchanged, when it holds at most maxBytes
// bytes; otherwise *bytes is left empty and the result says why: no such file
// or folder, not readable (a folder, no access, held without sharing, a read
// error), or larger than maxBytes (checked before anything is read).
FileRead ReadFileBytes(const std::wstring& path, std::size_t maxBytes, std::string* bytes);

// Internet shortcuts and start-up scripts are small text files; larger ones are not read.
constexpr std::size_t MAX_SMALL_TEXT_FILE_BYTES = 1024 * 1024;

// A small text file as UTF-16: UTF-16LE with its byte-order mark, otherwise UTF-8
// (ASCII and a leading byte-order mark included; other bytes become U+FFFD).
FileRead ReadSmallTextFile(const std::wstring& path, std::wstring* text);

// The value of the first "URL=" line of an internet shortcut's (.url)
// [InternetShortcut] section (names without regard to ASCII case, spaces around
// them ignored); "" when there is none.
std::wstring InternetShortcutUrl(const std::wstring& text);

// ---- Replacing files ---------------------------------------------------------

enum class FileReplace {
    Done,            // the replacement carries the file's name, the old file the backup's
    Failed,          // the file is as it was, under its own name
    OldFileAtBackup  // the old file could not be moved back from the backup's name
};

struct FileReplacement {
    FileReplace result = FileReplace::Failed;
    uint32_t error = 0;              // the last error of ReplaceFileW when it failed
    bool replacementStayed = false;  // after a failure, the replacement could not be removed
};

// Writes the bytes into a file that did not exist and flushes them to the disk.
// CREATE_NEW never opens what is already there, a link included. *made: the
// file was created; after a failed write it stays, for the caller to remove.
// On failure GetLastError says why.
bool WriteNewFlushedFile(const std::wstring& path, const std::string& bytes, bool* made);
// Deletes a file, tried again as ReplaceFileKeepingOld tries while a program
// holds it for a moment; true when it is gone (or was never there).
bool RemoveFileWithRetries(const std::wstring& path);
// Puts replacement (a file in the same folder) in the place of file with
// ReplaceFileW, which moves the old file to backup (replacing an older backup)
// in the same step, so that the file's name never names nothing for long. A
// sharing violation or a denied access (a scanner or an indexer holding the file
// for a moment) is tried again, 10 tries 100 ms apart. On failure the
// replacement is removed and a file that is gone goes back to its name.
FileReplacement ReplaceFileKeepingOld(const std::wstring& file,
                                      const std::wstring& replacement,
                                      const std::wstring& backup);

// ---- Shortcut file layout --------------------------------------------------------
// The sections of a shortcut (.lnk) file as the shell link binary format lays them
// out (MS-SHLLINK): a 0x4C-byte header, the target's ID list (a 16-bit size), the
// LinkInfo (a 32-bit size that counts itself), the counted strings of StringData
// and the ExtraData blocks (each a 32-bit size that counts itself, then its
// signature), ended by a terminal block whose size is below 4. Read from the bytes
// alone, so that a shortcut can be changed in one string with every other byte
// kept: the shell's own writer drops the blocks it does not know and resets the
// header's times, size and attributes.

enum class ShortcutLayoutProblem {
    None,
    NotAShortcut,              // shorter than its header, or another header size or class
    NotUnicode,                // its strings are in the system's code page (IsUnicode clear)
    SectionsDoNotAddUp,        // a section runs past the end, a block is cut short, no terminal block, bytes after it
    ArgumentsInPropertyStore,  // the property store block holds the arguments' text as well
    ArgumentsTooLong           // more UTF-16 units than a string's 16-bit count can say
};

// Bytes [offset, offset + size) of a shortcut file; size 0 for a section that is absent.
struct ShortcutSpan {
    std::size_t offset = 0;
    std::size_t size = 0;
};

// The strings of StringData, in the order they are stored.
enum class ShortcutString { Name, RelativePath, WorkingFolder, Arguments, IconLocation };
constexpr std::size_t SHORTCUT_STRING_COUNT = 5;

// LinkFlags bits.
constexpr uint32_t SHORTCUT_HAS_ID_LIST = 0x1;
constexpr uint32_t SHORTCUT_HAS_LINK_INFO = 0x2;
constexpr uint32_t SHORTCUT_HAS_ARGUMENTS = 0x20;
constexpr uint32_t SHORTCUT_IS_UNICODE = 0x80;
constexpr uint32_t SHORTCUT_PROPERTY_STORE_SIGNATURE = 0xA0000009;

struct ShortcutExtraBlock {
    uint32_t signature = 0;
    ShortcutSpan span;  // size and signature included
};

struct ShortcutLayout {
    ShortcutLayoutProblem problem = ShortcutLayoutProblem::NotAShortcut;
    uint32_t linkFlags = 0;
    int32_t iconIndex = 0;
    uint32_t showCommand = 0;  // SW_SHOWNORMAL (1), SW_SHOWMAXIMIZED (3), SW_SHOWMINNOACTIVE (7)
    uint16_t hotKey = 0;
    ShortcutSpan idList;                                      // its 16-bit size included
    ShortcutSpan linkInfo;                                    // its 32-bit size included
    std::array<ShortcutSpan, SHORTCUT_STRING_COUNT> strings;  // each with its count; by ShortcutString
    std::vector<ShortcutExtraBlock> extraBlocks;              // in file order, the terminal block not among them
    ShortcutSpan terminal;
};

// The layout of the bytes; problem says what keeps them from being changed
// safely (NotUnicode with every span found, the others where the reading stopped).
ShortcutLayout ReadShortcutLayout(std::string_view bytes);

// A string of StringData up to its first U+0000, as the shell reads it; "" when absent.
std::wstring ShortcutStringText(std::string_view bytes, const ShortcutLayout& layout, ShortcutString which);

// The arguments of a shortcut replaced in its bytes, and what that took.
struct ShortcutArgumentsEdit {
    ShortcutLayoutProblem problem = ShortcutLayoutProblem::NotAShortcut;
    std::string bytes;          // the changed file; "" when problem is not None
    std::wstring oldArguments;  // as the shell reads them
    ShortcutSpan oldField;      // the arguments' count and units in the old bytes (size 0: there were none)
    ShortcutSpan newField;      // the same in the new bytes (size 0: none are left)
};

// Replaces COMMAND_LINE_ARGUMENTS and its count, and nothing else: every byte
// before and after them is copied as it is (LinkInfo's offsets count from its own
// start, and each ExtraData block carries its own size), and what follows the
// old text's first U+0000 is kept after the new text (Wine counts a terminating
// U+0000 in each string). HasArguments is cleared only when nothing is left, and
// then the string goes; it is set when there were none. Refused (problem, no
// bytes) when the layout has a problem or the property store block holds the old
// arguments' UTF-16 text, which the shell would show in their place.
ShortcutArgumentsEdit ReplaceShortcutArguments(std::string_view bytes, const std::wstring& arguments);

// True when both are shortcuts with a sound layout whose bytes differ at most
// in their arguments (count and text) and the HasArguments bit of LinkFlags.
bool SameBytesOutsideArguments(std::string_view a, std::string_view b);
