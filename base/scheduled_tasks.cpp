// The Task Scheduler's tasks through its 2.0 interface (ITaskService), on a
// thread of their own so that a service that does not answer cannot hold up
// the caller: every folder below a starting folder, hidden tasks included, each
// task judged from its definition as XML, all bounded. What cannot be read is
// named and skipped; where the service cannot list, its task files are read.
#include "base/windows_launch_sources.h"

#include <taskschd.h>

#include <memory>
#include <thread>

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

void ReadTask(TaskWalk& walk, IRegisteredTask* registered, const std::wstring& fallbackPath) {
    ScheduledTask task;
    BstrHolder path;
    bool named = SUCCEEDED(registered->get_Path(path.put())) && path.get();
    task.path = named ? path.text() : fallbackPath;
    BstrHolder xml;
    HRESULT result = registered->get_Xml(xml.put());
    if (FAILED(result)) {
        walk.Failed(task.path, L"the task", result);
        return;
    }
    // One reader of the schema for the service's tasks and for task files alike.
    std::wstring text = xml.text();
    std::string bytes("\xFF\xFE");
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    if (!ReadTaskDefinition(bytes, walk.limits, &task, &walk.listing->problems))
        return;
    // A task whose path the service does not give is named by what its definition says.
    if (!named && !task.uri.empty())
        task.path = task.uri;
    VARIANT_BOOL enabled = VARIANT_TRUE;
    if (SUCCEEDED(registered->get_Enabled(&enabled)))
        task.enabled = enabled != VARIANT_FALSE;
    walk.listing->tasks.push_back(std::move(task));
}

// False when the service cannot list the folder's tasks at all (Wine 8 answers E_NOTIMPL).
bool ReadFolderTasks(TaskWalk& walk, ITaskFolder* folder, const std::wstring& path) {
    ComHolder<IRegisteredTaskCollection> tasks;
    LONG count = 0;
    HRESULT got = folder->GetTasks(TASK_ENUM_HIDDEN, tasks.put());
    // Wine 8 gives a collection that cannot count its tasks.
    if (got == E_NOTIMPL || (SUCCEEDED(got) && tasks && tasks->get_Count(&count) == E_NOTIMPL))
        return false;
    if (!CountItems(walk, got, tasks, path, L"its task list", &count))
        return true;
    for (LONG index = 1; index <= count; ++index) {
        if (walk.tasks >= walk.limits.maxTasks) {
            walk.Problem(path, FormatWide(L"only the first %zu tasks were looked at", walk.limits.maxTasks));
            return true;
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
    return true;
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

// What the reading thread hands back. The caller reads the listing only once
// done is set; a caller that gave up leaves it to the thread, which owns a share.
struct ServiceReading {
    UniqueHandle answered{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // connected, or failed to
    UniqueHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    TaskListing listing;
    bool cannotList = false;  // the service answered but cannot list the folder's tasks
};

void ReadThroughService(const std::wstring& folder, const TaskLimits& limits, ServiceReading* reading) {
    TaskListing& listing = reading->listing;
    TaskWalk walk{limits, &listing};
    HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    bool initialised = SUCCEEDED(result);
    ComHolder<ITaskService> service;
    if (SUCCEEDED(result)) {
        if (beforeTaskSchedulerConnect)
            beforeTaskSchedulerConnect();
        result = CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskService),
                                  service.putVoid());
    }
    if (SUCCEEDED(result)) {
        // Empty variants: this computer, the current user.
        VARIANT empty;
        VariantInit(&empty);
        result = service->Connect(empty, empty, empty, empty);
    }
    SetEvent(reading->answered.get());
    ComHolder<ITaskFolder> start;
    if (FAILED(result)) {
        walk.Problem(L"", L"could not be reached (" + Failure(result) + L")");
    } else {
        listing.source = TaskSource::Service;
        BstrHolder name(folder.c_str());
        result = service->GetFolder(name.get(), start.put());
        if (FAILED(result) || !start)
            walk.Failed(folder, L"the folder", result);
        else if (!ReadFolderTasks(walk, start.get(), folder))
            reading->cannotList = true;
        else
            ReadFolder(walk, start.get(), folder, 0);
    }
    start.reset();
    service.reset();
    if (initialised)
        CoUninitialize();
    SetEvent(reading->done.get());
}

}  // namespace

void (*beforeTaskSchedulerConnect)() = nullptr;

TaskListing ReadScheduledTasks(const std::wstring& folder, const std::wstring& filesFolder, const TaskLimits& limits) {
    auto reading = std::make_shared<ServiceReading>();
    TaskLimits copied = limits;
    bool answered = false;
    if (reading->answered && reading->done) {
        // The thread keeps its own share of the reading, so that it may finish after this call gave up on it.
        std::thread([reading, folder, copied] { ReadThroughService(folder, copied, reading.get()); }).detach();
        answered = WaitForSingleObject(reading->answered.get(), limits.answerWithinMs) == WAIT_OBJECT_0;
    }
    if (answered && WaitForSingleObject(reading->done.get(), INFINITE) == WAIT_OBJECT_0 && !reading->cannotList &&
        reading->listing.source == TaskSource::Service)
        return std::move(reading->listing);
    // The service did not answer, could not be reached or cannot list: its files say what it holds.
    TaskListing listing = filesFolder.empty() ? TaskListing() : ReadTaskFiles(folder, filesFolder, limits);
    if (!answered)
        listing.problems.insert(
            listing.problems.begin(),
            {L"", FormatWide(L"did not answer within %lu ms", static_cast<unsigned long>(limits.answerWithinMs))});
    else if (!reading->cannotList)
        listing.problems.insert(listing.problems.begin(), reading->listing.problems.begin(),
                                reading->listing.problems.end());
    return listing;
}
