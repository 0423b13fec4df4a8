// Turning one scheduled task off or on again through the Task Scheduler's 2.0
// interface, on a thread of its own as the reading is, so that a service that
// does not answer cannot hold up the caller. The task's definition is read
// first and compared with the one expected: a task changed since is left.
#include "base/windows_launch_sources.h"

#include <taskschd.h>

#include <memory>
#include <thread>

namespace {

struct TaskCall {
    UniqueHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    TaskEnabling outcome;
};

void Enable(const std::wstring& path, bool enable, const std::wstring& expectedXml, TaskCall* call) {
    TaskEnabling& outcome = call->outcome;
    HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    bool initialised = SUCCEEDED(result);
    {
        ComHolder<ITaskService> service;
        ComHolder<ITaskFolder> root;
        ComHolder<IRegisteredTask> task;
        if (SUCCEEDED(result))
            result = CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskService),
                                      service.putVoid());
        if (SUCCEEDED(result)) {
            VARIANT empty;
            VariantInit(&empty);
            result = service->Connect(empty, empty, empty, empty);
        }
        BstrHolder rootPath(L"\\");
        if (SUCCEEDED(result))
            result = service->GetFolder(rootPath.get(), root.put());
        BstrHolder taskPath(path.c_str());
        if (SUCCEEDED(result)) {
            result = root->GetTask(taskPath.get(), task.put());
            if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
                result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
                outcome.result = TaskEnable::Gone;
        }
        BstrHolder xml;
        if (SUCCEEDED(result) && task)
            result = task->get_Xml(xml.put());
        if (SUCCEEDED(result) && task) {
            outcome.xml = xml.text();
            if (!expectedXml.empty() && outcome.xml != expectedXml) {
                outcome.result = TaskEnable::Changed;
            } else {
                result = task->put_Enabled(enable ? VARIANT_TRUE : VARIANT_FALSE);
                // The service kept what it was told only if the task, asked for again, says so.
                ComHolder<IRegisteredTask> again;
                VARIANT_BOOL now = enable ? VARIANT_FALSE : VARIANT_TRUE;
                BstrHolder after;
                if (SUCCEEDED(result))
                    result = root->GetTask(taskPath.get(), again.put());
                if (SUCCEEDED(result) && again)
                    result = again->get_Enabled(&now);
                if (SUCCEEDED(result) && (now != VARIANT_FALSE) != enable)
                    result = E_UNEXPECTED;
                if (SUCCEEDED(result) && again) {
                    outcome.result = TaskEnable::Done;
                    // The definition names the state too: what an undo finds if nobody changed it.
                    if (SUCCEEDED(again->get_Xml(after.put())))
                        outcome.xmlAfter = after.text();
                }
            }
        }
        outcome.error = result;
    }
    if (initialised)
        CoUninitialize();
    SetEvent(call->done.get());
}

}  // namespace

TaskEnabling SetScheduledTaskEnabled(const std::wstring& path,
                                     bool enable,
                                     const std::wstring& expectedXml,
                                     DWORD answerWithinMs) {
    auto call = std::make_shared<TaskCall>();
    if (!call->done)
        return call->outcome;
    // The thread keeps its own share, so that it may finish after this call gave up on it.
    std::thread([call, path, enable, expectedXml] { Enable(path, enable, expectedXml, call.get()); }).detach();
    if (WaitForSingleObject(call->done.get(), answerWithinMs) != WAIT_OBJECT_0) {
        TaskEnabling late;
        late.result = TaskEnable::NoAnswer;
        return late;
    }
    return call->outcome;
}
