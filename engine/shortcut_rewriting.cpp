// Giving a shortcut new arguments by changing its bytes (ReplaceShortcutArguments)
// rather than saving it through the shell, which drops the ExtraData blocks it
// does not know and, under Wine 8, the window state. The new file is written
// beside the old one under a name made for this call, read back through the
// shell and byte for byte, and swapped in only while the old file still holds
// what was read.
#include "base/win_handles.h"
#include "engine/engine_testing.h"

void (*shortcutRewriteBeforeLastCheck)(const std::wstring& path) = nullptr;
void (*shortcutRewriteBeforeSwap)(const std::wstring& path) = nullptr;

namespace {

constexpr int NAME_TRIES = 100;
constexpr int REMOVE_TRIES = 10;
constexpr DWORD REMOVE_PAUSE_MS = 100;

HRESULT LastError() {
    return HRESULT_FROM_WIN32(GetLastError());
}

std::wstring NameOf(const std::wstring& path) {
    return path.substr(path.find_last_of(L'\\') + 1);
}

// The bytes of a file opened by name, with where that name resolves.
struct OpenedFile {
    ShortcutRewriteResult result = ShortcutRewriteResult::Unreadable;
    HRESULT error = S_OK;
    std::wstring finalPath;
    std::string bytes;
};

bool ReadAll(HANDLE file, std::string* bytes) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > MAX_SHORTCUT_FILE_BYTES)
        return false;
    bytes->resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    return bytes->empty() ||
           (ReadFile(file, &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr) && read == bytes->size());
}

// Opens the file as the swap will need it (DELETE, which another program's
// handle without FILE_SHARE_DELETE refuses), checks through that handle that
// the name resolves to itself in its folder and reads what is there.
OpenedFile OpenOwnName(const std::wstring& path, const std::wstring& folderFinalPath) {
    OpenedFile opened;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    UniqueHandle file(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ | DELETE, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        opened.error = HRESULT_FROM_WIN32(error);
        if (IsNotFoundError(error))
            opened.result = ShortcutRewriteResult::Missing;
        else if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
            opened.result = ShortcutRewriteResult::InUse;
        else if (error == ERROR_ACCESS_DENIED)
            opened.result = ShortcutRewriteResult::NoRight;
        return opened;
    }
    opened.finalPath = FinalPathOfHandle(file.get());
    if (opened.finalPath.empty() || folderFinalPath.empty()) {
        opened.error = LastError();
        return opened;
    }
    if (!IsAtItsOwnName(opened.finalPath, folderFinalPath, NameOf(path))) {
        opened.result = ShortcutRewriteResult::Link;
        return opened;
    }
    if (!ReadAll(file.get(), &opened.bytes)) {
        opened.error = LastError();
        return opened;
    }
    opened.result = ShortcutRewriteResult::Done;
    return opened;
}

// A file this call made, known by its identity so that nothing else is ever deleted in its place.
struct OwnFile {
    std::wstring path;
    FileIdentity identity;
};

bool SameIdentity(const FileIdentity& a, const FileIdentity& b) {
    return a.volume == b.volume && a.index == b.index;
}

// Makes a file that was not there, "<path>.<unique>.<suffix>", holding bytes
// flushed to the disk. CREATE_NEW never opens what is already there, a link
// included; a name taken is passed over.
HRESULT MakeOwnFile(const std::wstring& path, const wchar_t* suffix, const std::string& bytes, OwnFile* own) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < NAME_TRIES; ++attempt) {
        own->path = path +
                    FormatWide(L".%lx-%llx-%x.", GetCurrentProcessId(),
                               static_cast<unsigned long long>(GetTickCount64()), ++counter) +
                    suffix;
        UniqueHandle file(CreateFileW(LongPathForm(own->path).c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                continue;
            own->path.clear();
            return HRESULT_FROM_WIN32(error);
        }
        DWORD written = 0;
        BY_HANDLE_FILE_INFORMATION information = {};
        if (WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && FlushFileBuffers(file.get()) &&
            GetFileInformationByHandle(file.get(), &information)) {
            own->identity.volume = information.dwVolumeSerialNumber;
            own->identity.index = (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
            return S_OK;
        }
        HRESULT error = LastError();
        FILE_DISPOSITION_INFO disposition = {TRUE};
        SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition));
        own->path.clear();
        return error;
    }
    own->path.clear();
    return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
}

