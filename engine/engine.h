// The engine: what changes things. It closes the browsers, deletes the files
// that hold their open tabs and recent history, takes back what sites were
// allowed to do, and runs all of it as one cleanup at a time. Both programs link
// it; the audit and the review use only its options and its line writer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/base.h"
#include "browsers/browsers.h"
#include "browsers/launchers.h"

struct CleanupOptions {
    bool preview = false;           // report what would be closed and deleted, change nothing
    bool tabsOnly = false;          // delete only what holds open tabs and sessions, keep history
    bool force = false;             // terminate browsers at once, without the graceful close
    bool resetPermissions = false;  // also take back what sites were allowed to do
    bool repairShortcuts = false;   // also take web addresses and extensions out of browser shortcuts
    LogSink log;
};

// Hands one line to options.log, if there is one.
void WriteLine(const CleanupOptions& options, const std::wstring& line);

// What a cleanup run did, besides its lines.
struct CleanupOutcome {
    // Each file or tree that could not be deleted, and each new settings file that
    // could not be removed again.
    std::vector<std::wstring> leftBehind;
    // Of those and of settingsLeftAlone, each that another program held open (or a file in it).
    std::vector<std::wstring> inUse;
    std::vector<std::wstring> settingsLeftAlone;  // each Preferences the reset left alone, with a line saying why
    std::size_t permissionsTakenBack = 0;         // site permissions taken back (none in preview)
    std::size_t shortcutsRepaired = 0;            // browser shortcuts repaired (none in preview)
    bool lockHeldElsewhere = false;               // the run was refused: nothing was written or changed
    bool lockNotTaken = false;  // refused because no lock could be had at all (lockHeldElsewhere is set too)
    std::vector<std::wstring> linksLeftAlone;  // each file to delete that leads elsewhere (a link), left alone
    // Each list of profiles that could not be read (profiles.ini): the profiles it names were not cleaned.
    std::vector<std::wstring> profileListsNotRead;
    std::vector<std::wstring> shortcutsLeftAlone;  // each browser shortcut the repair left as it was
};

// How many items the run could not clean: files and trees that stayed, settings
// files, links and shortcuts left alone, lists of profiles not read.
std::size_t ItemsLeftBehind(const CleanupOutcome& outcome);
// What those items were, by kind, for a closing line: "1 file or folder in use,
// 2 links left alone"; "" when there were none.
std::wstring LeftBehindByKind(const CleanupOutcome& outcome);

// Takes the one-run lock (CleanupRunLock), closes every browser, then cleans
// every profile and, when asked, repairs the browser shortcuts of the user's and
// the public Desktop, Start menu, taskbar and Startup folders; all output goes
// to options.log. The last lines say whether everything was cleaned
// (ItemsLeftBehind); a preview always ends as done. When another run holds the
// lock, it writes nothing, changes nothing and says so in the outcome. Call it
// on the thread that should own the lock while the run lasts.
CleanupOutcome RunCleanup(const CleanupOptions& options);

// Takes the one-run lock as RunCleanup does, closes every browser as the run
// does, then takes back the site permissions of every Chromium-family profile
// as a run with resetPermissions does ("Preferences" rewritten, the old file
// kept as its backup), deleting nothing else. Writes the lines of both steps and
// a closing count to options.log; the outcome tells what was taken back and
// which files were left alone, or that another run held the lock.
CleanupOutcome TakeBackAllSitePermissions(const CleanupOptions& options);

// Takes the one-run lock as RunCleanup does, then repairs the browser shortcuts
// of the user's and the public Desktop, Start menu, taskbar and Startup folders
// as a run with repairShortcuts does (one backup folder for the call), closing
// no browser and deleting nothing. Writes the step's lines and a closing count
// to options.log; the outcome counts the shortcuts repaired and notes each one
// left as it was, or says that another run held the lock. Initialises COM on
// the calling thread.
CleanupOutcome RepairAllBrowserShortcuts(const CleanupOptions& options);

// True for a finding the shortcut repair would change: a shortcut (also one in
// a Startup folder) whose target is a catalogue browser and whose arguments hold
// a web address or "--load-extension=" that the repair takes out.
bool ShortcutRepairWouldChange(const LauncherFinding& finding);
// True when the repair would leave the shortcut's file as it is whatever its
// arguments, for a reason the file shows before any change: it is read-only
// (someone wants it kept as it is). The repair then says "shortcut left as it was
// (read-only)", so such a finding is no fixable one.
bool ShortcutRepairKeepsFile(const std::wstring& path);

// ---- Fixes ----------------------------------------------------------------------------
// Every change a fix or a cleanup step makes goes into one record per run
// (changes.json in %LOCALAPPDATA%\PopSwat\Backups\<date>_<time>), written before
// the change, with what is needed to put it back.

struct FixKind {
    const char* name;       // "site-permission", "browser-shortcut"
    const wchar_t* action;  // what the fix does, one short sentence
    bool closesBrowsers;    // the browsers must be closed first, to fix and to undo
    const wchar_t* what;    // how the closing line counts it: "site permission(s)"
};
const std::vector<FixKind>& FixKinds();
const FixKind* FindFixKind(std::string_view name);

// The ids of the findings a fix changes, as the review gives them (FindingId)
// and the record keeps them: a site permission of a browser's profile (report
// name and profile folder name), and what starts a browser from outside it.
std::wstring SitePermissionFindingId(const std::wstring& browser,
                                     const std::wstring& profile,
                                     const SitePermissionGrant& grant);
std::wstring LauncherFindingId(const LauncherFinding& finding);

