// What PopSwat knows about the browsers, read-only: the catalogue, where each
// one keeps its profiles, how large the files it reads may be, and readers that
// turn those files into plain records (site permissions, start-up settings,
// extension records and names, Firefox's prefs and add-ons). Nothing here
// changes a file, and nothing here judges what it reads: the review decides
// what is a finding, the engine what to change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "base/base.h"
#include "base/sqlite_database.h"

// ---- The catalogue -----------------------------------------------------------------

enum class BrowserKind : int32_t { ChromiumFamily = 0, Firefox = 1 };

struct BrowserEntry {
    const wchar_t* displayName;  // "Google Chrome", "Mozilla Firefox"
    const wchar_t* imageName;    // the process to close: "chrome.exe"
    BrowserKind kind;
    const wchar_t* baseVariable;          // "LOCALAPPDATA" or "APPDATA"
    const wchar_t* subPath;               // the user-data folder below it; "" for Firefox
    const wchar_t* reportName = nullptr;  // what the audit and the review call it: "Firefox" for Mozilla Firefox
    // The browser's key below SOFTWARE\Policies of both registry roots; nullptr for
    // one without a key of its own (Opera GX's policies sit under Opera's key).
    const wchar_t* policyKey = nullptr;
    bool policyKeyPerEdition = false;  // every key below policyKey is one edition's key (Opera)
};

using BrowserCatalogue = std::vector<BrowserEntry>;

// The seven supported browsers, in the order they are closed, cleaned, audited and reviewed.
const BrowserCatalogue& GetBrowserCatalogue();

// The two registry roots the catalogue's policy keys are read below (and their
// values fixed); tests pass keys of their own.
struct PolicyRoots {
    HKEY machine;
    HKEY user;
    // The folders Firefox is installed in, each holding firefox.exe: Firefox
    // also reads policies from distribution\policies.json there.
    std::vector<std::wstring> firefoxFolders{};
};
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, and the Firefox install folders
// FirefoxInstallFolders finds below them and in the Program Files folders.
PolicyRoots SystemPolicyRoots();

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

// ---- Profiles ----------------------------------------------------------------------
// The one place that decides which folders are profiles, for cleaning, audit and review alike.

// True when the folder holds "Preferences", "Secure Preferences" or "Extensions".
bool IsProfileFolder(const std::wstring& folder);
// True for "Default" and for "Profile " followed by one or more ASCII digits and
// nothing else (ASCII case of the words ignored).
bool IsProfileFolderName(std::wstring_view name);

struct BrowserProfile {
    const BrowserEntry* browser;
    std::wstring folder;  // plain full path
    std::wstring name;    // the folder's own name; "" for a Chromium-family user-data folder that is itself the profile
};

// The profiles below a Chromium-family user-data folder: the folder itself when
// it is a profile folder, then each subfolder with a profile folder name that is
// one, in listing order, then each folder below "_side_profiles" (where Opera
// keeps its further profiles) that is one, named "_side_profiles\<name>". A
// folder reached again through a link is left out.
std::vector<BrowserProfile> ChromiumProfiles(const BrowserEntry& browser, const std::wstring& userDataFolder);
// Firefox's profile folders: every folder below FirefoxProfilesFolder() in listing
// order, then every folder that %APPDATA%\Mozilla\Firefox\profiles.ini names with a
// Path= in a [Profile...] section (IsRelative=1: below FirefoxFolder(), IsRelative=0:
// a full path of its own) that exists and that Firefox has used, in file order.
// Each folder once, also one reached again through a link. Plain full paths. A
// missing or unreadable profiles.ini adds nothing (see UnreadFirefoxProfileList).
std::vector<std::wstring> FirefoxProfileFolders();

// A list of profiles that exists but could not be read: the profiles it names are not known.
struct UnreadProfileList {
    std::wstring path;
    FileRead reason;  // Unreadable or TooLarge
};
// %APPDATA%\Mozilla\Firefox\profiles.ini when it exists but cannot be read (larger
// than its limit, or locked); nothing otherwise. Every report says so.
std::optional<UnreadProfileList> UnreadFirefoxProfileList();

