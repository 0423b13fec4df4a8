// The engine's parts, for its own files, its tests and the benchmarks. Each part
// writes its lines to options.log and, when outcome is not null, notes there
// what it left behind or took back.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "browsers/browsers.h"
#include "browsers/launchers.h"
#include "engine/engine.h"

struct ChangeLog;  // below

// ---- Lines -------------------------------------------------------------------

// Hands options.log the line that format (with one %ls) makes of a path. Every
// line of removal and reset that names a path is written here: the path is
// masked (MaskUnsafeCharacters), since a folder name, like any text from a
// profile, can hold characters that split or reorder a line.
void WritePathLine(const CleanupOptions& options, const wchar_t* format, const std::wstring& path);

// ---- The one-run lock --------------------------------------------------------------

// Takes the one-run lock (CleanupRunLock) on the calling thread, runs step with
// the outcome to fill in and lets the lock go. When another run holds the lock,
// step does not run and the outcome says so (lockHeldElsewhere).
CleanupOutcome RunUnderLock(const std::function<void(CleanupOutcome*)>& step);

// ---- File and folder removal -----------------------------------------------

// Deletes one file ("  deleted: ..."), or in preview says it would. A file that
// stays ("  (locked/failed) ...") is noted as left behind. A file that resolves
// elsewhere than its own name in its folder (a link) is left alone ("  (a link,
// left alone) ..."), in preview too, and noted.
void RemoveFile(const CleanupOptions& options, const std::wstring& path, CleanupOutcome* outcome);
// Deletes a folder with everything below it, never entering a link ("  deleted
// folder: ..." for each folder removed); each file in it is checked as RemoveFile
// checks it. A tree that stays in part is noted once, unless only links left
// alone keep it.
void RemoveFolderTree(const CleanupOptions& options, const std::wstring& path, CleanupOutcome* outcome);

// ---- Profile cleaning ------------------------------------------------------------

// The files of the open tabs and the last session, and unless tabsOnly the recent history.
void CleanChromiumProfile(const CleanupOptions& options, const std::wstring& profile, CleanupOutcome* outcome);
// Writes "Cleaning <name> ..." when the user-data folder exists, then cleans each
// of its profiles (ChromiumProfiles), taking back site permissions when asked.
void CleanChromiumBrowser(const CleanupOptions& options,
                          const BrowserEntry& browser,
                          const std::wstring& userDataFolder,
                          CleanupOutcome* outcome,
                          ChangeLog* log = nullptr);
// The open windows and tabs; history is left alone.
void CleanFirefoxProfile(const CleanupOptions& options, const std::wstring& profile, CleanupOutcome* outcome);
// Writes "Cleaning Mozilla Firefox ..." when the Profiles folder exists (even
// empty) or any profile does (also one that only profiles.ini names), or when
// profiles.ini could not be read ("  (too large, not read) ..." follows, noted
// in the outcome), then cleans every profile of the Firefox row (BrowserProfiles),
// taking back site permissions when asked (into log, or a record of its own).
void CleanFirefox(const CleanupOptions& options,
                  const BrowserEntry& firefox,
                  CleanupOutcome* outcome,
                  ChangeLog* log = nullptr);

// ---- The record of changes -----------------------------------------------------

// One run's record of changes (changes.json) and the copies of the files it
// changed, kept in %LOCALAPPDATA%\PopSwat\Backups\<date>_<time> (such as
// "2026-12-07_143005"; "-2", ... for a second run in the same second), made at the
// first change: "1.Preferences", "2.lnk", ... Never beside what was changed: a
// copy on the Desktop would be one more shortcut there. The shortcut copies also
// get a line each in "index.txt", "<copy's name><TAB><original full path>" (UTF-8),
// for a person restoring by hand.
struct ChangeLog {
    std::wstring folder;  // "" until the first copy or entry is written
    unsigned copies = 0;
    ChangeRecord record;
    bool unsaved = false;  // states changed since changes.json was last written
};
using ShortcutBackups = ChangeLog;

