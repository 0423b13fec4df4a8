// Which folders are browser profiles: one answer for cleaning, audit and review.
#include "browsers/browsers.h"

#include <windows.h>

#include <iterator>

namespace {

const wchar_t SIDE_PROFILES_FOLDER[] = L"_side_profiles";

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(LongPathForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring_view Trimmed(std::wstring_view text) {
    constexpr wchar_t BLANKS[] = L" \t\r";
    std::size_t first = text.find_first_not_of(BLANKS);
    if (first == std::wstring_view::npos)
        return std::wstring_view();
    return text.substr(first, text.find_last_not_of(BLANKS) - first + 1);
}

struct IniProfile {
    std::wstring path;
    std::wstring isRelative;
};

// The Path and IsRelative values of every [Profile...] section, in file order.
std::vector<IniProfile> ReadProfilesIni(const std::wstring& iniPath) {
    std::vector<IniProfile> profiles;
    std::string bytes;
    if (iniPath.empty() || ReadBrowserFile(iniPath, BrowserFile::FirefoxProfilesIni, &bytes) != FileRead::Done)
        return profiles;
    std::wstring text = Utf8ToWide(bytes);
    std::wstring_view rest = text;
    if (!rest.empty() && rest.front() == 0xFEFF)
        rest.remove_prefix(1);
    bool inProfile = false;
    while (!rest.empty()) {
        std::size_t end = rest.find(L'\n');
        std::wstring_view line = Trimmed(rest.substr(0, end));
        rest.remove_prefix(end == std::wstring_view::npos ? rest.size() : end + 1);
        if (line.empty())
            continue;
        if (line.front() == L'[') {
            // [Profile0], [Profile1], ...; [General] and [Install...] hold no profile folders.
            inProfile = line.back() == L']' && StartsWithIgnoringAsciiCase(line.substr(1), L"Profile");
            if (inProfile)
                profiles.emplace_back();
            continue;
        }
        std::size_t equals = line.find(L'=');
        if (!inProfile || equals == std::wstring_view::npos)
            continue;
        std::wstring_view key = Trimmed(line.substr(0, equals));
        std::wstring_view value = Trimmed(line.substr(equals + 1));
        if (EqualsIgnoringAsciiCase(key, L"Path"))
            profiles.back().path = value;
        else if (EqualsIgnoringAsciiCase(key, L"IsRelative"))
            profiles.back().isRelative = value;
    }
    return profiles;
}

// The profile's folder: IsRelative=1 below the Firefox folder, IsRelative=0 a full
// path of its own; Firefox writes either separator. "" when the entry says neither.
std::wstring ProfilesIniFolder(const std::wstring& firefoxFolder, const IniProfile& profile) {
    std::wstring path = profile.path;
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    if (path.empty())
        return path;
    if (profile.isRelative == L"1")
        return FullFolderPath(firefoxFolder + L"\\" + path);
    if (profile.isRelative == L"0" && IsFullPath(path))
        return FullFolderPath(path);
    return std::wstring();
}

// A line of profiles.ini can name any folder, the root of a drive included: only one
// that Firefox has used (it writes times.json when it makes a profile, prefs.js at
// every exit) is cleaned or read.
bool LooksLikeFirefoxProfile(const std::wstring& folder) {
    return PathExists(folder + L"\\prefs.js") || PathExists(folder + L"\\times.json");
}

// The folders listed so far. One reached again through a link (a "Default"
// that links to its user-data folder, a "Profile 1" to "..\User Data") is the
// same folder and is listed once: folders are told apart by their identity,
// and only where that cannot be read by their paths.
struct ListedFolders {
    std::vector<FileIdentity> identities;
    std::vector<std::wstring> unidentified;

    // True the first time a folder comes.
    bool IsNew(const std::wstring& folder) {
        FileIdentity identity;
        if (!ReadFileIdentity(folder, &identity)) {
            for (const std::wstring& listed : unidentified) {
                if (SamePath(listed, folder))
                    return false;
            }
            unidentified.push_back(folder);
            return true;
        }
        for (const FileIdentity& listed : identities) {
            if (listed.volume == identity.volume && listed.index == identity.index)
                return false;
        }
        identities.push_back(identity);
        return true;
    }
};

std::wstring ProfilesIniPath(const std::wstring& firefoxFolder) {
    return firefoxFolder.empty() ? std::wstring() : firefoxFolder + L"\\profiles.ini";
}

}  // namespace

bool IsProfileFolder(const std::wstring& folder) {
    return PathExists(folder + L"\\Preferences") || PathExists(folder + L"\\Secure Preferences") ||
           PathExists(folder + L"\\Extensions");
}

bool IsProfileFolderName(std::wstring_view name) {
    if (EqualsIgnoringAsciiCase(name, L"Default"))
        return true;
    // The browser numbers its profiles; "Profile 1 - Copy" is a backup Explorer made.
    constexpr std::wstring_view NUMBERED_PREFIX = L"Profile ";
    if (name.size() == NUMBERED_PREFIX.size() || !StartsWithIgnoringAsciiCase(name, NUMBERED_PREFIX))
        return false;
    for (wchar_t c : name.substr(NUMBERED_PREFIX.size())) {
        if (c < L'0' || c > L'9')
            return false;
    }
    return true;
}

std::vector<BrowserProfile> ChromiumProfiles(const BrowserEntry& browser, const std::wstring& userDataFolder) {
    std::vector<BrowserProfile> profiles;
    // An empty folder would make "\Preferences" a path at the root of the current drive.
    if (userDataFolder.empty())
        return profiles;
    ListedFolders listed;
    // The user-data folder itself is named by the browser's name alone.
    if (IsProfileFolder(userDataFolder) && listed.IsNew(userDataFolder))
        profiles.push_back({&browser, userDataFolder, std::wstring()});
    ForEachFolderEntry(userDataFolder, [&](const std::wstring& name, uint32_t attributes) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || !IsProfileFolderName(name))
            return;
        std::wstring child = userDataFolder + L"\\" + name;
        if (IsProfileFolder(child) && listed.IsNew(child))
            profiles.push_back({&browser, child, name});
    });
    // Opera keeps its further profiles, each a whole profile, in folders of any name below "_side_profiles".
    std::wstring sideProfiles = userDataFolder + L"\\" + SIDE_PROFILES_FOLDER;
    ForEachFolderEntry(sideProfiles, [&](const std::wstring& name, uint32_t attributes) {
        std::wstring child = sideProfiles + L"\\" + name;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && IsProfileFolder(child) && listed.IsNew(child))
            profiles.push_back({&browser, child, std::wstring(SIDE_PROFILES_FOLDER) + L"\\" + name});
    });
    return profiles;
}