// One finding to fix, as the review names it.
struct FixTarget {
    const FixKind* kind = nullptr;
    std::wstring findingId;
    std::wstring description;  // one line for the list, masked
    bool recommended = false;
    std::wstring browser;  // site-permission: the browser's report name and the profile folder's name
    std::wstring profile;
    SitePermissionGrant grant{SitePermission::Notifications, std::wstring(), false};
    std::wstring shortcut;  // browser-shortcut: the .lnk file
    // run-value and startup-item: where the finding is (the value's
    // "HKEY_...\<key>\<name>", the item's path) and the command the review judged.
    std::wstring location;
    std::wstring command;
    // startup-page: the StartupSetting bits to give back to the browser's
    // defaults in the profile (browser and profile above).
    unsigned startupSettings = 0;
    // firefox-prefs: the statements' names to remove from user.js and prefs.js
    // of the profile folder at location.
    std::vector<std::string> prefNames;
};

// What a fix or an undo run did.
struct ChangeRunOutcome {
    bool lockHeldElsewhere = false;
    std::wstring folder;  // the run's folder ("" when nothing was recorded)
    ChangeRecord record;  // the record as it was last written
    std::size_t done = 0;
    // Each item left as it was, with why, by the name of its kind.
    std::vector<std::pair<std::string, std::wstring>> left;
    bool recordRefused = false;  // undo: the record could not be used; nothing of that run was changed
    bool nothingToDo = false;    // undo: no run has changes that are not undone
};

// Where fixes and their undo look, the same places the review read: the
// programs pass SystemFixPlaces(), tests keys and folders of their own.
struct FixPlaces {
    LauncherSources launchers;  // Run values, Startup items, shortcuts
    PolicyRoots policies{};     // the roots below which the catalogue's policy keys are
};
// SystemLauncherSources() and SystemPolicyRoots().
FixPlaces SystemFixPlaces();

// Takes the one-run lock, closes the browsers when a target needs them closed
// (the kinds' closesBrowsers), then fixes each target, each change recorded
// before it is made; lines go to options.log. In preview only the lines.
// Each target is looked for only in places.
ChangeRunOutcome ApplyFixes(const CleanupOptions& options,
                            const std::vector<FixTarget>& targets,
                            const FixPlaces& places);

// One run's folder below BackupsFolder, as --list-changes shows it.
struct ChangeRunSummary {
    std::wstring name;          // "2026-12-07_143005"
    std::wstring folder;        // its full path
    bool hasRecord = false;     // changes.json is there (older runs kept copies only)
    bool readable = false;      // ... and could be used
    std::wstring problem;       // why not
    ChangeRecord record;        // when readable
    std::size_t notUndone = 0;  // changes done or pending, not yet undone
};
// Every run's folder, oldest first (the names sort by time).
std::vector<ChangeRunSummary> ListChangeRuns();
// %LOCALAPPDATA%\PopSwat\Backups; "" when LOCALAPPDATA is not set.
std::wstring BackupsFolder();

// Takes the one-run lock, closes the browsers when an entry's kind needs them
// closed, then puts back, item by item, what the run's record says was removed
// or changed (its changes not yet undone), each entry's state becoming undone,
// or left with a line. An entry is put back only into places.
ChangeRunOutcome UndoChangeRun(const CleanupOptions& options, const ChangeRunSummary& run, const FixPlaces& places);
// True when a fix that needs an elevated process (needsElevation) cannot be
// tried by this one. Under Wine every process is elevated.
bool NeedsAdministrator(bool needsElevation);
// True when changing the scheduled task at path takes an elevated process: a
// task of Windows' own (below \Microsoft), one that runs for a group, or as
// another account than this process's user (runsAs a name, DOMAIN\name or SID
// string as ScheduledTask gives it; "" for none).
bool TaskNeedsElevation(const std::wstring& path, const std::wstring& runsAs, bool runsAsGroup);

// ---- One cleanup run at a time ---------------------------------------------------

// What a front end shows when another run holds the lock.
constexpr wchar_t ANOTHER_CLEANUP_RUNNING[] = L"Another PopSwat cleanup is already running.";
// What it shows when no lock could be had at all.
constexpr wchar_t NO_CLEANUP_LOCK[] =
    L"PopSwat could not make sure that no other cleanup is running, so it changed nothing.";

// The line a front end shows for a refused run (lockHeldElsewhere).
const wchar_t* RefusedRunText(const CleanupOutcome& outcome);

// Takes the logon session's cleanup mutex without waiting and holds it while it
// lives, so that two runs never delete (and report) the same files at once. A
// mutex belongs to the thread that took it: create and destroy the lock on the
// same thread. When the mutex's name belongs to an object of another kind (which
// anyone can create first), the lock is an exclusive handle to
// %LOCALAPPDATA%\PopSwat\cleanup.lock instead, deleted when it closes.
class CleanupRunLock {
public:
    CleanupRunLock();
    // A test's own mutex name, to play a taken name without touching the session's.
    explicit CleanupRunLock(const wchar_t* mutexName);
    ~CleanupRunLock();
    CleanupRunLock(const CleanupRunLock&) = delete;
    CleanupRunLock& operator=(const CleanupRunLock&) = delete;

    // False when another run holds the mutex or the lock file, or neither could be had.
    bool acquired() const { return acquired_; }
    // True when neither the mutex nor the lock file could be had.
    bool notTaken() const { return notTaken_; }

private:
    void* mutex_ = nullptr;     // the owned mutex's HANDLE
    void* lockFile_ = nullptr;  // the lock file's HANDLE, when the mutex could not be had
    bool acquired_ = false;
    bool notTaken_ = false;
};
