// The Task Scheduler's tasks through its 2.0 interface (ITaskService): every
// folder below a starting folder, hidden tasks included, each task's exec
// actions and triggers, all bounded. What cannot be read is named and skipped.
#include "base/windows_launch_sources.h"

#include <taskschd.h>

namespace {

VARIANT Index(LONG index) {
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_I4;
    variant.lVal = index;
    return variant;
}

// Why a call failed, for a problem's text.
std::wstring Failure(HRESULT result) {
    if (result == E_ACCESSDENIED)
        return L"access denied";
    // Wine 8 answers E_NOTIMPL when asked for the tasks, actions or triggers of a collection.
    if (result == E_NOTIMPL)
        return L"not supported by this Task Scheduler, " + HresultText(result);
    return HresultText(result);
}

TriggerKind KindOf(TASK_TRIGGER_TYPE2 type) {
    switch (type) {
        case TASK_TRIGGER_LOGON:
            return TriggerKind::LogOn;
        case TASK_TRIGGER_BOOT:
            return TriggerKind::Boot;
        case TASK_TRIGGER_TIME:
            return TriggerKind::Time;
        case TASK_TRIGGER_DAILY:
            return TriggerKind::Daily;
        case TASK_TRIGGER_WEEKLY:
            return TriggerKind::Weekly;
        default:
            return TriggerKind::Other;
    }
}

struct TaskWalk {
    const TaskLimits& limits;
    TaskListing* listing;
    std::size_t folders = 0;
    std::size_t tasks = 0;

