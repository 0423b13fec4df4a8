// A scheduled task that opens a web page, turned off (never deleted) and on
// again. Its definition is recorded before the change; the change is made only
// while the task is still on and still runs the command the review judged, and
// the undo turns it on only while it is as the fix left it. Registry and task
// changes need no browser closed.
#include "engine/engine_parts.h"

#include <sddl.h>

namespace {

constexpr DWORD TASK_ANSWER_MS = 5000;
const char KIND[] = "scheduled-task";

std::wstring WhyNot(const TaskEnabling& outcome) {
    switch (outcome.result) {
        case TaskEnable::Gone:
            return L"it is no longer there";
        case TaskEnable::NoAnswer:
            return L"the Task Scheduler did not answer";
        case TaskEnable::Failed:
            return L"the Task Scheduler refused (" + HresultText(outcome.error) + L")";
        case TaskEnable::Changed:
        case TaskEnable::Done:
            break;
    }
    return L"it has changed since the review";
}

bool ReadDefinition(const std::string& definition, ScheduledTask* task) {
    std::vector<TaskProblem> problems;
    return ReadTaskDefinition(definition, TaskLimits(), task, &problems);
}

// A task the review judged: on, with an exec action of the command it named.
bool StillAsReviewed(const ScheduledTask& task, const std::wstring& command) {
    if (!task.enabled)
        return false;
    for (const TaskAction& action : task.actions) {
        if (JoinCommand(action.program, action.arguments) == command)
            return true;
    }
    return false;
}

bool SameActions(const ScheduledTask& a, const ScheduledTask& b) {
    if (a.actions.size() != b.actions.size())
        return false;
    for (std::size_t i = 0; i < a.actions.size(); ++i) {
        if (a.actions[i].program != b.actions[i].program || a.actions[i].arguments != b.actions[i].arguments)
            return false;
    }
    return true;
}

// "\Folder\Name": no empty, "." or ".." part, no forward slash.
bool IsTaskPath(const std::wstring& path) {
    if (path.size() < 2 || path[0] != L'\\' || path.find(L'/') != std::wstring::npos)
        return false;
    for (std::size_t start = 1; start <= path.size();) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        std::wstring_view part(path.data() + start, end - start);
        if (part.empty() || part == L"." || part == L"..")
            return false;
        start = end + 1;
    }
    return true;
}

// The SID string, the name and DOMAIN\name of the process's user.
std::vector<std::wstring> CurrentUserNames() {
    std::vector<std::wstring> names;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return names;
    UniqueHandle holder(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
        return names;
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    wchar_t* text = nullptr;
    if (ConvertSidToStringSidW(sid, &text)) {
        names.push_back(text);
        LocalFree(text);
    }
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        names.push_back(name);
        names.push_back(std::wstring(domain) + L"\\" + name);
    }
    return names;
}

// Where the task's entry may not be put back; "" when it may.
std::wstring Refusal(const ChangeEntry& entry, ScheduledTask* recorded) {
    if (!IsTaskPath(entry.location))
        return L"not a scheduled task's path";
    if (!ReadDefinition(entry.taskDefinition, recorded))
        return L"its definition is no task's";
    return NeedsAdministrator(TaskNeedsElevation(entry.location, recorded->runsAs, recorded->runsAsGroup))
               ? L"needs an administrator"
               : L"";
}

void FixScheduledTask(const CleanupOptions& options,
                      const FixTarget& target,
                      const LauncherSources& sources,
                      ChangeLog* log,
                      ChangeRunOutcome* result) {
    const std::wstring& path = target.location;
    if (!IsTaskPath(path))
        return LeaveTarget(options, KIND, path, L"not a scheduled task's path", result);
    TaskEnabling read = ReadScheduledTaskDefinition(path, sources.taskFilesFolder, TASK_ANSWER_MS);
    if (read.result != TaskEnable::Done)
        return LeaveTarget(options, KIND, path, WhyNot(read), result);
    ScheduledTask task;
    if (!ReadDefinition(read.definition, &task) || !StillAsReviewed(task, target.command))
        return LeaveTarget(options, KIND, path, L"it has changed since the review", result);
    if (NeedsAdministrator(TaskNeedsElevation(path, task.runsAs, task.runsAsGroup)))
        return LeaveTarget(options, KIND, path, L"needs an administrator", result);
    if (options.preview) {
        ++result->done;
        return WriteLine(options, L"  [preview] would turn off the scheduled task: " + MaskUnsafeCharacters(path));
    }
    ChangeEntry entry;
    entry.findingId = target.findingId;
    entry.kind = KIND;
    entry.location = path;
    entry.taskDefinition = read.definition;
    std::size_t index = log->record.changes.size();
    if (!RecordPending(log, {std::move(entry)}))
        return LeaveTarget(options, KIND, path, L"the record of changes could not be written", result);
    TaskChange change;
    change.path = path;
    change.enable = false;
    change.expected = read.definition;
    change.filesFolder = sources.taskFilesFolder;
    change.answerWithinMs = TASK_ANSWER_MS;
    TaskEnabling off = SetScheduledTaskEnabled(change);
    if (off.result != TaskEnable::Done) {
        MarkChange(log, index, ChangeState::Left, WhyNot(off));
        return LeaveTarget(options, KIND, path, WhyNot(off), result);
    }
    // What the undo must find to turn it on again.
    log->record.changes[index].taskDefinitionAfter = off.definitionAfter;
    MarkChange(log, index, ChangeState::Done);
    ++result->done;
    WriteLine(options, L"  scheduled task turned off: " + MaskUnsafeCharacters(path));
}

}  // namespace