std::vector<std::wstring> FirefoxProfileFolders() {
    std::vector<std::wstring> folders;
    std::wstring firefoxFolder = FirefoxFolder();
    if (firefoxFolder.empty())
        return folders;
    ListedFolders listed;
    std::wstring profilesFolder = firefoxFolder + L"\\Profiles";
    ForEachFolderEntry(profilesFolder, [&](const std::wstring& name, uint32_t attributes) {
        std::wstring folder = profilesFolder + L"\\" + name;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && listed.IsNew(folder))
            folders.push_back(folder);
    });
    // The profile manager lets a person keep a profile anywhere; profiles.ini says where.
    for (const IniProfile& profile : ReadProfilesIni(ProfilesIniPath(firefoxFolder))) {
        std::wstring folder = ProfilesIniFolder(firefoxFolder, profile);
        if (!folder.empty() && IsExistingFolder(folder) && LooksLikeFirefoxProfile(folder) && listed.IsNew(folder))
            folders.push_back(folder);
    }
    return folders;
}

std::optional<UnreadProfileList> UnreadFirefoxProfileList() {
    std::wstring path = ProfilesIniPath(FirefoxFolder());
    std::string bytes;
    FileRead read = path.empty() ? FileRead::Missing : ReadBrowserFile(path, BrowserFile::FirefoxProfilesIni, &bytes);
    if (read != FileRead::Unreadable && read != FileRead::TooLarge)
        return std::nullopt;
    return UnreadProfileList{path, read};
}

std::vector<BrowserProfile> BrowserProfiles(const BrowserEntry& browser) {
    if (browser.kind != BrowserKind::Firefox)
        return ChromiumProfiles(browser, UserDataFolder(browser));
    std::vector<BrowserProfile> profiles;
    for (std::wstring& folder : FirefoxProfileFolders()) {
        std::wstring name = folder.substr(folder.find_last_of(L'\\') + 1);
        profiles.push_back({&browser, std::move(folder), std::move(name)});
    }
    return profiles;
}

std::vector<BrowserProfile> AllBrowserProfiles() {
    std::vector<BrowserProfile> all;
    for (const BrowserEntry& browser : GetBrowserCatalogue()) {
        std::vector<BrowserProfile> profiles = BrowserProfiles(browser);
        all.insert(all.end(), std::make_move_iterator(profiles.begin()), std::make_move_iterator(profiles.end()));
    }
    return all;
}

std::wstring ProfileLabel(const std::wstring& browser, const std::wstring& profile) {
    return profile.empty() ? browser : browser + L"/" + MaskUnsafeCharacters(profile);
}