// Every profile of one catalogue row: ChromiumProfiles of its UserDataFolder, or
// for Firefox one per FirefoxProfileFolders().
std::vector<BrowserProfile> BrowserProfiles(const BrowserEntry& browser);
// Every profile of every row, in catalogue order.
std::vector<BrowserProfile> AllBrowserProfiles();
// How reports label a profile: "Google Chrome/Profile 1", or the browser alone
// when there is no profile name; the name is masked (MaskUnsafeCharacters).
std::wstring ProfileLabel(const std::wstring& browser, const std::wstring& profile);

// ---- How much of each file is read -------------------------------------------------
// One limit per kind of file, for every reader: real files always fit, and a
// hostile one (a sparse file of 100 GB costs no disk) is refused before any
// memory is reserved.

enum class BrowserFile {
    Preferences,        // a Chromium-family profile's "Preferences"
    SecurePreferences,  // its "Secure Preferences"
    Manifest,           // an extension's "manifest.json"
    LocaleMessages,     // an extension's "_locales\<locale>\messages.json"
    FirefoxAddons,      // a Firefox profile's "extensions.json"
    FirefoxPrefs,       // its "prefs.js"
    FirefoxUserPrefs,   // its "user.js"
    // its "permissions.sqlite"
    FirefoxPermissions,
    FirefoxProfilesIni  // %APPDATA%\Mozilla\Firefox\profiles.ini
};

constexpr std::size_t MaxBytes(BrowserFile file) {
    constexpr std::size_t MB = std::size_t{1} << 20;
    switch (file) {
        case BrowserFile::Preferences:
        case BrowserFile::SecurePreferences:
        case BrowserFile::FirefoxAddons:
        case BrowserFile::FirefoxPermissions:
            return 64 * MB;  // browser-written ones of tens of MB exist
        case BrowserFile::Manifest:
        case BrowserFile::LocaleMessages:
            return 4 * MB;
        case BrowserFile::FirefoxPrefs:
        case BrowserFile::FirefoxUserPrefs:
            return 32 * MB;
        case BrowserFile::FirefoxProfilesIni:
            break;
    }
    return 1 * MB;  // profiles.ini lists a few profiles in a few lines
}

// ReadFileBytes with the file's limit.
FileRead ReadBrowserFile(const std::wstring& path, BrowserFile file, std::string* bytes);

// ---- Settings files ----------------------------------------------------------------

// Deeper nesting is refused, as the browsers' own JSON reader refuses it.
constexpr unsigned MAX_JSON_DEPTH = 200;

// Also why a browser's database could not be used: Locked (by another connection,
// beyond the busy timeout), NotADatabase (not SQLite), Damaged, OtherShape (its
// table lacks a column the browser writes).
enum class JsonLoad {
    Done,
    Missing,
    Unreadable,
    TooLarge,
    NotJson,
    TooDeep,
    NotAnObject,
    Locked,
    NotADatabase,
    Damaged,
    OtherShape
};

// What reading a file says about loading it: Done, Missing, Unreadable or TooLarge.
JsonLoad JsonLoadOf(FileRead read);

// A settings file that exists but could not be used.
struct UnusableFile {
    std::wstring file;  // its name within the profile folder
    JsonLoad reason;    // neither Done nor Missing
};

// ---- Site permissions --------------------------------------------------------------
// In a Chromium-family profile's Preferences: the defaults under
// profile.default_content_setting_values and the per-site exceptions under
// profile.content_settings.exceptions, each keyed "<primary>,<secondary>".

enum class SitePermission { Notifications, Popups, AutomaticDownloads };

// A site, or every site, that a profile's Preferences allow to use a permission.
struct SitePermissionGrant {
    SitePermission permission;
    std::wstring site;  // the primary pattern as stored ("https://a.example:443"); "" for every site
    bool allSites;      // the default for every site is to allow
    // Firefox: the moz_perms row it was read from (its id) and when Firefox last
    // changed that row, so that a fix takes back only the row that was reviewed.
    int64_t firefoxRowId = 0;
    int64_t firefoxModified = 0;
};

