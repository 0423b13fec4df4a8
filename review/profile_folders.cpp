// The profile folders the review walks.
#include "review/review.h"

std::vector<std::wstring> ChromiumProfileFolders(const std::wstring& userDataFolder) {
    std::vector<std::wstring> folders;
    if (userDataFolder.empty() || !IsExistingFolder(userDataFolder))
        return folders;
    if (IsProfileFolder(userDataFolder))
        folders.push_back(userDataFolder);
    ForEachFolderEntry(userDataFolder, [&](const std::wstring& name, uint32_t attributes) {
        std::wstring child = userDataFolder + L"\\" + name;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && IsProfileFolderName(name) && IsProfileFolder(child))
            folders.push_back(child);
    });
    return folders;
}

std::vector<std::wstring> FirefoxProfileFolders() {
    std::vector<std::wstring> folders;
    std::wstring profiles = FirefoxProfilesFolder();
    if (profiles.empty())
        return folders;
    ForEachFolderEntry(profiles, [&](const std::wstring& name, uint32_t attributes) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            folders.push_back(profiles + L"\\" + name);
    });
    return folders;
}