// Makes the run's folder once (and sets the record's start time).
bool EnsureRunFolder(ChangeLog* log);
// Copies the file into the run's folder as "<n><suffix>"; its name there, or "" when no copy could be made.
std::wstring CopyIntoRun(ChangeLog* log, const std::wstring& file, const wchar_t* suffix);
// Writes the bytes, flushed, into the run's folder as "<n><suffix>"; its name there, or "" when they could not be kept.
std::wstring KeepBytesInRun(ChangeLog* log, const std::string& bytes, const wchar_t* suffix);
// Makes a new empty folder "<n>" in the run's folder; its name, or "" when it could not be made.
std::wstring MakeFolderInRun(ChangeLog* log);
// Writes changes.json anew: a new file beside it, flushed, then moved over it with write-through.
bool SaveChangeLog(ChangeLog* log);
// Adds the entries as they are (state Pending) and writes the record before
// anything is changed; false, with the entries taken out again, when it could
// not be written: then nothing may be changed.
bool RecordPending(ChangeLog* log, std::vector<ChangeEntry> entries);
// Sets an entry's state; written with the next entry or by FinishChangeLog.
void MarkChange(ChangeLog* log, std::size_t index, ChangeState state, const std::wstring& why = std::wstring());
// Writes the states set since the last write.
void FinishChangeLog(ChangeLog* log);

// ---- Taking back site permissions -----------------------------------------------

// Where a profile is, for the ids of what is taken back there.
struct ProfileOfBrowser {
    std::wstring folder;
    std::wstring browser;  // the catalogue's report name
    std::wstring name;     // the profile folder's name (BrowserProfile::name)
};

// Takes out of the profile's "Preferences" what TakeBackSitePermissions takes
// out (with chosen, only those grants): one line per grant taken back, then one
// naming the copy of the old file in the run's folder, where the record names
// each grant's member and value (written before the file is replaced); in
// preview "[preview] would ..." lines and nothing is touched. A file with nothing
// to take back is not rewritten and gives no line. A file that is not a JSON
// object, not of the shape TakeBackSitePermissions can use, a folder or larger
// than its limit (MaxBytes) is left alone ("(unreadable, left alone)"), as is a
// link ("(a link, left alone)") and a read-only file ("(read-only, left
// alone)"); when any step of reading, copying, recording or replacing fails the
// file stays as it was and the line is "(locked/failed)", noted as in use when
// another program held a file open.
// The swap is tried again for about a second while another program holds the
// new file. Every file left alone with a line is noted. The new file never
// stays: one that cannot be removed either is named ("(could not remove)") and
// noted as left behind.
void ResetSitePermissions(const CleanupOptions& options,
                          const ProfileOfBrowser& profile,
                          ChangeLog* log,
                          CleanupOutcome* outcome,
                          const std::vector<SitePermissionGrant>* chosen = nullptr);
// The same for a folder alone, with a record of its own (tests).
void ResetSitePermissions(const CleanupOptions& options, const std::wstring& profile, CleanupOutcome* outcome);

// Puts the grants of the entries (all of one Preferences file) back into that
// file as it is now, written as the reset writes it; each entry's state becomes
// Undone, or Left with why (the same site set anew, the file unusable). The
// browsers must be closed. One line per entry.
void PutBackSitePermissionEntries(const CleanupOptions& options,
                                  const std::wstring& file,
                                  const std::vector<std::size_t>& entries,
                                  ChangeLog* record);

// ---- Taking back Firefox's site permissions ---------------------------------------

// Deletes from the profile's permissions.sqlite, in one transaction, the rows
// that let a site notify or open pop-ups (IsFirefoxSiteGrant; with chosen, only
// the rows the review named, each unchanged since: any other is left with a
// line and named in changed). Only with Firefox not running with the profile
// (its parent.lock not held), on a plain file that is not read-only and passes
// PRAGMA integrity_check; first the database and any -wal or -shm are copied
// into a folder of the run's ("saved a copy of the old permissions: ..."), and
// every row goes into the record as it was. One line per row taken back ("
// notifications no longer allowed: <origin>"); a database left alone gets one
// "(<why>, left alone) <file>" line and is noted: locked, not SQLite, damaged, a
// table of another shape, too many rows, a link, read-only, Firefox running.
// Nothing there, or nothing to take back: no line. Preview: "[preview] would
// ..." lines, nothing opened for writing. Returns the number of rows deleted.
std::size_t ResetFirefoxSitePermissions(const CleanupOptions& options,
                                        const ProfileOfBrowser& profile,
                                        ChangeLog* log,
                                        CleanupOutcome* outcome,
                                        const std::vector<SitePermissionGrant>* chosen = nullptr,
                                        std::vector<std::wstring>* changed = nullptr);
