// Windows plumbing for what can start a program: known folders, shortcut files
// (.lnk), the Task Scheduler's tasks and registry values. No browser knowledge
// here; everything is read as stored. A header of its own beside base.h, which
// stays free of Windows headers: these records carry Windows types.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/base.h"
#include "base/win_handles.h"

// ---- Known folders --------------------------------------------------------------------

// The folder's path without verifying that it exists; "" when Windows has no
// such folder. Under Wine, environment variables set by the caller do not move
// known folders, and FOLDERID_UserPinned and FOLDERID_QuickLaunch are unknown.
std::wstring KnownFolderPath(const GUID& folder);

// ---- Shortcut files (.lnk) ------------------------------------------------------------

// Shortcuts are a few KB; the format leaves room for long ID lists and extra
// data blocks, but nothing near this. A larger file is refused before loading.
constexpr std::uint64_t MAX_SHORTCUT_FILE_BYTES = 1024 * 1024;

// The fields of a shortcut as stored. The target is never resolved: a
// shortcut to a missing program, or to another shortcut, reads as it is.
struct ShortcutFields {
    std::wstring target;  // IShellLinkW::GetPath with SLGP_RAWPATH
    std::wstring arguments;
    std::wstring workingFolder;
    std::wstring iconPath;
    int iconIndex = 0;
    WORD hotKey = 0;
    int showCommand = 0;  // Wine 8 reads SW_SHOWNORMAL whatever the file holds
    std::wstring description;
    DWORD flags = 0;     // IShellLinkDataList flags (run as administrator, ...)
    std::string idList;  // the target's item ID list, as bytes
};

bool operator==(const ShortcutFields& a, const ShortcutFields& b);
inline bool operator!=(const ShortcutFields& a, const ShortcutFields& b) {
    return !(a == b);
}

enum class ShortcutRead {
    Done,
    Missing,      // no such file or folder
    NotAFile,     // a folder (a folder named "x.lnk" is no shortcut)
    Link,         // a reparse point: not followed
    TooLarge,     // above MAX_SHORTCUT_FILE_BYTES
    Unreadable,   // could not be examined or opened (access, held without sharing)
    NotAShortcut  // the shell could not load it: corrupt or truncated
};

struct ShortcutReading {
    ShortcutRead result = ShortcutRead::Unreadable;
    HRESULT error = S_OK;  // the failed call's result, when there is one
    ShortcutFields fields;
};

// Reads a shortcut with IShellLinkW and IPersistFile::Load(STGM_READ) after
// checking that the path is a plain file of at most MAX_SHORTCUT_FILE_BYTES.
// COM must be initialised on the calling thread.
ShortcutReading ReadShortcut(const std::wstring& path);

// Reads shortcut bytes held in memory as ReadShortcut reads a file, through
// IShellLinkW and IPersistStream::Load: what the shell would make of a file
// holding them. Done or NotAShortcut; TooLarge above MAX_SHORTCUT_FILE_BYTES.
ShortcutReading ReadShortcutBytes(const std::string& bytes);

// ---- Scheduled tasks -------------------------------------------------------------------

enum class TriggerKind { LogOn, Boot, Time, Daily, Weekly, Other };

struct TaskTrigger {
    TriggerKind kind = TriggerKind::Other;
    std::wstring interval;  // the repetition interval as stored ("PT30M"); "" when it does not repeat
    std::wstring start;     // the start boundary as stored ("2024-01-01T10:00:00")
    int everyDays = 1;      // a daily trigger's days interval
    bool enabled = true;
};

struct TaskAction {
    std::wstring program;  // as stored, environment variables unexpanded
    std::wstring arguments;
};

struct ScheduledTask {
    std::wstring path;  // "\Folder\Name": where the service or its files keep the task
    std::wstring uri;   // RegistrationInfo/URI as the definition states it; "" when it has none
    bool enabled = true;
    bool hidden = false;
    std::vector<TaskAction> actions;  // exec actions only, in order
    std::vector<TaskTrigger> triggers;
    // The principal's UserId (a name or a SID string as stored) or, without
    // one, its GroupId (runsAsGroup); "" when the definition names neither.
    std::wstring runsAs;
    bool runsAsGroup = false;
};

// Something of the Task Scheduler that could not be read: a folder, a task, a
// list, a task's file; or a limit that cut the walk short.
struct TaskProblem {
    std::wstring path;  // the folder or task path; "" for the service itself
    std::wstring why;   // "its task list could not be read (access denied)", "only its first 32 actions were ..."
};

// Task definitions are a few KB; a task's file above this is not read.
constexpr std::size_t MAX_TASK_FILE_BYTES = 1024 * 1024;

struct TaskLimits {
    int maxDepth = 16;
    std::size_t maxFolders = 2000;
    std::size_t maxTasks = 5000;
    std::size_t maxActionsPerTask = 32;
    std::size_t maxTriggersPerTask = 32;
    // How long the Task Scheduler may take to answer at all. One that is not
    // running (or not yet) makes the first call wait for many seconds.
    DWORD answerWithinMs = 2000;
};

enum class TaskSource {
    None,     // neither could be read
    Service,  // the Task Scheduler listed the tasks
    Files     // the service could not list them: read from the files it keeps
};

struct TaskListing {
    std::vector<ScheduledTask> tasks;
    std::vector<TaskProblem> problems;
    TaskSource source = TaskSource::None;
    std::wstring filesFolder;  // the folder of task files read, when source is Files
};

// The folder where the Task Scheduler keeps each task's definition as a file
// (%SystemRoot%\System32\Tasks, one file per task, folders as task folders).
std::wstring SystemTaskFilesFolder();