// A site pattern as an origin: the scheme's default port dropped.
std::wstring SiteOrigin(const std::wstring& pattern);
// The setting's name in Preferences: "notifications", "popups", "automatic_downloads".
const char* SitePermissionName(SitePermission permission);

// A member taken out of Preferences: its name as stored (UTF-8) and its value as JSON text.
struct RemovedMember {
    std::string name;
    std::string value;
};

// What taking back every grant makes of a Preferences text.
struct GrantRemoval {
    // One JSON object, valid UTF-8, that can be written back exactly, in which the
    // profile, its defaults, content settings and exceptions, the exceptions of each
    // permission and each exception are objects wherever they are present.
    bool usable = false;
    // Per permission the default when it allows, then every exception whose
    // setting is 1 (allow), in file order: all of them taken out.
    std::vector<SitePermissionGrant> grants;
    // The text without them, compact UTF-8 as the browsers write it, checked to
    // read back as the same document; "" when there is nothing to take out.
    std::string bytes;
    std::vector<RemovedMember> removed;  // one per grant: what was taken out for it
};

// Takes out what the browser reads as allowed, so that it asks again: each
// default that allows and each exception that allows, with every earlier copy of
// a repeated name (the browser keeps the last copy; removing only that one would
// bring back the one before it). Everything else stays exactly as it was.
// With chosen, only the grants that match one of those (permission, and the
// site or every site) go.
GrantRemoval TakeBackSitePermissions(const std::string& preferences,
                                     const std::vector<SitePermissionGrant>* chosen = nullptr);

// A grant taken out before, to be put back.
struct RemovedGrant {
    std::string permission;  // SitePermissionName
    bool allSites = false;   // a default (its member named after the permission), else an exception
    std::string member;      // the member's name as it was stored
    std::string value;       // its value as JSON text
};
enum class PutBack { Done, AlreadyThere, SetAnew, Unusable };
struct PermissionPutBack {
    bool usable = false;        // the text is a Preferences object of the shape the browsers write
    std::vector<PutBack> each;  // one per grant: SetAnew when the same member has another value now
    std::string bytes;          // the text with them back, "" when none went back
};
// Puts each grant's member back where it was taken from, into the text as it is
// now (whatever else the browser changed since stays); a member of that name
// already there is left as it is.
PermissionPutBack PutBackSitePermissions(const std::string& preferences, const std::vector<RemovedGrant>& grants);

// ---- Chromium-family profiles ------------------------------------------------------

// How an extension came into the profile, from the record's "location" and flags:
// BuiltIn for the browser's own (components, and default apps the browser
// installed, "was_installed_by_default"); ComputerMaker for the apps of the
// computer's maker ("was_installed_by_oem").
enum class InstalledBy { Store, File, OtherProgram, Unpacked, BuiltIn, Policy, CommandLine, ComputerMaker, Unknown };

// What an extension's manifest takes over, as bits.
enum ExtensionOverride : unsigned {
    OVERRIDES_HOME_PAGE = 1,
    OVERRIDES_STARTUP_PAGES = 2,
    OVERRIDES_NEW_TAB = 4,
    OVERRIDES_SEARCH_ENGINE = 8,
};

// What an extension's manifest.json says of itself, read as Chromium reads a
// manifest: UTF-8 after an optional byte-order mark, // and /* */ comments
// skipped, \xNN escapes and line breaks inside strings allowed, trailing commas
// and anything after the root object refused, the last of a repeated name kept,
// names compared exactly, and only the root object's own members taken (a
// "name" inside chrome_settings_overrides is not the extension's). A text cut
// short or damaged further on still gives the members read before the damage;
// bytes inside a string are kept as they stand. The audit and the review both
// read every manifest file through this.
struct ManifestFields {
    bool opened = false;        // the text opens a JSON object: false for UTF-16, binary bytes, an array
    bool complete = false;      // read to its end without damage
    std::string name;           // the root's "name" if its last value is a string, UTF-8; else ""
    std::string defaultLocale;  // likewise "default_locale"
    std::string version;        // likewise "version"
    bool updateUrl = false;     // a root "update_url" of any value: one installed from a web store
    bool theme = false;         // the root's last "theme" is an object: the extension is a theme
    unsigned overrides = 0;     // ExtensionOverride bits, from a complete manifest only (the browser loads no other)
};
ManifestFields ReadManifest(const std::string& bytes);