// True for "<folder>\permissions.sqlite" of a Firefox profile among profiles.
bool IsFirefoxPermissionDatabase(const std::wstring& location, const std::vector<BrowserProfile>& profiles);
// Inserts the rows of the entries (all of one database) back, in one
// transaction, with new ids and every other value as recorded; a row whose
// origin and type are there again is left ("was set again since"). Each entry's
// state becomes Undone or Left with why; one line each, or one for all when the
// database may not be written (the reasons of ResetFirefoxSitePermissions).
void PutBackFirefoxPermissionEntries(const CleanupOptions& options,
                                     const std::wstring& file,
                                     const std::vector<std::size_t>& entries,
                                     ChangeLog* record);

// ---- Rewriting a shortcut's arguments --------------------------------------------

enum class ShortcutRewriteResult {
    Done,                  // the shortcut has the new arguments, and every other byte as it had
    WouldDo,               // a dry run: every check that needs no writing passed
    Missing,               // no such file
    NotAFile,              // a folder
    TooLarge,              // above MAX_SHORTCUT_FILE_BYTES
    Link,                  // it leads elsewhere: a reparse point, or a link that resolves to another name
    Unreadable,            // could not be opened or read (see error)
    InUse,                 // another program holds it without letting it be replaced
    NoRight,               // no right to replace it
    ReadOnly,              // the file is read-only
    NotSound,              // its bytes cannot be changed safely: see layoutProblem
    NotAShortcut,          // the shell cannot read it
    OtherArguments,        // it no longer holds the arguments it was looked at with
    ArgumentsElsewhere,    // the shell reads other arguments than the string that holds them
    ShellReadsOtherwise,   // the shell would read the changed file as more than new arguments
    NoCopy,                // the copy the caller keeps first could not be made
    NotWritten,            // no new file could be written beside it (see error)
    Changed,               // it changed while it was read: left with what it holds now
    ChangedWhileReplaced,  // it changed in the moment of the swap: what it held then is back at its name
    NotReplaced,           // the new file could not take its place (see error)
    MovedAside             // neither: the old file keeps the name movedAsideTo beside it
};

// What a rewrite did, and the facts of the old and new bytes: a record of the
// change (and taking it back) needs both.
struct ShortcutRewrite {
    ShortcutRewriteResult result = ShortcutRewriteResult::Unreadable;
    uint32_t error = 0;  // the failed call's Win32 error or HRESULT, where there is one
    ShortcutLayoutProblem layoutProblem = ShortcutLayoutProblem::None;
    std::wstring finalPath;  // where the path resolves (for a Link, where it leads)
    uint32_t attributes = 0;
    std::string oldBytes;      // the file as read, once it could be read
    std::string newBytes;      // the file with the new arguments, once they could be made
    ShortcutFields oldFields;  // as the shell reads oldBytes
    std::wstring movedAsideTo;
};

// What the checks of one list's shortcuts have learnt of a folder, each asked
// once: where it resolves and whether this process may add and remove entries in it.
struct ShortcutFolderFacts {
    std::wstring finalPath;     // "" until asked (a failure is not kept)
    int mayChangeEntries = -1;  // -1 until asked, then 0 or 1
};
using ShortcutFolderMemo = std::map<std::wstring, ShortcutFolderFacts>;

struct ShortcutRewriteSteps {
    bool dryRun = false;  // check, write nothing
    // For the shortcuts of one list: each folder's facts asked once by the checks
    // that write nothing. The last check before a swap always asks again.
    ShortcutFolderMemo* folders = nullptr;
    // Called with the old bytes once every check that needs no writing has
    // passed, before anything is written; false stops the rewrite (NoCopy).
    std::function<bool(const std::string& oldBytes)> keepCopy;
    // A dry run's result for the same path and arguments, made moments before:
    // its checks are not made again (the old bytes and where the name resolves
    // are compared once more before the swap, as always).
    const ShortcutRewrite* checked = nullptr;
    // The old file as ReadShortcut read it moments before. The new file, read
    // the same way, must read alike but for the arguments; without these the old
    // file is read once more. (Loaded from a file, under Wine, a target kept
    // only as a relative path is resolved; loaded from its bytes, it is not.)
    const ShortcutFields* fileFields = nullptr;
};

