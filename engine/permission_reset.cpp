// Takes back what sites were allowed to do in a Chromium-family profile's
// Preferences, writing the file the way the browsers write it themselves: the
// whole document, compact UTF-8 without a byte-order mark, into a new file in
// the same folder that is flushed and read back before ReplaceFileW swaps it in
// and keeps the old file under a backup name in the same step. Until that call
// succeeds the old file is never touched.
#include "engine/engine.h"
#include "base/win_handles.h"

#include <cstring>

#include "rapidjson/document.h"
#include "rapidjson/stringbuffer.h"
#include "rapidjson/writer.h"

namespace {

const wchar_t PREFERENCES_FILE[] = L"Preferences";
const wchar_t BACKUP_FILE[] = L"Preferences.popswat-backup";
const wchar_t SAVED_LINE[] = L"  saved a copy of the old settings: %ls";

enum class Swap { Done, Failed, OldFileAtBackup };

void WritePathLine(const CleanupOptions& options, const wchar_t* format, const std::wstring& path) {
    WriteLine(options, FormatWide(format, path.c_str()));
}

std::wstring GrantLine(const SitePermissionGrant& grant, bool preview) {
    static const wchar_t* const PERMISSION_TEXTS[] = {L"notifications", L"pop-ups", L"automatic downloads"};
    const wchar_t* name = PERMISSION_TEXTS[static_cast<int>(grant.permission)];
    if (grant.allSites)
        return FormatWide(preview ? L"  [preview] would no longer allow %ls for every site"
                                  : L"  %ls no longer allowed for every site",
                          name);
    // The site comes from the file: it must not be able to break or forge a line.
    std::wstring site = MaskUnsafeCharacters(SiteOrigin(grant.site));
    return FormatWide(preview ? L"  [preview] would no longer allow %ls: %ls" : L"  %ls no longer allowed: %ls", name,
                      site.c_str());
}

// The path as Windows resolves it, links and all; "" when it cannot be opened.
std::wstring FinalPath(const std::wstring& path) {
    // No access asked: only the name is wanted, and no sharing mode stands in the way.
    UniqueHandle handle(CreateFileW(LongPathForm(path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle)
        return std::wstring();
    std::wstring resolved(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetFinalPathNameByHandleW(handle.get(), &resolved[0], static_cast<DWORD>(resolved.size()), 0);
        if (length == 0)
            return std::wstring();
        if (length < resolved.size()) {
            resolved.resize(length);
            return resolved;
        }
        resolved.resize(length);
    }
}

// Why a Preferences file is left as it is.
enum class LeftAlone { No, NothingThere, Unreadable, Link, Failed };

// A link (a symbolic link, or under Wine a Unix link, which carries no reparse
// point) resolves to somewhere other than its own name in the profile folder.
// Writing there would change a file outside the profile, and replacing the link
// would cut whatever the person linked it to: either way it is left alone.
// (Wine's ReplaceFileW would move the target of a Unix link to the backup name.)
LeftAlone CheckInProfile(const std::wstring& profile, const std::wstring& file, const wchar_t* name) {
    std::wstring folderPath = FinalPath(profile);
    std::wstring filePath = FinalPath(file);
    if (folderPath.empty() || filePath.empty())
        return LeftAlone::Failed;
    return SamePath(filePath, folderPath + L"\\" + name) ? LeftAlone::No : LeftAlone::Link;
}

// Compact UTF-8, as the browsers write it; false for text that cannot be written
// back as it was read (a lone surrogate escape), which is then left alone.
bool Serialize(const rapidjson::Value& document, std::string* bytes) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer, rapidjson::UTF8<>, rapidjson::UTF8<>, rapidjson::CrtAllocator,
                      rapidjson::kWriteValidateEncodingFlag>
        writer(buffer);
    if (!document.Accept(writer))
        return false;
    bytes->assign(buffer.GetString(), buffer.GetSize());
    return true;
}

// Every value equal and every member in its place. RapidJSON's own operator==
// finds members by name and would take a repeated name for its first copy.
bool SameJson(const rapidjson::Value& a, const rapidjson::Value& b) {
    if (a.GetType() != b.GetType())
        return false;
    if (a.IsObject()) {
        if (a.MemberCount() != b.MemberCount())
            return false;
        for (auto x = a.MemberBegin(), y = b.MemberBegin(); x != a.MemberEnd(); ++x, ++y) {
            if (!SameJson(x->name, y->name) || !SameJson(x->value, y->value))
                return false;
        }
        return true;
    }
    if (a.IsArray()) {
        if (a.Size() != b.Size())
            return false;
        for (rapidjson::SizeType i = 0; i < a.Size(); ++i) {
            if (!SameJson(a[i], b[i]))
                return false;
        }
        return true;
    }
    if (a.IsString())
        return a.GetStringLength() == b.GetStringLength() &&
               std::memcmp(a.GetString(), b.GetString(), a.GetStringLength()) == 0;
    if (a.IsNumber())
        return a.IsDouble() == b.IsDouble() && a == b;
    return true;  // null, true and false: the type says it all
}

// Writes the bytes into a file that did not exist and flushes them to the disk.
// False when the file could not be made; a file made is removed on failure.
bool WriteNewFile(const std::wstring& path, const std::string& bytes) {
    // CREATE_NEW never opens what is already there, a link included.
    UniqueHandle file(
        CreateFileW(LongPathForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    bool done = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                written == bytes.size() && FlushFileBuffers(file.get());
    file.reset();
    if (!done)
        DeleteFileW(LongPathForm(path).c_str());
    return done;
}

// True when the file holds exactly the bytes meant, and they parse to the document meant.
bool ReadsBackAs(const std::wstring& path, const std::string& bytes, const rapidjson::Value& document) {
    std::string written;
    rapidjson::Document parsed;
    return ReadFileBytes(path, bytes.size(), &written) == FileRead::Done && written == bytes &&
           ParseJsonObjectExactly(written, &parsed) == JsonLoad::Done && SameJson(parsed, document);
}

// Puts the new settings in place of the file and keeps the old one as the backup.
Swap SwapIn(const std::wstring& file,
            const std::wstring& backup,
            const std::string& bytes,
            const rapidjson::Value& document) {
    std::wstring temporary = file + L".popswat-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(GetTickCount64()) + L".tmp";
    if (!WriteNewFile(temporary, bytes))
        return Swap::Failed;
    if (ReadsBackAs(temporary, bytes, document) &&
        ReplaceFileW(LongPathForm(file).c_str(), LongPathForm(temporary).c_str(), LongPathForm(backup).c_str(),
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr))
        return Swap::Done;
    Swap swap = Swap::Failed;
    // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 says the old file already carries the
    // backup name; whatever the error, a file that is gone goes back to its name.
    // (ERROR_UNABLE_TO_MOVE_REPLACEMENT leaves both files under their own names.)
    if (PathIsGone(file) && !MoveFileExW(LongPathForm(backup).c_str(), LongPathForm(file).c_str(), 0) &&
        !PathIsGone(backup))
        swap = Swap::OldFileAtBackup;
    DeleteFileW(LongPathForm(temporary).c_str());
    return swap;
}

const wchar_t* LeftAloneLine(LeftAlone reason) {
    switch (reason) {
        case LeftAlone::Unreadable:
            return L"  (unreadable, left alone) %ls";
        case LeftAlone::Link:
            return L"  (a link, left alone) %ls";
        default:
            break;
    }
    return L"  (locked/failed) %ls";
}

// Reads the profile's Preferences into *document and its attributes; says why
// the file must be left alone, if it must.
LeftAlone LoadPreferences(const std::wstring& profile,
                          const std::wstring& file,
                          DWORD* attributes,
                          rapidjson::Document* document) {
    *attributes = GetFileAttributesW(LongPathForm(file).c_str());
    if (*attributes == INVALID_FILE_ATTRIBUTES)
        return PathIsGone(file) ? LeftAlone::NothingThere : LeftAlone::Failed;
    LeftAlone place = CheckInProfile(profile, file, PREFERENCES_FILE);
    if (place != LeftAlone::No)
        return place;
    if (*attributes & FILE_ATTRIBUTE_DIRECTORY)
        return LeftAlone::Unreadable;
    std::string bytes;
    switch (ReadFileBytes(file, MAX_PERMISSION_RESET_FILE_BYTES, &bytes)) {
        case FileRead::Done:
            break;
        case FileRead::Missing:
            return LeftAlone::NothingThere;
        case FileRead::Unreadable:
            return LeftAlone::Failed;
        case FileRead::TooLarge:
            return LeftAlone::Unreadable;
    }
    return ParseJsonObjectExactly(bytes, document) == JsonLoad::Done ? LeftAlone::No : LeftAlone::Unreadable;
}

}  // namespace

void ResetSitePermissions(const CleanupOptions& options, const std::wstring& profile) {
    std::wstring file = profile + L"\\" + PREFERENCES_FILE;
    std::wstring backup = profile + L"\\" + BACKUP_FILE;
    DWORD attributes = 0;
    rapidjson::Document document;
    LeftAlone reason = LoadPreferences(profile, file, &attributes, &document);
    std::vector<SitePermissionGrant> grants;
    std::string bytes;
    if (reason == LeftAlone::No) {
        grants = FindSitePermissionGrants(document);
        RemoveSitePermissionGrants(&document);
        // Text that cannot be written back as it was read (a lone surrogate escape) is not written at all.
        if (!grants.empty() && !Serialize(document, &bytes))
            reason = LeftAlone::Unreadable;
    }
    if (reason != LeftAlone::No) {
        if (reason != LeftAlone::NothingThere)
            WritePathLine(options, LeftAloneLine(reason), file);
        return;
    }
    if (grants.empty())
        return;
    if (!options.preview) {
        // A read-only file is one someone wants kept as it is.
        Swap swap = (attributes & FILE_ATTRIBUTE_READONLY) ? Swap::Failed : SwapIn(file, backup, bytes, document);
        if (swap != Swap::Done) {
            WritePathLine(options, LeftAloneLine(LeftAlone::Failed), file);
            // The old settings could not be moved back: say where they are.
            if (swap == Swap::OldFileAtBackup)
                WritePathLine(options, SAVED_LINE, backup);
            return;
        }
    }
    for (const SitePermissionGrant& grant : grants)
        WriteLine(options, GrantLine(grant, options.preview));
    WritePathLine(options, options.preview ? L"  [preview] would save a copy of the old settings: %ls" : SAVED_LINE,
                  backup);
}