// Deletes the file this call made, if its name still names it; true when it is
// gone or never was. A program holding it for a moment is waited out.
bool RemoveOwnFile(const OwnFile& own) {
    if (own.path.empty())
        return true;
    for (int attempt = 1;; ++attempt) {
        UniqueHandle file(CreateFileW(LongPathForm(own.path).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        DWORD error = file ? ERROR_SUCCESS : GetLastError();
        if (!file && (IsNotFoundError(error) || error == ERROR_DELETE_PENDING))
            return true;
        if (file) {
            BY_HANDLE_FILE_INFORMATION information = {};
            if (!GetFileInformationByHandle(file.get(), &information))
                return false;
            FileIdentity found{information.dwVolumeSerialNumber,
                               (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
            if (!SameIdentity(found, own.identity))
                return true;  // another file has the name now: not this call's to delete
            FILE_DISPOSITION_INFO disposition = {TRUE};
            if (SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition)))
                return true;
            error = GetLastError();
        }
        if (attempt == REMOVE_TRIES || (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION))
            return false;
        Sleep(REMOVE_PAUSE_MS);
    }
}

// The fields the shell reads from the changed bytes must be the old ones but
// for the arguments (and the flag that says there are some).
bool ReadsAsNewArguments(const ShortcutReading& reading, const ShortcutFields& before, const std::wstring& arguments) {
    if (reading.result != ShortcutRead::Done)
        return false;
    ShortcutFields expected = before;
    expected.arguments = arguments;
    expected.flags = (before.flags & ~SHORTCUT_HAS_ARGUMENTS) | (reading.fields.flags & SHORTCUT_HAS_ARGUMENTS);
    return reading.fields == expected;
}

std::wstring FolderFinalPath(const std::wstring& folder, ShortcutFolderMemo* memo) {
    if (!memo)
        return FinalPath(folder);
    std::wstring& known = (*memo)[folder].finalPath;
    if (known.empty())
        known = FinalPath(folder);
    return known;
}

bool FolderEntriesMayChange(const std::wstring& folder, ShortcutFolderMemo* memo) {
    if (!memo)
        return MayChangeFolderEntries(folder);
    int& known = (*memo)[folder].mayChangeEntries;
    if (known < 0)
        known = MayChangeFolderEntries(folder) ? 1 : 0;
    return known == 1;
}

// Every check that writes nothing; the rewrite's result stays Unreadable until they all pass.
bool CheckWithoutWriting(const std::wstring& path,
                         const std::wstring& expectedArguments,
                         const std::wstring& arguments,
                         ShortcutFolderMemo* folders,
                         ShortcutRewrite* rewrite) {
    auto stop = [rewrite](ShortcutRewriteResult result, HRESULT error = S_OK) {
        rewrite->result = result;
        rewrite->error = static_cast<uint32_t>(error);
        return false;
    };
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(LongPathForm(path).c_str(), GetFileExInfoStandard, &data)) {
        DWORD error = GetLastError();
        return stop(IsNotFoundError(error) ? ShortcutRewriteResult::Missing : ShortcutRewriteResult::Unreadable,
                    HRESULT_FROM_WIN32(error));
    }
    rewrite->attributes = data.dwFileAttributes;
    // Decided on the bit: Wine reports Unix links to folders with no reparse tag.
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return stop(ShortcutRewriteResult::Link);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return stop(ShortcutRewriteResult::NotAFile);
    if (((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) > MAX_SHORTCUT_FILE_BYTES)
        return stop(ShortcutRewriteResult::TooLarge);
    // A read-only file is one someone wants kept as it is.
    if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        return stop(ShortcutRewriteResult::ReadOnly, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    // Under Wine a Unix link to a file looks like a plain file: only where its
    // name resolves shows that writing through it would change a file elsewhere.
    OpenedFile opened = OpenOwnName(path, FolderFinalPath(FolderOfPath(path), folders));
    rewrite->finalPath = opened.finalPath;
    if (opened.result != ShortcutRewriteResult::Done)
        return stop(opened.result, opened.error);
    rewrite->oldBytes = std::move(opened.bytes);

    ShortcutArgumentsEdit edit = ReplaceShortcutArguments(rewrite->oldBytes, arguments);
    rewrite->layoutProblem = edit.problem;
    if (edit.problem != ShortcutLayoutProblem::None)
        return stop(ShortcutRewriteResult::NotSound);
    ShortcutReading before = ReadShortcutBytes(rewrite->oldBytes);
    if (before.result != ShortcutRead::Done)
        return stop(ShortcutRewriteResult::NotAShortcut, before.error);
    rewrite->oldFields = before.fields;
    if (before.fields.arguments != expectedArguments)
        return stop(ShortcutRewriteResult::OtherArguments);
    if (before.fields.arguments != edit.oldArguments)
        return stop(ShortcutRewriteResult::ArgumentsElsewhere);
    rewrite->newBytes = std::move(edit.bytes);
    if (!ReadsAsNewArguments(ReadShortcutBytes(rewrite->newBytes), before.fields, arguments))
        return stop(ShortcutRewriteResult::ShellReadsOtherwise);
    // The swap adds a file to the folder and removes one: asked of the folder's
    // security, so that a dry run knows it as the run would find it.
    if (!FolderEntriesMayChange(FolderOfPath(path), folders))
        return stop(ShortcutRewriteResult::NotWritten, E_ACCESSDENIED);
    return true;
}

// True when the file written holds the new bytes, and the shell reads it as the
// old file (oldAsFile, read the same way) with the new arguments.
bool WrittenAsMeant(const std::wstring& path,
                    const ShortcutRewrite& rewrite,
                    const ShortcutFields& oldAsFile,
                    const std::wstring& arguments) {
    std::string written;
    return ReadFileBytes(path, MAX_SHORTCUT_FILE_BYTES, &written) == FileRead::Done && written == rewrite.newBytes &&
           SameBytesOutsideArguments(rewrite.oldBytes, written) &&
           ReadsAsNewArguments(ReadShortcut(path), oldAsFile, arguments);
}

// A name "<path>.<unique>.<suffix>" that nothing in the folder carries now: a
// name made for this call, as MakeOwnFile makes them, taken by a rename only.
HRESULT FreeName(const std::wstring& path, const wchar_t* suffix, std::wstring* name) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < NAME_TRIES; ++attempt) {
        *name = path +
                FormatWide(L".%lx-%llx-%x.", GetCurrentProcessId(), static_cast<unsigned long long>(GetTickCount64()),
                           ++counter) +
                suffix;
        if (GetFileAttributesW(LongPathForm(*name).c_str()) != INVALID_FILE_ATTRIBUTES)
            continue;
        DWORD error = GetLastError();
        if (IsNotFoundError(error))
            return S_OK;
        return HRESULT_FROM_WIN32(error);
    }
    return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
}

// Swaps the written file in; the old one, moved aside, is removed once it is
// known to hold the bytes read, and put back when it does not.
void SwapIn(const std::wstring& path, const OwnFile& written, ShortcutRewrite* rewrite) {
    std::wstring aside;
    HRESULT named = FreeName(path, L"popswat-old", &aside);
    if (FAILED(named)) {
        RemoveOwnFile(written);
        rewrite->result = ShortcutRewriteResult::NotWritten;
        rewrite->error = static_cast<uint32_t>(named);
        return;
    }
    // ReplaceFileW moves the old file to the free name: a rename only, with no
    // file made there first for the swap to replace.
    FileReplacement replaced = ReplaceFileKeepingOld(path, written.path, aside);
    if (replaced.result != FileReplace::Done) {
        rewrite->error = static_cast<uint32_t>(HRESULT_FROM_WIN32(replaced.error));
        if (replaced.result == FileReplace::OldFileAtBackup) {
            rewrite->result = ShortcutRewriteResult::MovedAside;
            rewrite->movedAsideTo = aside;
            return;
        }
        rewrite->result = ShortcutRewriteResult::NotReplaced;
        return;
    }
    std::string old;
    if (ReadFileBytes(aside, MAX_SHORTCUT_FILE_BYTES, &old) != FileRead::Done || old != rewrite->oldBytes) {
        // Changed in the moment before the swap: what it held then goes back to its name.
        if (MoveFileExW(LongPathForm(aside).c_str(), LongPathForm(path).c_str(), MOVEFILE_REPLACE_EXISTING)) {
            rewrite->result = ShortcutRewriteResult::ChangedWhileReplaced;
        } else {
            rewrite->error = static_cast<uint32_t>(LastError());
            rewrite->result = ShortcutRewriteResult::MovedAside;
            rewrite->movedAsideTo = aside;
        }
        return;
    }
    RemoveFileWithRetries(aside);
    // Wine's ReplaceFileW does not carry the old file's attributes (hidden, ...) over.
    SetFileAttributesW(LongPathForm(path).c_str(), rewrite->attributes);
    rewrite->result = ShortcutRewriteResult::Done;
}

}  // namespace