// Gives the shortcut at path new arguments and changes nothing else, or leaves
// it exactly as it was and says why. Checks, writing nothing: that the path is
// a plain file that resolves to its own name in its folder (no link of any kind
// is followed), not read-only, readable and not held by another program; that
// its bytes have a sound layout (ReplaceShortcutArguments); that the shell reads
// expectedArguments from them and, from the changed bytes, everything else as
// before with the new arguments. Then, unless steps.dryRun: steps.keepCopy,
// the changed bytes written and flushed to a new file beside it under a unique
// name created for this call ("<name>.<unique>.popswat-new"), that file read
// back through the shell and compared again, field by field and byte for byte
// outside the arguments; the old file's bytes compared once more just before
// the swap (ReplaceFileKeepingOld, the old file moved aside to a free name also
// made for this call and removed once it is known to be the bytes read). Only files
// made by this call are ever deleted; on any failure but MovedAside none of
// them remains. COM must be initialised on the calling thread.
ShortcutRewrite RewriteShortcutArguments(const std::wstring& path,
                                         const std::wstring& expectedArguments,
                                         const std::wstring& arguments,
                                         const ShortcutRewriteSteps& steps);

// Why a rewrite left the shortcut as it was, for a line: "read-only", "in use by
// another program", ... ("" for Done and WouldDo).
std::wstring ShortcutRewriteProblem(const ShortcutRewrite& rewrite);

// ---- Repairing browser shortcuts ------------------------------------------------

// ---- Repairing browser shortcuts ------------------------------------------------

enum class ShortcutRepairOutcome {
    Repaired,
    WouldRepair,      // preview: nothing was touched
    NothingToRemove,  // no web address and no "--load-extension=" among its arguments
    LeftAlone         // could not or must not be changed: see reason
};

struct ShortcutRepair {
    ShortcutRepairOutcome outcome = ShortcutRepairOutcome::LeftAlone;
    std::vector<std::wstring> removed;  // the arguments taken out, as the browser reads them
    std::wstring arguments;             // the arguments it has now, or would have
    std::wstring backup;                // the copy of the old file
    std::wstring reason;                // why it was left alone
    ShortcutRewrite rewrite;            // what rewriting its arguments did, or why it did not
};

// Repairs one shortcut whose target is a catalogue browser's image: keeps a copy
// of the file in backups, then gives it its arguments without the web addresses
// and "--load-extension=" arguments (a "-url" before a removed address goes with
// it; "--app=" stays) and checks that every other field is as it was. A
// shortcut that is read-only, in use, in a folder without the right to write, or
// that cannot be copied first, is left exactly as it was. Writes one line:
// "  shortcut no longer opens <address>: <path>" (or "... no longer loads an
// extension from <folders>: ..."), with preview "  [preview] would make the
// shortcut no longer open ...", or "  shortcut left as it was (<reason>): <path>".
// COM must be initialised on the calling thread.
// The entry it writes in the record, before the shortcut is written, carries findingId.
ShortcutRepair RepairBrowserShortcut(const CleanupOptions& options,
                                     const std::wstring& path,
                                     ShortcutBackups* backups,
                                     const std::wstring& findingId = std::wstring());

// A shortcut to repair, with the finding its record entry carries.
struct ShortcutToRepair {
    std::wstring path;
    std::wstring findingId;
};

// RepairBrowserShortcut for each, in order, with the entries of every shortcut
// that passed its checks and was copied written to the record in one write,
// before any of them is changed. One repair per shortcut, in the same order.
std::vector<ShortcutRepair> RepairBrowserShortcutList(const CleanupOptions& options,
                                                      const std::vector<ShortcutToRepair>& shortcuts,
                                                      ShortcutBackups* backups);

