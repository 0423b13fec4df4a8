// The cleaning engine: the browser catalogue, message formatting, file removal,
// browser shutdown, profile cleaning and the cleanup run. Both programs link it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/base.h"
#include "rapidjson/fwd.h"

struct CleanupOptions {
    bool preview = false;           // report what would be closed and deleted, change nothing
    bool tabsOnly = false;          // delete only what holds open tabs and sessions, keep history
    bool force = false;             // terminate browsers at once, without the graceful close
    bool resetPermissions = false;  // also take back what sites were allowed to do (ResetSitePermissions)
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
// backslash and its subPath, made full by FullFolderPath; "" when the variable
// is unset, empty or too long.
std::wstring UserDataFolder(const BrowserEntry& browser);
// %APPDATA%\Mozilla\Firefox, made full by FullFolderPath; "" when APPDATA is
// unset, empty or too long (the bare "\Mozilla\..." would name a folder at the
// root of the current drive).
std::wstring FirefoxFolder();
// FirefoxFolder() + "\Profiles"; "" when that is "".
std::wstring FirefoxProfilesFolder();

// Hands one line to options.log, if there is one.
void WriteLine(const CleanupOptions& options, const std::wstring& line);

// ---- File and folder removal -----------------------------------------------

void RemoveFile(const CleanupOptions& options, const std::wstring& path);
void RemoveFolderTree(const CleanupOptions& options, const std::wstring& path);

// ---- Profile folders -----------------------------------------------------------
// The one place that decides which folders are profiles, for cleaning and audit alike.

// True when the folder holds "Preferences", "Secure Preferences" or "Extensions".
bool IsProfileFolder(const std::wstring& folder);
// True for "Default" and for "Profile " followed by one or more ASCII digits and
// nothing else (ASCII case of the words ignored).
bool IsProfileFolderName(std::wstring_view name);

// A Chromium-family browser's profiles: the user-data folder itself when it is a
// profile folder, then each subfolder with a profile folder name that is one, in
// listing order. Plain full paths.
std::vector<std::wstring> ChromiumProfileFolders(const std::wstring& userDataFolder);
// Firefox's profiles: every folder below FirefoxProfilesFolder() in listing order,
// then every folder that %APPDATA%\Mozilla\Firefox\profiles.ini names with a Path=
// in a [Profile...] section (IsRelative=1: below FirefoxFolder(), IsRelative=0: a
// full path of its own) and that exists, in file order. Each folder once. Plain
// full paths. A missing or unreadable profiles.ini adds nothing.
std::vector<std::wstring> FirefoxProfileFolders();

// ---- Chromium-family profile cleaning ----------------------------------------

void CleanChromiumProfile(const CleanupOptions& options, const std::wstring& profile);
void CleanChromiumBrowser(const CleanupOptions& options,
                          const std::wstring& displayName,
                          const std::wstring& userDataFolder);

// ---- Taking back site permissions -----------------------------------------------

// A larger Preferences is left alone.
constexpr std::size_t MAX_PERMISSION_RESET_FILE_BYTES = std::size_t{64} << 20;

// Removes from the profile's "Preferences" what RemoveSitePermissionGrants
// removes: one line per grant taken back, then one naming the copy of the old
// file, kept as "Preferences.popswat-backup" (replaced by the next change); in
// preview "[preview] would ..." lines and nothing is touched. A file with nothing
// to take back is not rewritten and gives no line. A file that is not a JSON
// object, a folder or larger than MAX_PERMISSION_RESET_FILE_BYTES is left alone
// ("(unreadable, left alone)"), as is a link ("(a link, left alone)"); when any
// step of reading or replacing fails the file stays as it was, no temporary file
// remains, and the line is "(locked/failed)".
void ResetSitePermissions(const CleanupOptions& options, const std::wstring& profile);

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

// ---- Firefox profile cleaning ----------------------------------------------------

// Writes "Cleaning Mozilla Firefox ..." when the Profiles folder exists (even
// empty) or any profile does (also one that only profiles.ini names), then
// cleans every profile of FirefoxProfileFolders().
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
// The same for a document that will be written back: every number is read
// exactly, and text that is not valid UTF-8 is refused (NotJson).
JsonLoad ParseJsonObjectExactly(const std::string& bytes, rapidjson::Document* document);
// What reading a file says about loading it: Done, Missing, Unreadable or TooLarge.
JsonLoad JsonLoadOf(FileRead read);
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

// A site pattern as an origin: the scheme's default port dropped.
std::wstring SiteOrigin(const std::wstring& pattern);
// The setting's name in Preferences: "notifications", "popups", "automatic_downloads".
const char* SitePermissionName(SitePermission permission);
// The grants of a parsed Preferences document: per permission the default when
// it allows, then every exception whose setting is 1 (allow), in file order.
std::vector<SitePermissionGrant> FindSitePermissionGrants(const rapidjson::Value& preferences);
// Removes from a parsed Preferences document exactly what FindSitePermissionGrants
// finds, so the browser asks again: each default that allows and each exception
// that allows, with every earlier copy of a repeated name (the browser keeps the
// last copy; removing only that one would bring back the one before it).
void RemoveSitePermissionGrants(rapidjson::Value* preferences);

// ---- One cleanup run at a time ---------------------------------------------------

// What a front end shows when another run holds the lock.
constexpr wchar_t ANOTHER_CLEANUP_RUNNING[] = L"Another PopSwat cleanup is already running.";

// Takes the logon session's cleanup mutex without waiting and holds it while it
// lives. Each front end holds one around a whole cleanup run, preview included,
// so that two runs never delete (and report) the same files at once. A mutex
// belongs to the thread that took it: create and destroy the lock on the thread
// that runs the cleanup.
class CleanupRunLock {
public:
    CleanupRunLock();
    ~CleanupRunLock();
    CleanupRunLock(const CleanupRunLock&) = delete;
    CleanupRunLock& operator=(const CleanupRunLock&) = delete;

    // False when another run holds the mutex.
    bool acquired() const { return acquired_; }

private:
    void* mutex_ = nullptr;  // the owned mutex's HANDLE
    bool acquired_ = false;
};