// One record of "extensions.settings" (Opera: "extensions.opsettings").
struct ChromiumExtension {
    std::wstring id;
    InstalledBy installedBy = InstalledBy::Unknown;
    bool enabled = true;  // neither "state" 0 nor any "disable_reasons"
    // The folder of its manifest.json: the record's "path" (below the profile's
    // Extensions folder, or a full path of its own), else the version folder that
    // ChooseExtensionVersion picks; "" when there is none or when the id is not a
    // plain id: then only the record says what the extension is, and no file is
    // read for it. (Below a folder that does not exist nothing can be read either.)
    std::wstring folder;
    // What the manifest says: the record's own copy, else the folder's manifest.json,
    // whose own members are read as the browser reads them (names compared
    // exactly, the last of a repeated one, comments skipped) and as far as the
    // file can be read.
    bool manifestRead = false;  // a copy or a file that opens a JSON object was read
    unsigned overrides = 0;     // ExtensionOverride bits
    std::string name;           // "name" as written, UTF-8: perhaps a "__MSG_x__" reference
    std::string defaultLocale;  // "default_locale", UTF-8
    std::wstring version;
};

// A setting's value and the file it was read from.
struct ChromiumSetting {
    std::wstring value;
    std::wstring file;  // "Preferences" or "Secure Preferences"; "" when neither holds it
};

// The start-up settings, each from Secure Preferences when that file holds it,
// else from Preferences.
struct ChromiumStartup {
    // The pages of "session.startup_urls" when "session.restore_on_startup" is 4
    // (open these pages), in order; an entry that is not text is "".
    std::vector<std::wstring> startupPages;
    std::wstring startupPagesFile;
    // "homepage" when "homepage_is_newtabpage" is false, that is when the home
    // button opens it; "" otherwise.
    ChromiumSetting homePage;
    // default_search_provider_data.template_url_data: its "url" and "short_name".
    ChromiumSetting searchUrl;
    std::wstring searchName;
    // One of the browser's own engines: its "prepopulate_id" is above 0.
    bool searchFromBrowserList = false;
};

struct ChromiumProfileSettings {
    std::vector<SitePermissionGrant> grants;  // from Preferences
    ChromiumStartup startup;
    // Secure Preferences first, its "settings" then "opsettings", then Preferences;
    // an id already read is passed over.
    std::vector<ChromiumExtension> extensions;
    std::vector<UnusableFile> unusable;  // Preferences, then Secure Preferences
};

// Reads a profile's "Preferences" and "Secure Preferences" and, for extension
// records that hold no manifest, the extensions' manifest.json files.
ChromiumProfileSettings ReadChromiumProfileSettings(const std::wstring& profileFolder);

// ---- Extension folders and names ---------------------------------------------------

// An extension's version folder as the audit and the review choose it: the last
// one listed whose manifest.json reads and is not empty. Versions are not compared.
struct ExtensionVersion {
    std::wstring name;        // the version folder's name; "" when no manifest reads
    std::string manifest;     // its manifest.json
    std::wstring unreadable;  // the last version folder whose manifest.json could not be read (locked, too large)
};
ExtensionVersion ChooseExtensionVersion(const std::wstring& extensionFolder);

// The extension's display name from its manifest's raw "name" (UTF-8): the name
// itself, or for a "__MSG_x__" reference the non-empty "message" of the entry x
// (ASCII case ignored) of the first locale file that has one, in the order
// defaultLocale (when it is a locale name), "en", "en_US"; the bare x when none
// has, or when versionFolder is not a full path (IsFullPath): nothing is read then.
std::wstring ResolveExtensionName(const std::wstring& versionFolder,
                                  const std::string& rawName,
                                  const std::string& defaultLocale);

// ---- Firefox -----------------------------------------------------------------------