// The run's step: writes "Repairing browser shortcuts...", then repairs each
// shortcut of the sources' shortcut and Startup folders that the repair would
// change (ShortcutRepairWouldChange; one backup folder for all),
// and ends with the folder of the copies, or "  No browser shortcut needed
// repairing." when it wrote no line. Each shortcut left alone is noted as left
// behind, each one repaired counted. Initialises COM on the calling thread.
// With log, the run's record of changes is that one; otherwise one of its own.
void RepairBrowserShortcuts(const CleanupOptions& options,
                            const LauncherSources& sources,
                            CleanupOutcome* outcome,
                            ChangeLog* log = nullptr);

// Gives the shortcut of the entry its old file back (the copy) when it still
// has the arguments PopSwat left it with; the entry's state becomes Undone, or
// Left with why. One line. folders: the facts of the folders of the run's
// shortcuts, shared by the put-backs of one run.
void PutBackShortcutEntry(const CleanupOptions& options,
                          std::size_t entry,
                          ShortcutFolderMemo* folders,
                          ChangeLog* record);

// ---- Browser shutdown --------------------------------------------------------

// How long the closing phase waits, in all, for the browsers asked to close to exit.
constexpr uint32_t GRACEFUL_WAIT_MS = 5000;
// At most this long after closing, the run waits for every browser process found
// to be gone before it touches their files.
constexpr uint32_t SETTLE_PAUSE_MS = 1200;

// The closing phase for rows, in row order: writes every found browser's lines,
// asks every visible window to close, gives them all one grace period together
// (a browser with no visible window is not waited for), terminates what is left
// and returns once the processes found are gone, at most SETTLE_PAUSE_MS later.
// A process belongs to the first row naming its image. Preview only writes the
// lines; force terminates without asking. Nothing running: no line, no pause.
void CloseBrowsers(const CleanupOptions& options, const BrowserCatalogue& rows);

// ---- Changes outside the browsers' files ---------------------------------------------

// How one step of a fix, or of its undo, ended.
enum class ChangeStep {
    Done,
    Gone,       // nothing there any more: nothing to change
    Changed,    // no longer what was reviewed or recorded: left as it is
    NameTaken,  // the place to put it back holds something else now
    Refused,    // not what a fix may touch: a link, a folder, a value too long, a root not looked at
    Failed      // the call failed; why says how
};

struct ChangeResult {
    ChangeStep step = ChangeStep::Failed;
    std::wstring why;  // a short phrase after the item's name: "is in use", "has changed since it was read"
};

// One registry value: under HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER (of the
// roots given to each call), its key below the root and its name.
struct RegistryPlace {
    bool machine = false;
    std::wstring key;
    std::wstring name;
};

// A value's type and data exactly as stored (a REG_EXPAND_SZ stays expandable).
struct SavedRegistryValue {
    std::uint32_t type = 0;
    std::string data;
};

// "HKEY_CURRENT_USER\<key>\<name>", as the finders name a value.
std::wstring RegistryPlaceText(const RegistryPlace& place);
// The place of a value the finders named by its location; false when no such
// value is there. A name may hold a backslash: the key is the longest path
// that holds a value of the rest's name.
bool FindRegistryPlace(const LauncherRegistryRoots& roots, const std::wstring& location, RegistryPlace* place);

// What a fix may change: a Run or RunOnce value, the user's ProxyEnable or
// AutoConfigURL, a value below Software\Policies. Anything else (also a key
// with "..") is None, and --undo writes nothing there.
enum class RegistryPlaceKind { None, RunValue, Proxy, Policy };
RegistryPlaceKind KindOfRegistryPlace(const RegistryPlace& place);
// HKEY_LOCAL_MACHINE and the policy keys, also the user's, take an administrator.
bool RegistryPlaceNeedsAdministrator(const RegistryPlace& place);

// Reads the value as it is (at most 1 MB), to record before it is changed.
ChangeResult SaveRegistryValue(const LauncherRegistryRoots& roots,
                               const RegistryPlace& place,
                               SavedRegistryValue* saved);
// Deletes the value if it still holds exactly `expected`.
ChangeResult DeleteRegistryValueIfSame(const LauncherRegistryRoots& roots,
                                       const RegistryPlace& place,
                                       const SavedRegistryValue& expected);
