// A scheduled task's definition in the Task Scheduler's XML schema, read with
// Windows' own XmlLite. MinGW has xmllite.h but no import library for it, so
// xmllite.dll is loaded from the system folder once, by its full path.
#include "base/windows_launch_sources.h"

#include <objbase.h>
#include <xmllite.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

// Task definitions nest about six levels; deeper text is no task definition.
constexpr UINT MAX_ELEMENT_DEPTH = 32;
// A value longer than a command line is cut.
constexpr std::size_t MAX_VALUE_CHARS = 32768;

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};

using CreateXmlReaderFunction = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

// CreateXmlReader of the system's xmllite.dll, loaded once; nullptr when it cannot be had.
CreateXmlReaderFunction XmlReaderFactory() {
    static UniqueWinHandle<ModuleTraits> module([] {
        wchar_t system[MAX_PATH];
        UINT length = GetSystemDirectoryW(system, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return HMODULE();
        return LoadLibraryW((std::wstring(system, length) + L"\\xmllite.dll").c_str());
    }());
    if (!module)
        return nullptr;
    return reinterpret_cast<CreateXmlReaderFunction>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), "CreateXmlReader")));
}

// A stream over a copy of the bytes, for the reader.
HRESULT MemoryStream(const std::string& bytes, ComHolder<IStream>* stream) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
    if (!memory)
        return E_OUTOFMEMORY;
    void* at = GlobalLock(memory);
    if (!at) {
        GlobalFree(memory);
        return E_OUTOFMEMORY;
    }
    std::memcpy(at, bytes.data(), bytes.size());
    GlobalUnlock(memory);
    // TRUE: the stream frees the memory when it is released.
    HRESULT result = CreateStreamOnHGlobal(memory, TRUE, stream->put());
    if (FAILED(result))
        GlobalFree(memory);
    else
        (*stream)->SetSize(ULARGE_INTEGER{{static_cast<DWORD>(bytes.size()), 0}});
    return result;
}

std::wstring Trimmed(const std::wstring& text) {
    std::size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos)
        return std::wstring();
    return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

// xs:boolean: "true" or "1".
bool IsTrue(const std::wstring& text) {
    std::wstring value = Trimmed(text);
    return value == L"true" || value == L"1";
}

TriggerKind KindOfElement(const std::wstring& name) {
    if (name == L"LogonTrigger")
        return TriggerKind::LogOn;
    if (name == L"BootTrigger")
        return TriggerKind::Boot;
    if (name == L"TimeTrigger")
        return TriggerKind::Time;
    return TriggerKind::Other;  // a CalendarTrigger is made daily or weekly by its schedule below
}

// What the reader has met so far: the open elements' local names and the text of the innermost.
struct DefinitionReader {
    const TaskLimits& limits;
    ScheduledTask* task;
    std::vector<TaskProblem>* problems;
    std::vector<std::wstring> open{};
    std::wstring text{};
    bool inAction = false;   // inside Task/Actions/Exec, and it was taken
    bool inTrigger = false;  // inside one of Task/Triggers/*, and it was taken
    bool actionsCut = false;
    bool triggersCut = false;

    // The element at depth (Task is 0), or "".
    const std::wstring& At(std::size_t depth) const {
        static const std::wstring none;
        return depth < open.size() ? open[depth] : none;
    }

    void Start(const std::wstring& name) {
        open.push_back(name);
        text.clear();
        if (open.size() == 3 && At(1) == L"Actions" && name == L"Exec") {
            inAction = task->actions.size() < limits.maxActionsPerTask;
            actionsCut |= !inAction;
            if (inAction)
                task->actions.emplace_back();
        } else if (open.size() == 3 && At(1) == L"Triggers") {
            inTrigger = task->triggers.size() < limits.maxTriggersPerTask;
            triggersCut |= !inTrigger;
            if (inTrigger) {
                task->triggers.emplace_back();
                task->triggers.back().kind = KindOfElement(name);
            }
        } else if (inTrigger && open.size() == 4 && At(2) == L"CalendarTrigger") {
            if (name == L"ScheduleByDay")
                task->triggers.back().kind = TriggerKind::Daily;
            else if (name == L"ScheduleByWeek")
                task->triggers.back().kind = TriggerKind::Weekly;
        }
    }