// One task's definition as the Task Scheduler keeps it, in its XML schema
// (UTF-16 or UTF-8, read by Windows' XmlLite with DTDs refused and the nesting
// bounded): enabled and hidden from its Settings, its Exec actions and its
// triggers, and the path its RegistrationInfo/URI states (which the task's
// file may contradict: where it is kept names it). task->path is the caller's. A limit reached adds a problem and the
// rest is passed over; false, with a problem, for text that is no task definition.
bool ReadTaskDefinition(const std::string& xml,
                        const TaskLimits& limits,
                        ScheduledTask* task,
                        std::vector<TaskProblem>* problems);

// Every task in the folder (a path such as "\" or "\Vendor") and the folders
// below it, hidden ones included, each judged from its definition as XML: through
// Task Scheduler 2.0 (ITaskService, IRegisteredTask::get_Xml) on a thread of its
// own, given limits.answerWithinMs to answer at all. Where the service does not
// answer in time, cannot be reached, or cannot list the folder's tasks (Wine 8
// answers E_NOTIMPL), the task files below filesFolder are read instead, walked
// as shortcut folders are: bounded, never through a link, each file
// size-checked; what cannot be read is named. A folder, task or list that cannot
// be read gives a problem and the walk goes on, and so does each limit reached.
// filesFolder "" reads no files.
TaskListing ReadScheduledTasks(const std::wstring& folder,
                               const std::wstring& filesFolder,
                               const TaskLimits& limits = TaskLimits());

// The task files below filesFolder + folder, as ReadScheduledTasks reads them.
TaskListing ReadTaskFiles(const std::wstring& folder, const std::wstring& filesFolder, const TaskLimits& limits);

// Called, when set, on the reading thread just before it asks for the Task
// Scheduler: a test plays one that does not answer.
extern void (*beforeTaskSchedulerConnect)();

// How reading a task, or turning it off or on, ended.
enum class TaskEnable {
    Done,
    Gone,     // no such task
    Changed,  // its definition is not the one expected: left as it is
    Failed,   // the service refused or could not be reached (error says how)
    NoAnswer  // the service did not answer in time
};

// What turning a task off or on asks for.
struct TaskChange {
    std::wstring path;  // "\Folder\Name"
    bool enable = false;
    // The definition it must still have, as TaskEnabling::definition gives it; "" whatever it is.
    std::string expected;
    std::wstring filesFolder;  // where the service keeps its task files (SystemTaskFilesFolder); "" none
    // What is registered again where the service keeps no put_Enabled: this
    // definition (an undo's, recorded before the task was turned off) with its
    // Settings/Enabled set; "" the task's current one.
    std::string definition;
    DWORD answerWithinMs = 5000;
};

struct TaskEnabling {
    TaskEnable result = TaskEnable::Failed;
    HRESULT error = S_OK;
    // The task's definition before the change and after it (Done only), as
    // bytes ReadTaskDefinition reads: get_Xml as UTF-16 with its byte-order
    // mark, or, where the service cannot list its tasks (Wine 8), the task's
    // file, which is what ReadScheduledTasks reads there.
    std::string definition;
    std::string definitionAfter;
    bool registeredAgain = false;  // put_Enabled kept nothing: the definition was registered again
};

// The task's definition as TaskEnabling::definition gives it (Done, Gone, Failed, NoAnswer).
TaskEnabling ReadScheduledTaskDefinition(const std::wstring& path,
                                         const std::wstring& filesFolder,
                                         DWORD answerWithinMs);

// Turns the task off or on if its definition is still change.expected, and
// checks that the service kept it (the task asked for again says so). First
// IRegisteredTask::put_Enabled, as Windows keeps it; where the service keeps
// nothing (Wine 8 answers S_OK and changes nothing), the definition is
// registered again (TASK_UPDATE, as its principal's user and logon type) with
// Settings/Enabled set: Failed with E_UNEXPECTED when neither was kept. Waits
// at most change.answerWithinMs for the service.
TaskEnabling SetScheduledTaskEnabled(const TaskChange& change);

// The definition (text of the task's XML schema) with its Settings/Enabled set
// to enabled, an element added where there is none; "" when it has neither
// Settings nor an end of its Task element.
std::wstring TaskDefinitionWithEnabled(const std::wstring& definition, bool enabled);
// The definition's bytes as text: UTF-16 with its byte-order mark, else UTF-8.
std::wstring TaskDefinitionText(const std::string& bytes);

// ---- Registry values ------------------------------------------------------------------

// Text of REG_SZ, REG_EXPAND_SZ (unexpanded) and REG_MULTI_SZ data (its strings
// joined by "; "), REG_DWORD and REG_QWORD in decimal; for anything else
// "(<size> bytes of data of type <type>)".
std::wstring RegistryValueText(const BYTE* data, DWORD size, DWORD type);

struct RegistryValue {
    std::wstring name;
    DWORD type = REG_NONE;
    DWORD size = 0;        // bytes of data as stored
    bool tooLong = false;  // more than the reader's limit: text stays ""
    std::wstring text;     // RegistryValueText of the data
};

// Every value of an open key in enumeration order; data above maxBytes is not
// read (tooLong). Stops at the first enumeration error.
std::vector<RegistryValue> ReadRegistryValues(HKEY key, DWORD maxBytes);

enum class RegistryOpen { Done, Missing, Unreadable };

// Opens root\path for reading in the 64-bit view (a path through "WOW6432Node"
// reaches the 32-bit view of HKEY_LOCAL_MACHINE\Software).
RegistryOpen OpenRegistryKeyForReading(HKEY root, const std::wstring& path, UniqueRegistryKey* key);