// Writes `replacement` if the value still holds exactly `expected`.
ChangeResult ReplaceRegistryValueIfSame(const LauncherRegistryRoots& roots,
                                        const RegistryPlace& place,
                                        const SavedRegistryValue& expected,
                                        const SavedRegistryValue& replacement);
// Writes the saved value back with its type and bytes when its name is free
// (the key made again if it went); Done also when it already holds exactly
// that, NameTaken when it holds something else.
ChangeResult PutRegistryValueBack(const LauncherRegistryRoots& roots,
                                  const RegistryPlace& place,
                                  const SavedRegistryValue& saved);
// Tells the running programs to read the proxy settings again
// (INTERNET_OPTION_SETTINGS_CHANGED, INTERNET_OPTION_REFRESH), only when the
// roots' user root is the real HKEY_CURRENT_USER.
void TellProgramsProxySettingsChanged(const LauncherRegistryRoots& roots);

// Moves a plain file (not a folder, not a link) into folder under its own name,
// or "2 <name>" and so on when that is taken, never replacing anything; a file
// held open stays ("is in use").
ChangeResult MoveFileIntoFolder(const std::wstring& path, const std::wstring& folder, std::wstring* movedTo);
// Moves it back when nothing has taken its name (NameTaken otherwise).
ChangeResult MoveFileBack(const std::wstring& movedTo, const std::wstring& path);

// ---- Fixing what starts a browser from outside its files ---------------------------

// True for a file right inside one of the folders, named by a plain full path (no "." or "..").
bool IsDirectlyInOneOf(const std::wstring& path, const std::vector<std::wstring>& folders);
// The run-value and startup-item targets fixed, in the registry and folders of
// sources: each one's entry recorded before its change, one line each; in
// preview only "[preview] would ..." lines.
void FixOutsideTheBrowsers(const CleanupOptions& options,
                           const std::vector<FixTarget>& targets,
                           const LauncherSources& sources,
                           ChangeLog* log,
                           ChangeRunOutcome* result);
// Why --undo may not put back a run-value or startup-item entry, "" when it may.
std::wstring OutsideRefusal(const ChangeEntry& entry, const LauncherSources& sources);
// Puts the entry's value or item back; its state becomes Undone, or Left with why. One line.
void PutBackOutsideEntry(const CleanupOptions& options,
                         std::size_t index,
                         const LauncherSources& sources,
                         ChangeLog* log);

// ---- Scheduled tasks and the proxy -------------------------------------------------

// The scheduled-task targets turned off (never deleted), each only while it is
// on and runs the reviewed command; its definition recorded first. The task's
// definition is judged from sources.taskFilesFolder where the service cannot
// list its tasks, as the review reads it. One line each; in preview only
// "[preview] would ..." lines.
void FixScheduledTasks(const CleanupOptions& options,
                       const std::vector<FixTarget>& targets,
                       const LauncherSources& sources,
                       ChangeLog* log,
                       ChangeRunOutcome* result);
// Why --undo may not turn a scheduled-task entry's task on again, "" when it may.
std::wstring TaskRefusal(const ChangeEntry& entry);
// Turns the task on again if it is still as the fix left it; Undone, or Left
// with why ("it has changed since the fix"). One line.
void PutBackTaskEntry(const CleanupOptions& options, std::size_t index, const LauncherSources& sources, ChangeLog* log);
// The proxy targets, in sources' user root: ProxyEnable set to 0 for
// ProxyServer, AutoConfigURL deleted, each only while it holds the reviewed
// value; the running programs told once when anything changed.
void FixProxySettings(const CleanupOptions& options,
                      const std::vector<FixTarget>& targets,
                      const LauncherSources& sources,
                      ChangeLog* log,
                      ChangeRunOutcome* result);
// Why --undo may not write a proxy entry's value back, "" when it may.
std::wstring ProxyRefusal(const ChangeEntry& entry);
// Writes the old value back where its place is free or as the fix left it,
// and tells the programs; Undone, or Left with why. One line.
void PutBackProxyEntry(const CleanupOptions& options,
                       std::size_t index,
                       const LauncherSources& sources,
                       ChangeLog* log);
