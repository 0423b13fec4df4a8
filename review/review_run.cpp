#include "rapidjson/document.h"
#include "review/review.h"
#include "review/review_internal.h"

namespace {

std::wstring LastPathElement(const std::wstring& path) {
    return path.substr(path.find_last_of(L'\\') + 1);
}

}  // namespace

void NoteUnreadable(const ProfilePlace& place, const wchar_t* file, JsonLoad reason, ReviewFindings* findings) {
    if (reason != JsonLoad::Done && reason != JsonLoad::Missing)
        findings->unreadable.push_back({place, file, reason});
}

bool LoadProfileJson(const ProfilePlace& place,
                     const std::wstring& folder,
                     const wchar_t* name,
                     rapidjson::Document* document,
                     ReviewFindings* findings) {
    JsonLoad load = LoadJsonObjectFile(folder + L"\\" + name, MAX_SETTINGS_FILE_BYTES, document);
    if (load == JsonLoad::Done)
        return true;
    document->SetNull();
    NoteUnreadable(place, name, load, findings);
    return false;
}

ReviewFindings CollectReview(const PolicyRoots& roots) {
    ReviewFindings findings;
    for (const BrowserEntry& browser : GetBrowserCatalogue()) {
        if (browser.kind == BrowserKind::Firefox) {
            for (const std::wstring& folder : FirefoxProfileFolders())
                ReviewFirefoxProfile({L"Firefox", LastPathElement(folder)}, folder, &findings);
            continue;
        }
        std::wstring userData = UserDataFolder(browser);
        for (const std::wstring& folder : ChromiumProfileFolders(userData)) {
            std::wstring profile = folder == userData ? std::wstring() : LastPathElement(folder);
            ReviewChromiumProfile({browser.displayName, profile}, folder, &findings);
        }
    }
    findings.policies = ReadBrowserPolicies(roots);
    return findings;
}