// One pref("name", value);, user_pref(...); or sticky_pref(...); statement of a
// prefs.js or user.js.
struct FirefoxPref {
    std::string name;
    std::string value;  // a string's text with escapes resolved, or the literal (3, true)
    bool isString = false;
    std::size_t start = 0;  // where the statement's keyword stands in the text
    std::size_t end = 0;    // just after its ";"
};

// The statements of a prefs.js or user.js text, in file order; a statement that
// cannot be read is skipped up to its ";" or the next statement, whichever comes first.
std::vector<FirefoxPref> ParseFirefoxPrefs(const std::string& text);

// A statement taken out of a prefs.js or user.js text, and where it was.
struct RemovedPrefStatement {
    std::string name;        // the pref's name
    std::string statement;   // the bytes taken out: the statement, with its line when it stood alone on one
    std::size_t offset = 0;  // where they were in the text without them
    // The text around that place then, without them: from the start of the line
    // before (at most MAX_PREF_CONTEXT bytes), and to the end of the line after it.
    std::string before;
    std::string after;
};
constexpr std::size_t MAX_PREF_CONTEXT = 512;

struct PrefStatementRemoval {
    std::vector<RemovedPrefStatement> removed;  // in file order
    std::string bytes;                          // the text without them; "" when none was there
};
// Takes out every statement (ParseFirefoxPrefs) of one of the names; every
// other byte stays, line ends, comments and blank lines included. A statement
// alone on its line (blanks around it) goes with the line and its line end.
PrefStatementRemoval RemovePrefStatements(const std::string& text, const std::vector<std::string>& names);

struct PrefStatementPutBack {
    std::string bytes;
    // One per statement: true when it went back where it was (the text around
    // that place still there), false when it was added at the end.
    std::vector<bool> inPlace;
};
// Puts the statements back into the text as it is now: each where the text
// around it still stands (the place nearest its old offset), else at the end,
// on a line of its own with the file's line end.
PrefStatementPutBack PutBackPrefStatements(const std::string& text,
                                           const std::vector<RemovedPrefStatement>& statements);

// One add-on record of "extensions.json".
struct FirefoxAddon {
    std::wstring id;
    std::wstring name;  // defaultLocale.name
    std::wstring version;
    std::wstring type;      // "extension", "theme", ...
    std::wstring location;  // "app-profile", "app-global", ...; "" when not text
    // The location is one of Firefox's own: "app-builtin", "app-builtin-addons"
    // (Form Autofill, New Tab, ... since Firefox 13x), "app-system-defaults",
    // "app-system-addons".
    bool builtIn = false;
    bool foreignInstall = false;  // placed by another program
    std::optional<bool> active;   // absent when the record says neither true nor false
    bool userDisabled = false;
};

// The add-on records of a profile's extensions.json, in file order (an entry
// that is not an object is passed over); the result says why none could be read.
JsonLoad ReadFirefoxAddons(const std::wstring& profileFolder, std::vector<FirefoxAddon>* addons);

// ---- Firefox's site permissions ----------------------------------------------------
// A profile's "permissions.sqlite", table moz_perms, as Firefox writes it (user_version
// 12, or 13 with moz_origin_interactions beside it).

// One row of moz_perms, with its values as stored (NULL read as 0 or "", as Firefox reads it).
struct FirefoxPermissionRow {
    int64_t id = 0;
    std::string origin;      // UTF-8 as stored: "https://win-prize.example", perhaps with "^userContextId=1"
    std::string type;        // "desktop-notification", "popup", "cookie", ...
    int64_t permission = 0;  // 1 allow, 2 deny, 3 prompt
    int64_t expireType = 0;  // 0 never, 1 session, 2 at expireTime, 3 set by enterprise policy
    int64_t expireTime = 0;  // milliseconds since 1970
    int64_t modificationTime = 0;
};

struct FirefoxPermissions {
    // Done (also for a database without moz_perms, which Firefox creates), Missing,
    // Unreadable, TooLarge (beyond MaxBytes or MAX_FIREFOX_PERMISSION_ROWS), Locked,
    // NotADatabase, Damaged or OtherShape; rows only with Done.
    JsonLoad result = JsonLoad::Missing;
    int64_t userVersion = 0;
    std::vector<FirefoxPermissionRow> rows;  // in id order
};

