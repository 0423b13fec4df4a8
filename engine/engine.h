// The cleaning engine: the browser catalogue, message formatting, file removal,
// browser shutdown, profile cleaning and the cleanup run. Both programs link it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "rapidjson/fwd.h"

// Receives one output line, without a line end. May be empty: then lines are dropped.
using LogSink = std::function<void(const std::wstring&)>;

struct CleanupOptions {
    bool preview = false;   // report what would be closed and deleted, change nothing
    bool tabsOnly = false;  // delete only what holds open tabs and sessions, keep history
    bool force = false;     // terminate browsers at once, without the graceful close
    LogSink log;
};

enum class BrowserKind : int32_t { ChromiumFamily = 0, Firefox = 1 };

struct BrowserEntry {
    const wchar_t* displayName;
    const wchar_t* imageName;
    BrowserKind kind;
    const wchar_t* baseVariable;
    const wchar_t* subPath;
};

using BrowserCatalogue = std::vector<BrowserEntry>;

// The seven supported browsers, in the order they are closed, cleaned and audited.
const BrowserCatalogue& GetBrowserCatalogue();

// A Chromium-family row's user-data folder: its base variable's value, a
// backslash and its subPath; "" when the variable is unset, empty or too long.
std::wstring UserDataFolder(const BrowserEntry& browser);
// %APPDATA%\Mozilla\Firefox\Profiles; "" when APPDATA is unset, empty or too
// long (the bare "\Mozilla\..." would name a folder at the root of the current drive).
std::wstring FirefoxProfilesFolder();

// ---- Text and environment -------------------------------------------------

constexpr std::size_t FORMAT_BUFFER_CHARS = 1024;
constexpr std::size_t ENV_BUFFER_CHARS = 520;

// printf-style formatting (%ls for wide strings, %zu for sizes); at most 1023 characters survive.
std::wstring FormatWide(const wchar_t* format, ...);

// Hands one line to options.log, if there is one.
void WriteLine(const CleanupOptions& options, const std::wstring& line);

// The variable's value when it is 1 to 519 characters long; otherwise (unset, empty, too long) "".
std::wstring ReadEnvironmentVariable(const wchar_t* name);

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string WideToUtf8(const std::wstring& text);
// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::wstring Utf8ToWide(const std::string& bytes);

// Compares with only the ASCII letters A-Z folded to a-z.
bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);
bool StartsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view prefix);

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

// ---- File and folder removal -----------------------------------------------

void RemoveFile(const CleanupOptions& options, const std::wstring& path);
void RemoveFolderTree(const CleanupOptions& options, const std::wstring& path);

// ---- Chromium-family profiles ----------------------------------------------

// True when the folder holds "Preferences", "Secure Preferences" or "Extensions".
bool IsProfileFolder(const std::wstring& folder);
// True for "Default" and for names beginning with "Profile " (ASCII case ignored).
bool IsProfileFolderName(std::wstring_view name);

void CleanChromiumProfile(const CleanupOptions& options, const std::wstring& profile);
void CleanChromiumBrowser(const CleanupOptions& options,
                          const std::wstring& displayName,
                          const std::wstring& userDataFolder);

// ---- Browser shutdown --------------------------------------------------------

// How long the closing phase waits, in all, for the browsers asked to close to exit.
constexpr uint32_t GRACEFUL_WAIT_MS = 5000;
// At most this long after closing, the run waits for every browser process found
// to be gone before it touches their files.
constexpr uint32_t SETTLE_PAUSE_MS = 1200;

// Ids of the running processes of this Windows session whose image name equals
// imageName (ASCII case ignored), in snapshot order.
std::vector<uint32_t> FindProcessIds(const std::wstring& imageName);
// The closing phase for rows, in row order: writes every found browser's lines,
// asks every visible window to close, gives them all one grace period together
// (a browser with no visible window is not waited for), terminates what is left
// and returns once the processes found are gone, at most SETTLE_PAUSE_MS later.
// A process belongs to the first row naming its image. Preview only writes the
// lines; force terminates without asking. Nothing running: no line, no pause.
void CloseBrowsers(const CleanupOptions& options, const BrowserCatalogue& rows);
// The closing phase for one browser.
void CloseBrowser(const CleanupOptions& options, const std::wstring& displayName, const std::wstring& imageName);

// ---- Firefox profiles --------------------------------------------------------

void CleanFirefox(const CleanupOptions& options);
void CleanFirefoxProfile(const CleanupOptions& options, const std::wstring& profile);

// ---- The cleanup run -----------------------------------------------------------

// Closes every browser, then cleans every profile; all output goes to options.log.
void RunCleanup(const CleanupOptions& options);

// ---- Chromium-family settings files -------------------------------------------

// The largest settings file read; real ones stay far below.
constexpr std::size_t MAX_SETTINGS_FILE_BYTES = 32 * 1024 * 1024;
// Deeper nesting is refused, as the browsers' own JSON reader refuses it.
constexpr unsigned MAX_JSON_DEPTH = 200;

enum class JsonLoad { Done, Missing, Unreadable, TooLarge, NotJson, TooDeep, NotAnObject };

// Parses a whole JSON text (a leading UTF-8 byte-order mark allowed) into
// *document without recursion; Done only when the root is an object.
JsonLoad ParseJsonObject(const std::string& bytes, rapidjson::Document* document);
// Reads a file of at most maxBytes (see ReadFileBytes) and parses it as above.
JsonLoad LoadJsonObjectFile(const std::wstring& path, std::size_t maxBytes, rapidjson::Document* document);

// The value of the member called name, the last one when the name repeats (the
// browsers keep the last); nullptr when there is none or object is not an object.
const rapidjson::Value* FindJsonMember(const rapidjson::Value& object, std::string_view name);
// Follows the names from object to object: FindJsonPath(root, {"session", "startup_urls"}).
const rapidjson::Value* FindJsonPath(const rapidjson::Value& root, std::initializer_list<std::string_view> path);
// The text of a JSON string value, decoded to UTF-16; "" for anything else.
std::wstring JsonText(const rapidjson::Value* value);

enum class SitePermission { Notifications, Popups, AutomaticDownloads };

// A site, or every site, that a profile's Preferences allow to use a permission.
struct SitePermissionGrant {
    SitePermission permission;
    std::wstring site;  // the primary pattern as stored ("https://a.example:443"); "" for every site
    bool allSites;      // the default for every site is to allow
};

// The setting's name in Preferences: "notifications", "popups", "automatic_downloads".
const char* SitePermissionName(SitePermission permission);
// The grants of a parsed Preferences document: per permission the default when
// it allows, then every exception whose setting is 1 (allow), in file order.
std::vector<SitePermissionGrant> FindSitePermissionGrants(const rapidjson::Value& preferences);
