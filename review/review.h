// The review: a read-only report of what makes pop-ups come back in every
// browser profile (sites allowed to notify or open pop-ups, start-up and home
// pages, hijacking or side-loaded extensions, browser policies) and outside the
// browsers (shortcuts, start-up entries and scheduled tasks that open a web
// page, proxy settings), as text or JSON.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "browsers/browsers.h"
#include "browsers/launchers.h"
#include "engine/engine.h"

// ---- Findings ----------------------------------------------------------------------

// Where a finding lives: the browser's name as the reports show it and the
// profile folder's name ("" for a browser whose user-data folder is its profile).
struct ProfilePlace {
    std::wstring browser;
    std::wstring profile;
};

struct SitePermissionFinding {
    ProfilePlace place;
    SitePermissionGrant grant;
};

enum class StartupKind { StartupPage, HomePage, SearchEngine };

struct StartupFinding {
    ProfilePlace place;
    StartupKind kind;
    std::wstring value;   // the address (for a search engine its search address)
    std::wstring label;   // a search engine's own name; "" otherwise
    std::wstring source;  // the file that holds it: "Preferences", "user.js", ...
    // What else sets the page, which a fix of the value would not stop (see
    // NoteStartupOwners): a policy of the browser, an enabled extension of the
    // profile whose manifest takes the page over.
    bool setByPolicy = false;
    bool ownedByExtension = false;
};

struct ExtensionFinding {
    ProfilePlace place;
    std::wstring id;
    std::wstring name;
    std::wstring version;
    InstalledBy installedBy = InstalledBy::Unknown;
    unsigned overrides = 0;  // ExtensionOverride bits
    bool enabled = true;
    bool manifestRead = true;  // false: no manifest could be read, its name and version are not known
    // Where another program registered it (ExtensionRegistrationText), "" when nowhere.
    std::wstring registeredAt;
};

enum class PolicyEffect {
    ForcesExtension,
    ControlsExtensions,
    HomePage,
    StartupPages,
    NewTabPage,
    SearchEngine,
    Other
};

struct PolicyFinding {
    std::wstring browser;
    bool machine = false;  // HKEY_LOCAL_MACHINE; otherwise HKEY_CURRENT_USER
    std::wstring name;     // the value's path below the browser's policy key: "ExtensionInstallForcelist\1"
    std::wstring value;    // text as stored; numbers in decimal
    PolicyEffect effect = PolicyEffect::Other;
    // Where the value is, for its fix: "HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Google\Chrome\HomepageLocation";
    // for a policy of a policies.json the file's path, a backslash and the name.
    std::wstring location{};
    // Firefox's distribution\policies.json that holds it (machine: it is for
    // every user); "" for a value of the registry.
    std::wstring file{};
    std::wstring fileDigest{};  // FileBytesDigest of the file as the review read it
    // The file's fix moves the whole file, once: it is the fix of one finding,
    // the file's first that sets a page (movesFile); fileFixId names that one
    // in all of the file's findings ("" when the file sets no page).
    bool movesFile = false;
    std::wstring fileFixId{};
    // The file also sets policies that are neither a page, a search engine nor
    // a forced extension: an administrator's own, which the move takes too.
    bool fileHoldsOthers = false;
};

// A settings file that exists but could not be used.
struct UnreadableFile {
    ProfilePlace place;
    std::wstring file;  // its name within the profile folder
    JsonLoad reason;
};

struct ReviewFindings {
    std::vector<SitePermissionFinding> sitePermissions;
    std::vector<StartupFinding> startup;
    std::vector<ExtensionFinding> extensions;
    std::vector<PolicyFinding> policies;
    std::vector<UnreadableFile> unreadable;
    std::vector<LauncherFinding> launchers;         // what starts a browser with a web page
    std::vector<ProxySetting> proxy;                // what web traffic goes through
    std::vector<LauncherProblem> launcherProblems;  // what the two finders above could not read
    TaskSource taskSource = TaskSource::None;       // where the scheduled tasks were read from
    std::wstring taskFilesFolder;                   // the task files' folder, when read from there
};

// ---- Collecting ------------------------------------------------------------------------

// One Chromium-family profile: site permissions, start-up settings and extensions
// from its "Preferences" and "Secure Preferences" (the latter wins a key held by
// both). A folder that is not a full path (IsFullPath) gives nothing: nothing is read.
void ReviewChromiumProfile(const ProfilePlace& place, const std::wstring& profileFolder, ReviewFindings* findings);
// One Firefox profile: home page from "prefs.js" and "user.js" (the latter wins),
// add-ons placed by other programs from "extensions.json"; nothing for a folder
// that is not a full path.
void ReviewFirefoxProfile(const ProfilePlace& place, const std::wstring& profileFolder, ReviewFindings* findings);