    void End() {
        const std::wstring& name = open.back();
        if (open.size() == 3 && At(1) == L"RegistrationInfo" && name == L"URI") {
            task->uri = Trimmed(text);
        } else if (open.size() == 3 && At(1) == L"Settings") {
            if (name == L"Enabled")
                task->enabled = IsTrue(text);
            else if (name == L"Hidden")
                task->hidden = IsTrue(text);
        } else if (open.size() == 4 && At(1) == L"Principals" && At(2) == L"Principal" &&
                   (name == L"UserId" || name == L"GroupId")) {
            // A task names the account it runs as, or the group for whose members it runs.
            if (task->runsAs.empty() || name == L"UserId") {
                task->runsAs = Trimmed(text);
                task->runsAsGroup = name == L"GroupId";
            }
        } else if (inAction && open.size() == 4) {
            if (name == L"Command")
                task->actions.back().program = Trimmed(text);
            else if (name == L"Arguments")
                task->actions.back().arguments = Trimmed(text);
        } else if (inTrigger && open.size() >= 4) {
            TaskTrigger& trigger = task->triggers.back();
            if (open.size() == 4 && name == L"StartBoundary")
                trigger.start = Trimmed(text);
            else if (open.size() == 4 && name == L"Enabled")
                trigger.enabled = IsTrue(text);
            else if (open.size() == 5 && At(3) == L"Repetition" && name == L"Interval")
                trigger.interval = Trimmed(text);
            else if (open.size() == 5 && At(3) == L"ScheduleByDay" && name == L"DaysInterval")
                trigger.everyDays = static_cast<int>(std::max(1L, std::wcstol(Trimmed(text).c_str(), nullptr, 10)));
        }
        if (open.size() == 3) {
            inAction = inAction && At(1) != L"Actions";
            inTrigger = inTrigger && At(1) != L"Triggers";
        }
        open.pop_back();
        text.clear();
    }
};

}  // namespace

bool ReadTaskDefinition(const std::string& xml,
                        const TaskLimits& limits,
                        ScheduledTask* task,
                        std::vector<TaskProblem>* problems) {
    auto fail = [&](const wchar_t* what, HRESULT result) {
        std::wstring why = what;
        if (result != S_OK)
            why += L" (" + HresultText(result) + L")";
        problems->push_back({task->path, why});
        return false;
    };
    // The service hands out a definition of any size; its files are checked before they are read.
    if (xml.size() > MAX_TASK_FILE_BYTES)
        return fail(L"its definition is larger than 1 MB, not read", S_OK);
    CreateXmlReaderFunction create = XmlReaderFactory();
    if (!create)
        return fail(L"its definition could not be read: XmlLite is missing", HRESULT_FROM_WIN32(GetLastError()));
    ComHolder<IXmlReader> reader;
    ComHolder<IStream> stream;
    HRESULT result = create(__uuidof(IXmlReader), reader.putVoid(), nullptr);
    if (SUCCEEDED(result))
        result = reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
    if (SUCCEEDED(result))
        result = reader->SetProperty(XmlReaderProperty_MaxElementDepth, MAX_ELEMENT_DEPTH);
    if (SUCCEEDED(result))
        result = MemoryStream(xml, &stream);
    if (SUCCEEDED(result))
        result = reader->SetInput(stream.get());
    if (FAILED(result))
        return fail(L"its definition could not be read", result);

    DefinitionReader read{limits, task, problems};
    bool sawTask = false;
    XmlNodeType node = XmlNodeType_None;
    // Every node takes at least one byte of the text. Wine 8's reader gives the
    // last text node of a document cut short again and again, without an end.
    std::size_t nodes = 0;
    while ((result = reader->Read(&node)) == S_OK) {
        if (++nodes > xml.size()) {
            problems->push_back({task->path, L"its definition could not be read as XML (it does not end)"});
            return false;
        }
        const wchar_t* value = nullptr;
        UINT length = 0;
        switch (node) {
            case XmlNodeType_Element: {
                if (FAILED(reader->GetLocalName(&value, &length)))
                    break;
                std::wstring name(value, length);
                if (read.open.empty() && name != L"Task")
                    return fail(L"its definition is no task", S_OK);
                sawTask = true;
                read.Start(name);
                if (reader->IsEmptyElement())
                    read.End();
                break;
            }
            case XmlNodeType_EndElement:
                if (!read.open.empty())
                    read.End();
                break;
            case XmlNodeType_Text:
            case XmlNodeType_CDATA:
                if (SUCCEEDED(reader->GetValue(&value, &length)) && read.text.size() < MAX_VALUE_CHARS)
                    read.text.append(value, std::min<std::size_t>(length, MAX_VALUE_CHARS - read.text.size()));
                break;
            default:
                break;
        }
    }
    if (FAILED(result))
        return fail(L"its definition could not be read as XML", result);
    if (!sawTask)
        return fail(L"its definition is no task", S_OK);
    if (read.actionsCut)
        problems->push_back(
            {task->path, FormatWide(L"only its first %zu actions were looked at", limits.maxActionsPerTask)});
    if (read.triggersCut)
        problems->push_back(
            {task->path, FormatWide(L"only its first %zu triggers were looked at", limits.maxTriggersPerTask)});
    // Exec actions only: an empty command starts nothing.
    std::vector<TaskAction> exec;
    for (TaskAction& action : task->actions) {
        if (!action.program.empty())
            exec.push_back(std::move(action));
    }
    task->actions = std::move(exec);
    return true;
}