// Real profiles hold hundreds of rows; a table beyond this is not read.
constexpr std::size_t MAX_FIREFOX_PERMISSION_ROWS = 50000;

// The columns of moz_perms in the order FirefoxPermissionRowAt reads them.
#define FIREFOX_PERMISSION_COLUMNS "id, origin, type, permission, expireType, expireTime, modificationTime"
// The row a statement that selects FIREFOX_PERMISSION_COLUMNS stands on.
FirefoxPermissionRow FirefoxPermissionRowAt(const SqliteStatement& statement);

// Reads the rows of the profile's permissions.sqlite, read-only, while Firefox
// may be running: the file and the files beside it stay exactly as they were.
FirefoxPermissions ReadFirefoxPermissions(const std::wstring& profileFolder);

// The time as Firefox keeps it: milliseconds since 1970 (UTC).
int64_t FirefoxTimeNow();

// A row that lets a site show notifications ("desktop-notification") or open
// pop-ups ("popup"): it allows, it was not set by a policy, and it has not
// expired at nowMs by Firefox's own rule (an expiry time, or a session row with
// one, at or before now). *permission says which.
bool IsFirefoxSiteGrant(const FirefoxPermissionRow& row, int64_t nowMs, SitePermission* permission);

// ---- Removing start-up settings ---------------------------------------------------

// Which pages of a Chromium-family profile to give back to the browser's defaults, as bits.
enum StartupSetting : unsigned {
    SETTING_STARTUP_PAGES = 1,  // session.restore_on_startup, session.startup_urls
    SETTING_HOME_PAGE = 2,      // homepage, homepage_is_newtabpage, browser.show_home_button
    SETTING_SEARCH_ENGINE = 4,  // default_search_provider_data.template_url_data (and its mirror in Preferences)
};

struct StartupRemoval {
    bool usable = false;               // a JSON object that can be written back exactly
    std::vector<std::string> removed;  // the dotted names taken out, in the order above
    // The text without them, compact UTF-8 as the browsers write it, checked to
    // read back as the same document; "" when none of them was there.
    std::string bytes;
};
// Removes the settings' values from a Preferences (or, securePreferences, a
// Secure Preferences) text, every copy of a repeated name; nothing else
// changes, "protection" and its MACs least of all.
StartupRemoval RemoveStartupSettings(const std::string& text, unsigned settings, bool securePreferences);

// ---- PopSwat's record of changes ---------------------------------------------------
// Each run that changes anything keeps one record, changes.json, in its own backup
// folder: {"schema": "popswat.changes/1", "started", "changes": [...]}. It is
// written before each change is made, so reading it back is reading what any
// program, or a person, may have left there: it is checked member by member.

constexpr char CHANGES_SCHEMA[] = "popswat.changes/1";
// A record larger than this is no record PopSwat wrote (a run changes at most a
// few thousand things, each in well under a kilobyte).
constexpr std::size_t MAX_CHANGE_RECORD_BYTES = 16 * 1024 * 1024;

enum class ChangeState { Pending, Done, Left, Undone };

// One registry value as it was, exactly.
struct RecordedValue {
    std::wstring name;
    std::uint32_t type = 0;
    std::string data;
};