// Every value under each catalogue row's policy key, machine root first.
std::vector<PolicyFinding> ReadBrowserPolicies(const PolicyRoots& roots);
// The policies of distribution\policies.json in each Firefox install folder,
// in file order, added to the findings' policies; a file that could not be
// used among the unreadable files (browser "Firefox", file its full path).
void ReviewFirefoxPolicyFiles(const std::vector<std::wstring>& installFolders, ReviewFindings* findings);
// What a policy value (its path below the browser's key) does.
PolicyEffect ClassifyPolicy(bool firefox, const std::wstring& name);

// Every profile of every browser (AllBrowserProfiles), an unread Firefox
// profiles.ini among the unreadable files, the policies, then what
// starts a browser with a web page and the proxy settings (FindLaunchers, which
// initialises COM on the calling thread while it works). The programs pass
// SystemPolicyRoots() and SystemLauncherSources(); tests their own keys and folders.
ReviewFindings CollectReview(const PolicyRoots& roots, const LauncherSources& launchers);

// Marks each start-up finding whose page a policy of its browser sets (a
// policy of that effect) or an enabled extension of its profile takes over
// (its overrides), from the findings' policies and extensions.
void NoteStartupOwners(ReviewFindings* findings);

// How many things can bring pop-ups back: the findings of every kind except the
// files and launcher sources that could not be read, which are no cause of their own.
std::size_t CountFindings(const ReviewFindings& findings);

// ---- Identities ----------------------------------------------------------------------

// A finding's identity, 12 lower-case hexadecimal digits: the same for the same
// finding in every run, derived from its kind and what identifies it (browser,
// profile, file or key, name, value).
std::wstring FindingId(const SitePermissionFinding& finding);
std::wstring FindingId(const StartupFinding& finding);
std::wstring FindingId(const ExtensionFinding& finding);
std::wstring FindingId(const PolicyFinding& finding);
std::wstring FindingId(const LauncherFinding& finding);
std::wstring FindingId(const ProxySetting& finding);

// The fix PopSwat has for a finding; kind is nullptr when it has none.
struct FindingFix {
    const FixKind* kind = nullptr;
    bool recommended = false;    // the finding plainly serves the pop-ups: "popswat --fix" fixes it
    bool administrator = false;  // the fix needs rights this process lacks
};
FindingFix FixFor(const SitePermissionFinding& finding);
FindingFix FixFor(const StartupFinding& finding);
FindingFix FixFor(const ExtensionFinding& finding);
FindingFix FixFor(const PolicyFinding& finding);
FindingFix FixFor(const LauncherFinding& finding);
FindingFix FixFor(const ProxySetting& finding);
// Every finding PopSwat has a fix for, as ApplyFixes takes it: site permissions
// first, then what starts a browser from outside it, then policies.
std::vector<FixTarget> FixTargets(const ReviewFindings& findings);

// ---- Rows of a list ------------------------------------------------------------------

// The list's groups, in the order it shows them, one per kind of finding.
enum class FindingGroup { Sites, StartPages, Extensions, Launchers, Proxy, Policies };
constexpr int FINDING_GROUP_COUNT = 6;
// "Sites that may notify or open pop-ups", ...
const wchar_t* FindingGroupName(FindingGroup group);

// A row's check box: none for a finding without a fix, ticked for a recommended fix.
enum class RowCheck { None, Ticked, Clear };

struct FindingRow {
    FindingGroup group = FindingGroup::Sites;
    std::wstring what;   // in plain words: "win-prize.example may show notifications"
    std::wstring where;  // "Google Chrome, profile Default", "Startup folder", "Task Scheduler"
    std::wstring fix;    // what the fix does (its kind's action); "" without a fix
    RowCheck check = RowCheck::None;
    bool administrator = false;  // the fix needs rights this process lacks
    // The full location (path, key and value, task path), the id, and what the
    // fix changes and how to take it back; CR LF after each line.
    std::wstring details;
    std::wstring findingId;  // FindingId: FixTargets names its fix so
};
// One row per finding, group by group; masked.
std::vector<FindingRow> FindingRows(const ReviewFindings& findings);

// ---- Output ------------------------------------------------------------------------------

// How an extension came into the profile, in words: "installed by another program".
const wchar_t* InstalledByText(InstalledBy installedBy);

// The text report; every text taken from a file or the registry is masked.
void WriteReviewReport(const CleanupOptions& options, const ReviewFindings& findings);
// The JSON document (UTF-8, no byte-order mark), texts as they are.
std::string ReviewJson(const ReviewFindings& findings);