ShortcutRewrite RewriteShortcutArguments(const std::wstring& path,
                                         const std::wstring& expectedArguments,
                                         const std::wstring& arguments,
                                         const ShortcutRewriteSteps& steps) {
    ShortcutRewrite rewrite;
    if (steps.checked && !steps.dryRun && steps.checked->result == ShortcutRewriteResult::WouldDo)
        rewrite = *steps.checked;
    else if (!CheckWithoutWriting(path, expectedArguments, arguments, steps.folders, &rewrite))
        return rewrite;
    if (steps.dryRun) {
        rewrite.result = ShortcutRewriteResult::WouldDo;
        return rewrite;
    }
    if (steps.keepCopy && !steps.keepCopy(rewrite.oldBytes)) {
        rewrite.result = ShortcutRewriteResult::NoCopy;
        return rewrite;
    }
    OwnFile written;
    HRESULT made = MakeOwnFile(path, L"popswat-new", rewrite.newBytes, &written);
    if (FAILED(made)) {
        rewrite.result = ShortcutRewriteResult::NotWritten;
        rewrite.error = static_cast<uint32_t>(made);
        return rewrite;
    }
    ShortcutFields oldAsFile = steps.fileFields ? *steps.fileFields : ReadShortcut(path).fields;
    if (!WrittenAsMeant(written.path, rewrite, oldAsFile, arguments)) {
        RemoveOwnFile(written);
        rewrite.result = ShortcutRewriteResult::ShellReadsOtherwise;
        return rewrite;
    }
    if (shortcutRewriteBeforeLastCheck)
        shortcutRewriteBeforeLastCheck(path);
    OpenedFile now = OpenOwnName(path, FinalPath(FolderOfPath(path)));
    if (now.result != ShortcutRewriteResult::Done || now.bytes != rewrite.oldBytes) {
        RemoveOwnFile(written);
        rewrite.result = now.result == ShortcutRewriteResult::Done ? ShortcutRewriteResult::Changed : now.result;
        rewrite.error = static_cast<uint32_t>(now.error);
        return rewrite;
    }
    if (shortcutRewriteBeforeSwap)
        shortcutRewriteBeforeSwap(path);
    SwapIn(path, written, &rewrite);
    return rewrite;
}