    void Problem(const std::wstring& path, const std::wstring& why) { listing->problems.push_back({path, why}); }
    void Failed(const std::wstring& path, const wchar_t* what, HRESULT result) {
        Problem(path, std::wstring(what) + L" could not be read (" + Failure(result) + L")");
    }
};

// The number of items in a collection just asked for (got: that call's result,
// read before the holder, which the call filled); false, with a problem, when
// the collection or its count cannot be had.
template <typename Collection>
bool CountItems(TaskWalk& walk,
                HRESULT got,
                const ComHolder<Collection>& collection,
                const std::wstring& path,
                const wchar_t* what,
                LONG* count) {
    HRESULT result = FAILED(got) ? got : !collection ? E_POINTER : collection->get_Count(count);
    if (FAILED(result)) {
        walk.Failed(path, what, result);
        return false;
    }
    return true;
}

void ReadActions(TaskWalk& walk, ITaskDefinition* definition, ScheduledTask* task) {
    ComHolder<IActionCollection> actions;
    LONG count = 0;
    if (!CountItems(walk, definition->get_Actions(actions.put()), actions, task->path, L"its actions", &count))
        return;
    for (LONG index = 1; index <= count; ++index) {
        if (static_cast<std::size_t>(index) > walk.limits.maxActionsPerTask) {
            walk.Problem(task->path,
                         FormatWide(L"only its first %zu actions were looked at", walk.limits.maxActionsPerTask));
            return;
        }
        ComHolder<IAction> action;
        ComHolder<IExecAction> exec;
        TASK_ACTION_TYPE type = TASK_ACTION_EXEC;
        HRESULT result = actions->get_Item(index, action.put());
        if (SUCCEEDED(result))
            result = action->get_Type(&type);
        if (FAILED(result)) {
            walk.Failed(task->path, L"an action", result);
            continue;
        }
        // E-mail and message actions start nothing.
        if (type != TASK_ACTION_EXEC || FAILED(action->QueryInterface(__uuidof(IExecAction), exec.putVoid())))
            continue;
        BstrHolder program;
        BstrHolder arguments;
        exec->get_Path(program.put());
        exec->get_Arguments(arguments.put());
        task->actions.push_back({program.text(), arguments.text()});
    }
}

void ReadTriggers(TaskWalk& walk, ITaskDefinition* definition, ScheduledTask* task) {
    ComHolder<ITriggerCollection> triggers;
    LONG count = 0;
    if (!CountItems(walk, definition->get_Triggers(triggers.put()), triggers, task->path, L"its triggers", &count))
        return;
    for (LONG index = 1; index <= count && static_cast<std::size_t>(index) <= walk.limits.maxTriggersPerTask; ++index) {
        ComHolder<ITrigger> trigger;
        TASK_TRIGGER_TYPE2 type = TASK_TRIGGER_EVENT;
        HRESULT result = triggers->get_Item(index, trigger.put());
        if (SUCCEEDED(result))
            result = trigger->get_Type(&type);
        if (FAILED(result)) {
            walk.Failed(task->path, L"a trigger", result);
            continue;
        }
        TaskTrigger read;
        read.kind = KindOf(type);
        BstrHolder start;
        trigger->get_StartBoundary(start.put());
        read.start = start.text();
        VARIANT_BOOL enabled = VARIANT_TRUE;
        trigger->get_Enabled(&enabled);
        read.enabled = enabled != VARIANT_FALSE;
        ComHolder<IRepetitionPattern> repetition;
        if (SUCCEEDED(trigger->get_Repetition(repetition.put())) && repetition) {
            BstrHolder interval;
            repetition->get_Interval(interval.put());
            read.interval = interval.text();
        }
        ComHolder<IDailyTrigger> daily;
        short days = 1;
        if (SUCCEEDED(trigger->QueryInterface(__uuidof(IDailyTrigger), daily.putVoid())) &&
            SUCCEEDED(daily->get_DaysInterval(&days)))
            read.everyDays = days;
        task->triggers.push_back(std::move(read));
    }
}

void ReadTask(TaskWalk& walk, IRegisteredTask* registered, const std::wstring& fallbackPath) {
    ScheduledTask task;
    BstrHolder path;
    task.path = SUCCEEDED(registered->get_Path(path.put())) ? path.text() : fallbackPath;
    VARIANT_BOOL enabled = VARIANT_TRUE;
    registered->get_Enabled(&enabled);
    task.enabled = enabled != VARIANT_FALSE;
    ComHolder<ITaskDefinition> definition;
    HRESULT result = registered->get_Definition(definition.put());
    if (FAILED(result) || !definition) {
        walk.Failed(task.path, L"the task", result);
        return;
    }
    ComHolder<ITaskSettings> settings;
    VARIANT_BOOL hidden = VARIANT_FALSE;
    if (SUCCEEDED(definition->get_Settings(settings.put())) && settings)
        settings->get_Hidden(&hidden);
    task.hidden = hidden != VARIANT_FALSE;
    ReadActions(walk, definition.get(), &task);
    ReadTriggers(walk, definition.get(), &task);
    walk.listing->tasks.push_back(std::move(task));
}

void ReadFolderTasks(TaskWalk& walk, ITaskFolder* folder, const std::wstring& path) {
    ComHolder<IRegisteredTaskCollection> tasks;
    LONG count = 0;
    if (!CountItems(walk, folder->GetTasks(TASK_ENUM_HIDDEN, tasks.put()), tasks, path, L"its task list", &count))
        return;
    for (LONG index = 1; index <= count; ++index) {
        if (walk.tasks >= walk.limits.maxTasks) {
            walk.Problem(path, FormatWide(L"only the first %zu tasks were looked at", walk.limits.maxTasks));
            return;
        }
        ++walk.tasks;
        ComHolder<IRegisteredTask> task;
        HRESULT result = tasks->get_Item(Index(index), task.put());
        if (FAILED(result) || !task) {
            walk.Failed(path, FormatWide(L"task %ld of its list", static_cast<long>(index)).c_str(), result);
            continue;
        }
        ReadTask(walk, task.get(), path + L"\\#" + std::to_wstring(index));
    }
}

void ReadFolder(TaskWalk& walk, ITaskFolder* folder, const std::wstring& path, int depth) {
    ReadFolderTasks(walk, folder, path);
    ComHolder<ITaskFolderCollection> folders;
    LONG count = 0;
    if (!CountItems(walk, folder->GetFolders(0, folders.put()), folders, path, L"its folder list", &count) ||
        count == 0)
        return;
    if (depth >= walk.limits.maxDepth) {
        walk.Problem(path, FormatWide(L"folders more than %d levels deep were not looked at", walk.limits.maxDepth));
        return;
    }
    for (LONG index = 1; index <= count; ++index) {
        if (walk.folders >= walk.limits.maxFolders) {
            walk.Problem(path, FormatWide(L"only the first %zu folders were looked at", walk.limits.maxFolders));
            return;
        }
        ++walk.folders;
        ComHolder<ITaskFolder> child;
        BstrHolder childPath;
        HRESULT result = folders->get_Item(Index(index), child.put());
        if (SUCCEEDED(result) && child)
            result = child->get_Path(childPath.put());
        if (FAILED(result) || !child) {
            walk.Failed(path, FormatWide(L"folder %ld of its list", static_cast<long>(index)).c_str(), result);
            continue;
        }
        ReadFolder(walk, child.get(), childPath.text(), depth + 1);
    }
}

}  // namespace

TaskListing ReadScheduledTasks(const std::wstring& folder, const TaskLimits& limits) {
    TaskListing listing;
    TaskWalk walk{limits, &listing};
    ComHolder<ITaskService> service;
    HRESULT result = CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskService),
                                      service.putVoid());
    if (SUCCEEDED(result)) {
        // Empty variants: this computer, the current user.
        VARIANT empty;
        VariantInit(&empty);
        result = service->Connect(empty, empty, empty, empty);
    }
    if (FAILED(result)) {
        walk.Problem(L"", L"could not be reached (" + Failure(result) + L")");
        return listing;
    }
    ComHolder<ITaskFolder> start;
    BstrHolder name(folder.c_str());
    result = service->GetFolder(name.get(), start.put());
    if (FAILED(result) || !start) {
        walk.Failed(folder, L"the folder", result);
        return listing;
    }
    ReadFolder(walk, start.get(), folder, 0);
    return listing;
}
