// Reading one scheduled task's definition, and turning the task off or on
// again, through the Task Scheduler's 2.0 interface, on a thread of its own as
// the reading of all tasks is, so that a service that does not answer cannot
// hold up the caller. The definition is read first and compared with the one
// expected: a task changed since is left.
//
// Windows keeps IRegisteredTask::put_Enabled, and the task's get_Xml then says
// <Enabled>false</Enabled> in its Settings. Wine 8 answers put_Enabled with S_OK
// and keeps nothing (get_Enabled, get_Xml and the task's file stay as they
// were), but keeps a definition registered again with TASK_UPDATE: get_Enabled,
// get_Xml and the file under System32\Tasks then all say the task is off. Wine 8
// writes that file (and get_Xml) without the definition's triggers and with
// empty Exec actions, and cannot list a folder's tasks (GetTasks answers
// E_NOTIMPL): there the task's file is the definition that counts, as it is what
// ReadScheduledTasks reads.
#include "base/windows_launch_sources.h"

#include <taskschd.h>

#include <memory>
#include <thread>

namespace {

struct TaskCall {
    UniqueHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    TaskEnabling outcome;
};

std::string DefinitionBytes(const std::wstring& xml) {
    std::string bytes("\xFF\xFE");
    bytes.append(reinterpret_cast<const char*>(xml.data()), xml.size() * sizeof(wchar_t));
    return bytes;
}

bool IsNotFound(HRESULT result) {
    return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

// "\Vendor" of "\Vendor\Updater", "\" of "\Updater".
std::wstring ParentOf(const std::wstring& path) {
    std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos || slash == 0 ? std::wstring(L"\\") : path.substr(0, slash);
}

std::wstring NameOf(const std::wstring& path) {
    std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The service and the task's folder, connected on the calling thread.
struct TaskPlace {
    ComHolder<ITaskService> service;
    ComHolder<ITaskFolder> folder;
    bool cannotList = false;  // the service cannot list the folder's tasks (Wine 8)

    HRESULT Connect(const std::wstring& path) {
        HRESULT result = CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER,
                                          __uuidof(ITaskService), service.putVoid());
        if (SUCCEEDED(result)) {
            VARIANT empty;
            VariantInit(&empty);
            result = service->Connect(empty, empty, empty, empty);
        }
        BstrHolder parent(ParentOf(path).c_str());
        if (SUCCEEDED(result))
            result = service->GetFolder(parent.get(), folder.put());
        if (SUCCEEDED(result)) {
            ComHolder<IRegisteredTaskCollection> tasks;
            LONG count = 0;
            HRESULT listed = folder->GetTasks(TASK_ENUM_HIDDEN, tasks.put());
            cannotList = listed == E_NOTIMPL || (SUCCEEDED(listed) && tasks && tasks->get_Count(&count) == E_NOTIMPL);
        }
        return result;
    }

    HRESULT Task(const std::wstring& path, ComHolder<IRegisteredTask>* task) {
        BstrHolder name(NameOf(path).c_str());
        return folder->GetTask(name.get(), task->put());
    }

    // The definition that counts, as ReadScheduledTasks would read it.
    HRESULT Definition(IRegisteredTask* task,
                       const std::wstring& path,
                       const std::wstring& filesFolder,
                       std::string* bytes) {
        if (cannotList && !filesFolder.empty() &&
            ReadFileBytes(filesFolder + path, MAX_TASK_FILE_BYTES, bytes) == FileRead::Done)
            return S_OK;
        BstrHolder xml;
        HRESULT result = task->get_Xml(xml.put());
        if (SUCCEEDED(result))
            *bytes = DefinitionBytes(xml.text());
        return result;
    }
};

// Registers the definition again, as the user and with the logon type the task was registered with.
HRESULT RegisterAgain(TaskPlace& place, IRegisteredTask* task, const std::wstring& path, const std::wstring& xml) {
    ComHolder<ITaskDefinition> definition;
    ComHolder<IPrincipal> principal;
    BstrHolder user;
    TASK_LOGON_TYPE logon = TASK_LOGON_INTERACTIVE_TOKEN;
    if (SUCCEEDED(task->get_Definition(definition.put())) && definition &&
        SUCCEEDED(definition->get_Principal(principal.put())) && principal) {
        principal->get_UserId(user.put());
        TASK_LOGON_TYPE stated = TASK_LOGON_NONE;
        // Wine 8 gives no logon type: the interactive user's token is what it runs with.
        if (SUCCEEDED(principal->get_LogonType(&stated)) && stated >= TASK_LOGON_NONE &&
            stated <= TASK_LOGON_INTERACTIVE_TOKEN_OR_PASSWORD)
            logon = stated;
    }
    VARIANT empty;
    VariantInit(&empty);
    VARIANT userId = empty;
    if (user.get() && *user.get()) {
        userId.vt = VT_BSTR;
        userId.bstrVal = user.get();
    }
    // The text goes as UTF-16, whatever the file's declaration said.
    std::wstring utf16 = xml;
    std::size_t declared = utf16.compare(0, 5, L"<?xml") == 0 ? utf16.find(L"encoding=") : std::wstring::npos;
    if (declared != std::wstring::npos && declared < utf16.find(L"?>")) {
        std::size_t quote = declared + 9;
        std::size_t end = quote < utf16.size() ? utf16.find(utf16[quote], quote + 1) : std::wstring::npos;
        if (end != std::wstring::npos)
            utf16.replace(quote + 1, end - quote - 1, L"UTF-16");
    }
    BstrHolder name(NameOf(path).c_str());
    BstrHolder text(utf16.c_str());
    ComHolder<IRegisteredTask> registered;
    return place.folder->RegisterTask(name.get(), text.get(), TASK_UPDATE, userId, empty, logon, empty,
                                      registered.put());
}

// Whether the task, asked for again, is in the state wanted; its definition then.
HRESULT CheckState(TaskPlace& place, const TaskChange& change, TaskEnabling* outcome) {
    ComHolder<IRegisteredTask> again;
    VARIANT_BOOL now = change.enable ? VARIANT_FALSE : VARIANT_TRUE;
    HRESULT result = place.Task(change.path, &again);
    if (SUCCEEDED(result) && again)
        result = again->get_Enabled(&now);
    if (SUCCEEDED(result) && (now != VARIANT_FALSE) != change.enable)
        return E_UNEXPECTED;
    if (SUCCEEDED(result) && again)
        result = place.Definition(again.get(), change.path, change.filesFolder, &outcome->definitionAfter);
    return result;
}

void Change(const TaskChange& change, bool readOnly, TaskCall* call) {
    TaskEnabling& outcome = call->outcome;
    HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    bool initialised = SUCCEEDED(result);
    {
        TaskPlace place;
        ComHolder<IRegisteredTask> task;
        if (SUCCEEDED(result))
            result = place.Connect(change.path);
        if (SUCCEEDED(result))
            result = place.Task(change.path, &task);
        if (SUCCEEDED(result) && task)
            result = place.Definition(task.get(), change.path, change.filesFolder, &outcome.definition);
        if (IsNotFound(result)) {
            outcome.result = TaskEnable::Gone;
        } else if (SUCCEEDED(result) && task && readOnly) {
            outcome.result = TaskEnable::Done;
        } else if (SUCCEEDED(result) && task && !change.expected.empty() && outcome.definition != change.expected) {
            outcome.result = TaskEnable::Changed;
        } else if (SUCCEEDED(result) && task) {
            result = task->put_Enabled(change.enable ? VARIANT_TRUE : VARIANT_FALSE);
            if (SUCCEEDED(result))
                result = CheckState(place, change, &outcome);
            if (result == E_UNEXPECTED) {
                std::wstring again = TaskDefinitionWithEnabled(
                    TaskDefinitionText(change.definition.empty() ? outcome.definition : change.definition),
                    change.enable);
                result = again.empty() ? E_UNEXPECTED : RegisterAgain(place, task.get(), change.path, again);
                if (SUCCEEDED(result))
                    result = CheckState(place, change, &outcome);
                outcome.registeredAgain = SUCCEEDED(result);
            }
            if (SUCCEEDED(result))
                outcome.result = TaskEnable::Done;
        }
        outcome.error = result;
    }
    if (initialised)
        CoUninitialize();
    SetEvent(call->done.get());
}

TaskEnabling OnItsOwnThread(const TaskChange& change, bool readOnly) {
    auto call = std::make_shared<TaskCall>();
    if (!call->done)
        return call->outcome;
    // The thread keeps its own share, so that it may finish after this call gave up on it.
    std::thread([call, change, readOnly] { Change(change, readOnly, call.get()); }).detach();
    if (WaitForSingleObject(call->done.get(), change.answerWithinMs) != WAIT_OBJECT_0) {
        TaskEnabling late;
        late.result = TaskEnable::NoAnswer;
        return late;
    }
    return call->outcome;
}

// Where the next element's tag at or after `at` starts, skipping comments; npos for none.
std::size_t NextTag(const std::wstring& text, std::size_t at) {
    for (at = text.find(L'<', at); at != std::wstring::npos; at = text.find(L'<', at + 1)) {
        if (text.compare(at, 4, L"<!--") != 0)
            return at;
        at = text.find(L"-->", at);
        if (at == std::wstring::npos)
            return at;
    }
    return at;
}

// The element's name of the tag at `at` ("Enabled" of "<Enabled>", "/Settings" of "</Settings>").
std::wstring TagName(const std::wstring& text, std::size_t at) {
    std::size_t end = text.find_first_of(L" \t\r\n/>", at + 2);
    return end == std::wstring::npos ? std::wstring() : text.substr(at + 1, end - at - 1);
}

}  // namespace

TaskEnabling ReadScheduledTaskDefinition(const std::wstring& path,
                                         const std::wstring& filesFolder,
                                         DWORD answerWithinMs) {
    TaskChange change;
    change.path = path;
    change.filesFolder = filesFolder;
    change.answerWithinMs = answerWithinMs;
    return OnItsOwnThread(change, true);
}

TaskEnabling SetScheduledTaskEnabled(const TaskChange& change) {
    return OnItsOwnThread(change, false);
}

std::wstring TaskDefinitionWithEnabled(const std::wstring& definition, bool enabled) {
    const std::wstring value = enabled ? L"true" : L"false";
    const std::wstring element = L"<Enabled>" + value + L"</Enabled>";
    std::size_t at = NextTag(definition, 0);
    while (at != std::wstring::npos && TagName(definition, at) != L"Settings")
        at = NextTag(definition, at + 1);
    if (at == std::wstring::npos) {
        // No settings: Windows' defaults, among them enabled.
        std::size_t end = definition.rfind(L"</Task>");
        return end == std::wstring::npos
                   ? std::wstring()
                   : std::wstring(definition).insert(end, L"<Settings>" + element + L"</Settings>");
    }
    std::size_t close = definition.find(L'>', at);
    if (close == std::wstring::npos)
        return std::wstring();
    if (definition[close - 1] == L'/')
        return std::wstring(definition).replace(at, close + 1 - at, L"<Settings>" + element + L"</Settings>");
    // Settings' own Enabled: the first one at its top level.
    int depth = 0;
    for (std::size_t tag = NextTag(definition, close); tag != std::wstring::npos; tag = NextTag(definition, tag + 1)) {
        std::wstring name = TagName(definition, tag);
        std::size_t end = definition.find(L'>', tag);
        if (end == std::wstring::npos)
            return std::wstring();
        bool empty = definition[end - 1] == L'/';
        if (!name.empty() && name[0] == L'/') {
            if (--depth < 0)
                break;
        } else if (depth == 0 && name == L"Enabled") {
            std::size_t endTag = empty ? end + 1 : definition.find(L"</Enabled>", end);
            if (endTag == std::wstring::npos)
                return std::wstring();
            std::size_t after = empty ? end + 1 : endTag + 10;
            return std::wstring(definition).replace(tag, after - tag, element);
        } else if (!empty && !name.empty() && name[0] != L'?' && name[0] != L'!') {
            ++depth;
        }
    }
    // The schema's settings are an xs:all: the element may come first.
    return std::wstring(definition).insert(close + 1, element);
}

std::wstring TaskDefinitionText(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                           static_cast<unsigned char>(bytes[3 + 2 * i]) << 8);
        return text;
    }
    bool bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    return Utf8ToWide(bom ? bytes.substr(3) : bytes);
}