std::wstring ShortcutRewriteProblem(const ShortcutRewrite& rewrite) {
    HRESULT error = static_cast<HRESULT>(rewrite.error);
    switch (rewrite.result) {
        case ShortcutRewriteResult::Done:
        case ShortcutRewriteResult::WouldDo:
            return std::wstring();
        case ShortcutRewriteResult::Missing:
            return L"it is no longer there";
        case ShortcutRewriteResult::NotAFile:
            return L"a folder, not a shortcut";
        case ShortcutRewriteResult::TooLarge:
            return FormatWide(L"larger than %llu MB", static_cast<unsigned long long>(MAX_SHORTCUT_FILE_BYTES >> 20));
        case ShortcutRewriteResult::Link:
            return L"a link, not followed";
        case ShortcutRewriteResult::Unreadable:
            return L"it could not be read, " + HresultText(error);
        case ShortcutRewriteResult::InUse:
            return L"in use by another program";
        case ShortcutRewriteResult::NoRight:
            return L"no right to change it";
        case ShortcutRewriteResult::ReadOnly:
            return L"read-only";
        case ShortcutRewriteResult::NotSound:
            switch (rewrite.layoutProblem) {
                case ShortcutLayoutProblem::NotUnicode:
                    return L"its texts are not stored as Unicode";
                case ShortcutLayoutProblem::SectionsDoNotAddUp:
                    return L"its sections do not add up to its size";
                case ShortcutLayoutProblem::ArgumentsInPropertyStore:
                    return L"its property store holds the arguments too";
                case ShortcutLayoutProblem::ArgumentsTooLong:
                    return L"the new arguments would be too long";
                case ShortcutLayoutProblem::NotAShortcut:
                case ShortcutLayoutProblem::None:
                    break;
            }
            return L"corrupt or not a shortcut";
        case ShortcutRewriteResult::NotAShortcut:
            return L"corrupt or not a shortcut, " + HresultText(error);
        case ShortcutRewriteResult::OtherArguments:
        case ShortcutRewriteResult::Changed:
            return L"it changed while it was read";
        case ShortcutRewriteResult::ChangedWhileReplaced:
            return L"it changed while it was replaced, and is back as it was then";
        case ShortcutRewriteResult::ArgumentsElsewhere:
            return L"the shell reads its arguments from elsewhere in it";
        case ShortcutRewriteResult::ShellReadsOtherwise:
            return L"saving would have changed more than its arguments";
        case ShortcutRewriteResult::NoCopy:
            return L"no backup copy could be made";
        case ShortcutRewriteResult::NotWritten:
            if (error == E_ACCESSDENIED)
                return L"no right to write in its folder";
            return L"no new file could be written beside it, " + HresultText(error);
        case ShortcutRewriteResult::NotReplaced:
            if (error == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) ||
                error == HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION))
                return L"in use by another program";
            return L"it could not be replaced, " + HresultText(error);
        case ShortcutRewriteResult::MovedAside:
            return L"it could not be replaced, " + HresultText(error) + L"; the old shortcut is now " +
                   MaskUnsafeCharacters(NameOf(rewrite.movedAsideTo)) + L" beside it";
    }
    return std::wstring();
}