// ---- Fixes that delete one registry value ---------------------------------------------

// What a kind of fix that deletes one value the review judged needs to know.
struct ValueFix {
    const char* kind;     // "run-value", "policy-value"
    const wchar_t* what;  // for its lines: "start-up value"
    // Why the place may not be changed ("not a start-up value", "needs an administrator"), "" when it may.
    std::wstring (*refusal)(const RegistryPlace& place);
    // True when the value as it is now is what the review judged (target.command).
    bool (*asReviewed)(const SavedRegistryValue& value, const std::wstring& reviewed);
};
// One change a fix has checked and will make: its entry, complete, the line
// that says it is done, and the change itself (made only once the entry is recorded).
struct PlannedChange {
    ChangeEntry entry;
    std::wstring doneLine;  // "  start-up value deleted: ", followed by the location
    std::function<ChangeResult()> change;
};
// Why a change was not made, for its line and its entry.
std::wstring WhyNotChanged(const ChangeResult& step);
// Counts the target as left, with the line "  left as it is (<why>): <location>".
void LeaveTarget(const CleanupOptions& options,
                 const std::string& kind,
                 const std::wstring& location,
                 const std::wstring& why,
                 ChangeRunOutcome* result);
// Records every planned entry (pending) with one write of the record, then
// makes each change in turn, marking it done or left with a line: each entry is
// on the disk before its change. When the record cannot be written, nothing is changed.
void MakePlannedChanges(const CleanupOptions& options,
                        std::vector<PlannedChange> planned,
                        ChangeLog* log,
                        ChangeRunOutcome* result);
// Finds the target's value below roots and checks it with fix; then plans its
// deletion with its type and bytes recorded exactly, to be made if it still holds
// them. In preview only "[preview] would delete the <what>: ...". Anything else
// is left now, with why.
void PlanValueDeletion(const CleanupOptions& options,
                       const FixTarget& target,
                       const LauncherRegistryRoots& roots,
                       const ValueFix& fix,
                       std::vector<PlannedChange>* plan,
                       ChangeRunOutcome* result);
// Writes a value PlanValueDeletion recorded back, with its type and bytes, when its name is free.
ChangeResult PutDeletedValueBack(const LauncherRegistryRoots& roots, const ChangeEntry& entry);

// ---- Fixing browser policies --------------------------------------------------------

// The policy-value targets: each value deleted (for a list, the one entry) below
// the roots, as PlanValueDeletion plans it, in one batch.
void FixPolicyValues(const CleanupOptions& options,
                     const std::vector<FixTarget>& targets,
                     const PolicyRoots& roots,
                     ChangeLog* log,
                     ChangeRunOutcome* result);
// Why --undo may not put back a policy-value entry, "" when it may: only a value
// below a catalogue browser's policy key, by an administrator.
std::wstring PolicyRefusal(const ChangeEntry& entry);
// Puts the entry's value back below the roots; its state becomes Undone, or Left with why. One line.
void PutBackPolicyEntry(const CleanupOptions& options, std::size_t index, const PolicyRoots& roots, ChangeLog* log);

// ---- Fixing extensions registered by other programs ----------------------------------

// The extension-registration targets: each registration below the roots deleted
// (a Chromium key with all its values, refused when it holds subkeys or more than
// 1,000 values; a Firefox value), recorded exactly first, in one batch.
void FixExtensionRegistrations(const CleanupOptions& options,
                               const std::vector<FixTarget>& targets,
                               const LauncherRegistryRoots& roots,
                               ChangeLog* log,
                               ChangeRunOutcome* result);
// Why --undo may not put back an extension-registration entry, "" when it may.
std::wstring RegistrationRefusal(const ChangeEntry& entry);
// Writes the key or value back below the roots when its place is free; Undone, or Left with why. One line.
void PutBackRegistrationEntry(const CleanupOptions& options,
                              std::size_t index,
                              const LauncherRegistryRoots& roots,
                              ChangeLog* log);
// ---- Writing a browser's settings file anew ----------------------------------------