bool TaskNeedsElevation(const std::wstring& path, const std::wstring& runsAs, bool runsAsGroup) {
    // Windows' own tasks, below \Microsoft, are the system's.
    if (StartsWithIgnoringAsciiCase(path, L"\\Microsoft\\"))
        return true;
    // A task that names no principal runs as whoever registered it; one for a
    // group's members is every member's.
    if (runsAs.empty())
        return false;
    if (runsAsGroup)
        return true;
    static const std::vector<std::wstring> names = CurrentUserNames();
    for (const std::wstring& name : names) {
        if (EqualsIgnoringAsciiCase(name, runsAs))
            return false;
    }
    return true;
}

void FixScheduledTasks(const CleanupOptions& options,
                       const std::vector<FixTarget>& targets,
                       const LauncherSources& sources,
                       ChangeLog* log,
                       ChangeRunOutcome* result) {
    bool any = false;
    for (const FixTarget& target : targets) {
        if (!target.kind || std::string_view(target.kind->name) != KIND)
            continue;
        if (!any)
            WriteLine(options, L"Turning off scheduled tasks that open web pages...");
        any = true;
        FixScheduledTask(options, target, sources, log, result);
    }
}

std::wstring TaskRefusal(const ChangeEntry& entry) {
    ScheduledTask recorded;
    return Refusal(entry, &recorded);
}

void PutBackTaskEntry(const CleanupOptions& options,
                      std::size_t index,
                      const LauncherSources& sources,
                      ChangeLog* log) {
    const ChangeEntry& entry = log->record.changes[index];
    std::wstring path = entry.location;
    auto left = [&](const std::wstring& why) {
        MarkChange(log, index, ChangeState::Left, why);
        WriteLine(options, L"  left as it is (" + why + L"): " + MaskUnsafeCharacters(path));
    };
    ScheduledTask recorded, current;
    if (!Refusal(entry, &recorded).empty())
        return left(Refusal(entry, &recorded));
    TaskEnabling now = ReadScheduledTaskDefinition(path, sources.taskFilesFolder, TASK_ANSWER_MS);
    if (now.result != TaskEnable::Done)
        return left(WhyNot(now));
    // A run stopped before the change left the task as it was.
    if (now.definition == entry.taskDefinition) {
        MarkChange(log, index, ChangeState::Undone);
        return WriteLine(options, L"  scheduled task is on as it was: " + MaskUnsafeCharacters(path));
    }
    // A run stopped between the change and its record's next write left no
    // definition after: the task, off with the same actions, is as the fix left it.
    bool stoppedAfterChange = entry.taskDefinitionAfter.empty() && ReadDefinition(now.definition, &current) &&
                              !current.enabled && SameActions(recorded, current);
    if (!stoppedAfterChange &&
        (now.definition != entry.taskDefinitionAfter || !ReadDefinition(now.definition, &current)))
        return left(L"it has changed since the fix");
    TaskChange change;
    change.path = path;
    change.enable = true;
    change.expected = now.definition;
    change.filesFolder = sources.taskFilesFolder;
    // Registered again, where the service needs it, only as it was: never with
    // a program the task does not run now.
    if (SameActions(recorded, current))
        change.definition = entry.taskDefinition;
    change.answerWithinMs = TASK_ANSWER_MS;
    TaskEnabling on = SetScheduledTaskEnabled(change);
    if (on.result == TaskEnable::Changed)
        return left(L"it has changed since the fix");
    if (on.result != TaskEnable::Done)
        return left(WhyNot(on));
    MarkChange(log, index, ChangeState::Undone);
    WriteLine(options, L"  scheduled task turned on again: " + MaskUnsafeCharacters(path));
}
