// A Task Scheduler folder of a test's (or benchmark's) own, with the tasks it
// registers there; all deleted again when the holder goes away. COM must be
// initialised on the calling thread.
#pragma once

#include <taskschd.h>

#include <string>
#include <utility>
#include <vector>

#include "base/windows_launch_sources.h"

class TaskFolderForTest {
public:
    explicit TaskFolderForTest(std::wstring folder) : name_(std::move(folder)) {
        VARIANT empty;
        VariantInit(&empty);
        result_ = CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskService),
                                   service_.putVoid());
        if (SUCCEEDED(result_))
            result_ = service_->Connect(empty, empty, empty, empty);
        BstrHolder rootPath(L"\\");
        if (SUCCEEDED(result_))
            result_ = service_->GetFolder(rootPath.get(), root_.put());
        BstrHolder folderName(name_.c_str());
        if (SUCCEEDED(result_))
            result_ = root_->CreateFolder(folderName.get(), empty, folder_.put());
    }
    ~TaskFolderForTest() {
        if (!folder_)
            return;
        for (const std::wstring& task : tasks_) {
            BstrHolder name(task.c_str());
            folder_->DeleteTask(name.get(), 0);
        }
        BstrHolder name(name_.c_str());
        root_->DeleteFolder(name.get(), 0);
    }

    HRESULT result() const { return result_; }
    std::wstring path() const { return L"\\" + name_; }
    HRESULT Register(const std::wstring& task, const wchar_t* xml) {
        VARIANT empty;
        VariantInit(&empty);
        BstrHolder name(task.c_str());
        BstrHolder text(xml);
        ComHolder<IRegisteredTask> registered;
        HRESULT result = folder_->RegisterTask(name.get(), text.get(), TASK_CREATE_OR_UPDATE, empty, empty,
                                               TASK_LOGON_INTERACTIVE_TOKEN, empty, registered.put());
        if (SUCCEEDED(result))
            tasks_.push_back(task);
        return result;
    }

    HRESULT Delete(const std::wstring& task) {
        BstrHolder name(task.c_str());
        return folder_->DeleteTask(name.get(), 0);
    }

private:
    std::wstring name_;
    HRESULT result_ = E_FAIL;
    ComHolder<ITaskService> service_;
    ComHolder<ITaskFolder> root_;
    ComHolder<ITaskFolder> folder_;
    std::vector<std::wstring> tasks_;
};