struct ChangeEntry {
    std::wstring findingId;
    std::string kind;           // the fix kind's name: "site-permission", "browser-shortcut", "run-value", ...
    std::wstring location;      // the file changed
    RemovedGrant grant;         // site-permission: the member taken out of Preferences
    std::wstring oldArguments;  // browser-shortcut: its arguments before and after
    std::wstring newArguments;
    // run-value, policy-value: the value deleted, exactly: below HKEY_LOCAL_MACHINE (machine)
    // or HKEY_CURRENT_USER, its key, name, type and bytes.
    bool machine = false;
    std::wstring valueKey;
    std::wstring valueName;
    std::uint32_t valueType = 0;
    std::string valueData;
    // The name of the copy of the whole file before the change, in the run's
    // folder (startup-item: the folder of the run's that holds the item moved
    // there under its own name); "" for none.
    std::wstring copy;
    ChangeState state = ChangeState::Pending;
    std::wstring why;  // for Left, and for a change put back only in part
    // site-permission in Firefox's permissions.sqlite (location): the moz_perms
    // row deleted, as it was; its type is "" for every other change. Its copy is
    // the run's folder that holds the database, and any -wal or -shm, as they were.
    FirefoxPermissionRow firefoxRow;
    // scheduled-task: the task's definition before it was turned off and as the
    // fix left it, as bytes of the Task Scheduler's XML (after: "" while pending).
    // proxy: the value changed is recorded as a run-value's is (machine, key, name, type, data).
    std::string taskDefinition;
    std::string taskDefinitionAfter;
    // extension-registration of a Chromium key (valueName ""): every value the key
    // deleted held (a Firefox registration is one value, recorded as above).
    std::vector<RecordedValue> keyValues;
    // startup-page and firefox-prefs: the name of the file in the run's folder
    // that holds the bytes PopSwat wrote, to tell whether the file changed since.
    std::wstring written;
    // firefox-prefs: the statement taken out, exactly, where it was in the text
    // without it (a byte offset) and the text around that place then.
    std::string statement;
    std::uint64_t offset = 0;
    std::string textBefore;
    std::string textAfter;
};

struct ChangeRecord {
    std::wstring started;  // local time: "2026-12-07T14:30:05"
    std::vector<ChangeEntry> changes;
    // What a dry run would change: written with "preview": true, each change
    // pending and without what it would remove (never written to the disk).
    bool preview = false;
};

// The record as changes.json holds it (compact UTF-8).
std::string ChangeRecordJson(const ChangeRecord& record);
// Reads a changes.json text; false, with why saying what is wrong in a few words
// ("not JSON", "another schema: ...", "change 3 has no location"), for anything
// but a record of this schema whose every change has all it needs.
bool ParseChangeRecord(const std::string& bytes, ChangeRecord* record, std::wstring* why);
// "pending", "done", "left", "undone".
const char* ChangeStateName(ChangeState state);

// ---- Firefox's policies.json -------------------------------------------------------
// Firefox reads enterprise policies from the registry and from
// distribution\policies.json in its install folder: {"policies": {...}}.

// Where Firefox is installed, as the registry below machine and user says
// (App Paths\firefox.exe: its default value and Path; Mozilla\Mozilla
// Firefox\<version>\Main: Install Directory; each also below WOW6432Node)
// and then "Mozilla Firefox" in each of programFiles. Each folder once (full,
// case ignored), and only a folder that holds firefox.exe.
std::vector<std::wstring> FirefoxInstallFolders(HKEY machine, HKEY user, const std::vector<std::wstring>& programFiles);

// A larger policies.json is not read (real ones hold a few kilobytes).
constexpr std::size_t MAX_FIREFOX_POLICIES_BYTES = 1024 * 1024;

// One policy of the file, named as Firefox names the same policy in the
// registry: objects' members and arrays' items (counted from 1) joined with
// backslashes ("Homepage\URL", "SearchEngines\Add\1\URLTemplate"); its text
// as the registry review shows it (booleans 1 and 0, numbers in decimal).
struct FirefoxPolicyValue {
    std::wstring name;
    std::wstring value;
};

struct FirefoxPoliciesFile {
    // Done, Missing, Unreadable, TooLarge, NotJson, TooDeep, NotAnObject, or
    // OtherShape for a "policies" member that is not an object.
    JsonLoad result = JsonLoad::Missing;
    std::wstring digest;  // FileBytesDigest of what was read
    std::vector<FirefoxPolicyValue> values;
};
// The policies of one policies.json; none without a "policies" member.
FirefoxPoliciesFile ReadFirefoxPoliciesFile(const std::wstring& path);
// The bytes' size and a 64-bit hash of them, to tell a file changed: "1234-0123456789abcdef".
std::wstring FileBytesDigest(const std::string& bytes);