// What a settings file is before it is rewritten: only a Plain one is.
enum class SettingsFileCheck { Plain, Missing, Link, ReadOnly, Unreadable };
// A file that resolves elsewhere than its own name in its folder is a Link; a
// folder or one that cannot be examined is Unreadable.
SettingsFileCheck CheckSettingsFile(const std::wstring& path);
// "a link", "read-only", ... for a line ("" for Plain).
const wchar_t* SettingsFileCheckText(SettingsFileCheck check);

struct SettingsWrite {
    bool done = false;       // the file holds the bytes; otherwise it is as it was (but see oldFileAt)
    bool inUse = false;      // the swap failed because another program held a file open
    std::wstring oldFileAt;  // where the old file is when it could not go back to its name
    std::wstring left;       // a passing file of the write that could not be removed
};
// Writes the bytes into a new file beside the file, flushed and read back, then
// swaps it in with ReplaceFileKeepingOld; the old file's passing name is removed.
SettingsWrite ReplaceSettingsFile(const std::wstring& file, const std::string& bytes);
// The lines for a write's oldFileAt and left, when there are any.
void NoteSettingsWrite(const CleanupOptions& options, const SettingsWrite& write);

// ---- Start-up, home and search pages of the browsers' own files ------------------------

// The startup-page targets: per Chromium-family profile, the chosen settings
// (FixTarget::startupSettings) removed from Preferences and Secure Preferences
// together (RemoveStartupSettings), each file copied and the bytes written kept
// in the run's folder, the entries recorded before the first file is replaced;
// when the second file cannot be replaced the first gets its old bytes back.
void FixStartupPages(const CleanupOptions& options,
                     const std::vector<FixTarget>& targets,
                     ChangeLog* log,
                     ChangeRunOutcome* result);
// Why --undo may not put back a startup-page entry, "" when it may: a profile's
// Preferences or Secure Preferences of the profile walk, with its copy and the
// bytes written as plain names of the run's folder.
std::wstring StartupPageRefusal(const ChangeEntry& entry, const std::vector<BrowserProfile>& profiles);
// Puts back the old files of the entries, per profile, only when every file of
// the profile still holds the bytes PopSwat wrote; otherwise all are left, with
// a line naming the copies. States become Undone or Left.
void PutBackStartupPages(const CleanupOptions& options, const std::vector<std::size_t>& entries, ChangeLog* log);

// The firefox-prefs targets: per profile folder (FixTarget::location), the
// statements of the targets' names taken out of user.js and prefs.js, each
// file copied and the bytes written kept in the run's folder, one entry per
// statement recorded before the file is replaced.
void FixFirefoxPrefs(const CleanupOptions& options,
                     const std::vector<FixTarget>& targets,
                     ChangeLog* log,
                     ChangeRunOutcome* result);
// Why --undo may not put back a firefox-prefs entry, "" when it may: a user.js
// or prefs.js of a Firefox profile folder, its copies plain names of the run's folder.
std::wstring FirefoxPrefsRefusal(const ChangeEntry& entry);
// Puts the statements back: the old file byte for byte when the file still
// holds what PopSwat wrote, else each statement where the lines around it
// still stand or at the end (said in its line and its why). States become
// Undone, or Left when the file cannot be read or replaced.
void PutBackFirefoxPrefs(const CleanupOptions& options, const std::vector<std::size_t>& entries, ChangeLog* log);

// ---- Moving Firefox's policies.json -----------------------------------------------

// The firefox-policies-file targets fixed: each file (once, however many
// targets name it) moved whole into a folder of the run's when it is still
// distribution\policies.json of one of the install folders and holds what the
// review read (its digest, the target's command); recorded before the move.
void FixFirefoxPoliciesFiles(const CleanupOptions& options,
                             const std::vector<FixTarget>& targets,
                             const PolicyRoots& roots,
                             ChangeLog* log,
                             ChangeRunOutcome* result);
// Why such an entry may not be put back ("" when it may): not the policies.json
// of an install folder of roots, or needs an administrator.
std::wstring FirefoxPoliciesFileRefusal(const ChangeEntry& entry, const PolicyRoots& roots);
// Moves the file back when its name is free (the distribution folder made
// again when it went); else Left, the line naming where the copy is.
void PutBackFirefoxPoliciesFile(const CleanupOptions& options, std::size_t index, ChangeLog* log);
