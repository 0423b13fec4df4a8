// Turning off a scheduled task that opens a web page and the user's proxy,
// through ApplyFixes and UndoChangeRun: the state before, after the fix and
// after the undo, with what was left and why, the place changed by another
// program between the review and the fix or between the fix and the undo.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <windows.h>

#include "engine/engine_testing.h"
#include "review/review.h"
#include "tests/task_folder.h"
#include "tests/test_support.h"

namespace {

const wchar_t SETTINGS_KEY[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const wchar_t CHROME[] = L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";

std::wstring TaskXml(const std::wstring& arguments, bool enabled = true, const wchar_t* principal = L"") {
    return LR"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>
  <Principals><Principal id="Author">)" +
           std::wstring(principal) +
           LR"(</Principal></Principals>
  <Settings><Enabled>)" +
           (enabled ? L"true" : L"false") +
           LR"(</Enabled></Settings>
  <Actions Context="Author"><Exec><Command>)" +
           CHROME + L"</Command><Arguments>" + arguments +
           LR"(</Arguments></Exec></Actions>
</Task>)";
}

// A user's proxy settings in a key of the test's own and a task folder of its
// own in the real Task Scheduler, reviewed and fixed there.
struct World {
    Sandbox sandbox;
    TemporaryRegistryKey noPolicies{HKEY_CURRENT_USER,
                                    L"Software\\PopSwat-test-tp-none-" + std::to_wstring(GetCurrentProcessId())};
    TemporaryRegistryKey user{HKEY_CURRENT_USER,
                              L"Software\\PopSwat-test-tp-user-" + std::to_wstring(GetCurrentProcessId())};
    TaskFolderForTest* tasks = nullptr;

    LauncherSources Sources() const {
        LauncherSources sources;
        sources.registry = {noPolicies.get(), user.get()};
        if (tasks) {
            sources.taskFolder = tasks->path();
            sources.taskFilesFolder = SystemTaskFilesFolder();
        }
        return sources;
    }
    std::vector<FixTarget> Targets() const {
        return FixTargets(CollectReview({noPolicies.get(), noPolicies.get()}, Sources()));
    }

    void SetValue(const wchar_t* name, DWORD type, const std::string& data) const {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(user.get(), SETTINGS_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
        RegCloseKey(key);
    }
    void SetText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) const {
        SetValue(name, type, std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * 2));
    }
    void SetNumber(const wchar_t* name, DWORD number) const {
        SetValue(name, REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4));
    }
    void Delete(const wchar_t* name) const { RegDeleteKeyValueW(user.get(), SETTINGS_KEY, name); }

    // The task registered; under Wine 8, whose service writes a task's file
    // without its triggers and actions, the file gets the whole definition.
    void PutTask(const std::wstring& name, const std::wstring& xml) const {
        ASSERT_EQ(tasks->Register(name, xml.c_str()), S_OK);
        if (RunningUnderWine()) {
            std::string text = Utf8(xml);
            text.replace(text.find("UTF-16"), 6, "UTF-8");
            MakeFile(SystemTaskFilesFolder() + tasks->path() + L"\\" + name, text);
        }
    }

    // "ProxyEnable=4:01000000 ProxyServer=1:... AutoConfigURL=-" and the task "on", "off" or "gone".
    std::string State() const {
        std::string state;
        for (const wchar_t* name : {L"ProxyEnable", L"ProxyServer", L"AutoConfigURL"}) {
            DWORD type = 0, size = 0;
            std::string data;
            if (RegGetValueW(user.get(), SETTINGS_KEY, name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size) ==
                ERROR_SUCCESS) {
                data.resize(size);
                RegGetValueW(user.get(), SETTINGS_KEY, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &size);
            }
            std::string shown;
            if (type == REG_SZ || type == REG_EXPAND_SZ) {
                shown = Utf8(std::wstring(reinterpret_cast<const wchar_t*>(data.data()), size / 2).c_str());
                shown = shown.size() > 24 ? shown.substr(0, 24) + "..." : shown;
            } else {
                for (unsigned char c : data.substr(0, 8))
                    shown += "0123456789abcdef"[c >> 4], shown += "0123456789abcdef"[c & 15];
            }
            state += Utf8(name) + "=" + (size ? std::to_string(type) + ":" + shown : "-") + " ";
        }
        if (!tasks)
            return state;
        TaskEnabling task = ReadScheduledTaskDefinition(tasks->path() + L"\\Ad", SystemTaskFilesFolder(), 5000);
        ScheduledTask read;
        std::vector<TaskProblem> problems;
        if (task.result != TaskEnable::Done)
            return state + "task gone";
        return state + (ReadTaskDefinition(task.definition, TaskLimits(), &read, &problems) && read.enabled
                            ? "task on"
                            : "task off");
    }
};

// What one row's fix and undo made of the world.
struct Verdict {
    std::string before, afterFix, afterUndo;
    std::size_t targets = 0;         // what the review offers to fix
    bool recommended = false;        // ... with --fix alone (the first)
    std::wstring fixLeft, undoLeft;  // why the fix and the undo left it ("" when they did not)
    bool namedAfterFix = false;      // the review still offers a fix of it

    bool operator==(const Verdict& o) const {
        return before == o.before && afterFix == o.afterFix && afterUndo == o.afterUndo && targets == o.targets &&
               recommended == o.recommended && fixLeft == o.fixLeft && undoLeft == o.undoLeft &&
               namedAfterFix == o.namedAfterFix;
    }
};

void PrintTo(const Verdict& v, std::ostream* out) {
    *out << "{before " << v.before << "| after fix " << v.afterFix << "| after undo " << v.afterUndo << "| targets "
         << v.targets << ", recommended " << v.recommended << ", fix left '" << Utf8(v.fixLeft) << "', undo left '"
         << Utf8(v.undoLeft) << "', named after fix " << v.namedAfterFix << "}";
}

using Step = std::function<void(World&)>;

struct Row {
    const char* name;
    Step make;        // the state the review sees
    Step beforeFix;   // another program, between the review and the fix
    Step beforeUndo;  // another program, between the fix and the undo
    Verdict expected;
};

std::wstring Why(const std::vector<std::pair<std::string, std::wstring>>& left) {
    std::wstring why;
    for (const auto& one : left)
        why += (why.empty() ? L"" : L"; ") + one.second;
    return why;
}

// Reviews, fixes every target offered, reviews again, undoes the run.
Verdict Judge(World& world, const Row& row) {
    Verdict verdict;
    row.make(world);
    verdict.before = world.State();
    std::vector<FixTarget> targets = world.Targets();
    verdict.targets = targets.size();
    verdict.recommended = !targets.empty() && targets[0].recommended;
    std::vector<std::wstring> lines;
    // A dry run changes nothing and records nothing.
    ChangeRunOutcome preview = ApplyFixes(CapturingOptions(&lines, true), targets, FixPlaces{world.Sources()});
    EXPECT_EQ(world.State(), verdict.before);
    EXPECT_EQ(preview.done, targets.size());
    EXPECT_TRUE(preview.folder.empty());
    if (row.beforeFix)
        row.beforeFix(world);
    ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), targets, FixPlaces{world.Sources()});
    verdict.fixLeft = Why(fixed.left);
    verdict.afterFix = world.State();
    verdict.namedAfterFix = !world.Targets().empty();
    if (row.beforeUndo)
        row.beforeUndo(world);
    if (!fixed.folder.empty()) {
        std::vector<ChangeRunSummary> runs = ListChangeRuns();
        ChangeRunOutcome undone = UndoChangeRun(CapturingOptions(&lines), runs.back(), FixPlaces{world.Sources()});
        verdict.undoLeft = Why(undone.left);
    }
    verdict.afterUndo = world.State();
    return verdict;
}

const char NO_PROXY[] = "ProxyEnable=- ProxyServer=- AutoConfigURL=- ";
const char PROXY_ON[] = "ProxyEnable=4:01000000 ProxyServer=1:10.0.0.1:8080 AutoConfigURL=- ";
const char PROXY_OFF[] = "ProxyEnable=4:00000000 ProxyServer=1:10.0.0.1:8080 AutoConfigURL=- ";
const char SCRIPT[] = "ProxyEnable=- ProxyServer=- AutoConfigURL=1:http://wpad.example/prox... ";

void ProxyOn(World& world) {
    world.SetNumber(L"ProxyEnable", 1);
    world.SetText(L"ProxyServer", L"10.0.0.1:8080");
}

void Script(World& world) {
    world.SetText(L"AutoConfigURL", L"http://wpad.example/proxy.pac");
}

}  // namespace

// The proxy: ProxyEnable to 0 and AutoConfigURL deleted, each only as reviewed;
// put back with its type and bytes where nobody changed it since. Never
// recommended: an organisation may have set it.
TEST(FixRun, TheProxyIsTurnedOffAndPutBackAsItWas) {
    const std::wstring bigUrl = L"http://" + std::wstring(1024 * 1024, L'a');
    const Row rows[] = {
        {"a proxy server", ProxyOn, nullptr, nullptr, {PROXY_ON, PROXY_OFF, PROXY_ON, 1, false, L"", L"", false}},
        {"a proxy script", Script, nullptr, nullptr, {SCRIPT, NO_PROXY, SCRIPT, 1, false, L"", L"", false}},
        {"an expandable script",
         [](World& w) { w.SetText(L"AutoConfigURL", L"%WPAD%/proxy.pac", REG_EXPAND_SZ); },
         nullptr,
         nullptr,
         {"ProxyEnable=- ProxyServer=- AutoConfigURL=2:%WPAD%/proxy.pac ", NO_PROXY,
          "ProxyEnable=- ProxyServer=- AutoConfigURL=2:%WPAD%/proxy.pac ", 1, false, L"", L"", false}},
        {"a server turned off since the review",
         ProxyOn,
         [](World& w) { w.SetNumber(L"ProxyEnable", 0); },
         nullptr,
         {PROXY_ON, PROXY_OFF, PROXY_OFF, 1, false, L"it is no longer in use", L"", false}},
        {"another server since the review",
         ProxyOn,
         [](World& w) { w.SetText(L"ProxyServer", L"10.0.0.2:80"); },
         nullptr,
         {PROXY_ON, "ProxyEnable=4:01000000 ProxyServer=1:10.0.0.2:80 AutoConfigURL=- ",
          "ProxyEnable=4:01000000 ProxyServer=1:10.0.0.2:80 AutoConfigURL=- ", 1, false,
          L"it has changed since the review", L"", true}},
        {"a script of another type since the review",
         Script,
         [](World& w) { w.SetValue(L"AutoConfigURL", REG_BINARY, "http:"); },
         nullptr,
         {SCRIPT, "ProxyEnable=- ProxyServer=- AutoConfigURL=3:687474703a ",
          "ProxyEnable=- ProxyServer=- AutoConfigURL=3:687474703a ", 1, false, L"it has changed since the review", L"",
          false}},
        {"a script of 2 MB since the review",
         Script,
         [&](World& w) { w.SetText(L"AutoConfigURL", bigUrl); },
         nullptr,
         {SCRIPT, "ProxyEnable=- ProxyServer=- AutoConfigURL=1:http://aaaaaaaaaaaaaaaaa... ",
          "ProxyEnable=- ProxyServer=- AutoConfigURL=1:http://aaaaaaaaaaaaaaaaa... ", 1, false,
          L"is too long (2097168 bytes)", L"", false}},
        {"a script deleted since the review",
         Script,
         [](World& w) { w.Delete(L"AutoConfigURL"); },
         nullptr,
         {SCRIPT, NO_PROXY, NO_PROXY, 1, false, L"it is no longer there", L"", false}},
        {"a proxy turned on again since the fix",
         ProxyOn,
         nullptr,
         [](World& w) { w.SetNumber(L"ProxyEnable", 2); },
         {PROXY_ON, PROXY_OFF, "ProxyEnable=4:02000000 ProxyServer=1:10.0.0.1:8080 AutoConfigURL=- ", 1, false, L"",
          L"it has changed since the fix", false}},
        {"another script since the fix",
         Script,
         nullptr,
         [](World& w) { w.SetText(L"AutoConfigURL", L"http://mine/"); },
         {SCRIPT, NO_PROXY, "ProxyEnable=- ProxyServer=- AutoConfigURL=1:http://mine/ ", 1, false, L"",
          L"holds another value now", false}},
        {"a proxy server and a script at once",
         [](World& w) {
             ProxyOn(w);
             Script(w);
         },
         nullptr,
         nullptr,
         {"ProxyEnable=4:01000000 ProxyServer=1:10.0.0.1:8080 AutoConfigURL=1:http://wpad.example/prox... ", PROXY_OFF,
          "ProxyEnable=4:01000000 ProxyServer=1:10.0.0.1:8080 AutoConfigURL=1:http://wpad.example/prox... ", 2, false,
          L"", L"", false}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        World world;
        EXPECT_EQ(Judge(world, row), row.expected);
    }
}

// A scheduled task: turned off, not deleted, and on again; left where it
// changed or went between the review and the fix, or changed before the undo.
TEST(FixRunTasks, ATaskIsTurnedOffAndOnAgainAsItWas) {
    ComApartment apartment;
    ASSERT_TRUE(apartment.ready());
    const std::wstring ad = L"--no-first-run https://task-ad.example/";
    const std::string on = std::string(NO_PROXY) + "task on", off = std::string(NO_PROXY) + "task off",
                      gone = std::string(NO_PROXY) + "task gone";
    const Row rows[] = {
        {"a task that opens a page",
         [&](World& w) { w.PutTask(L"Ad", TaskXml(ad)); },
         nullptr,
         nullptr,
         {on, off, on, 1, true, L"", L"", false}},
        {"a task turned off already is no finding",
         [&](World& w) { w.PutTask(L"Ad", TaskXml(ad, false)); },
         nullptr,
         nullptr,
         {off, off, off, 0, false, L"", L"", false}},
        {"a task given other arguments since the review",
         [&](World& w) { w.PutTask(L"Ad", TaskXml(ad)); },
         [&](World& w) { w.PutTask(L"Ad", TaskXml(L"https://mine.example/")); },
         nullptr,
         {on, on, on, 1, true, L"it has changed since the review", L"", true}},
        {"a task deleted since the review",
         [&](World& w) { w.PutTask(L"Ad", TaskXml(ad)); },
         [&](World& w) { w.tasks->Delete(L"Ad"); },
         nullptr,
         {on, gone, gone, 1, true, L"it is no longer there", L"", false}},
        {"a task registered again since the fix",
         [&](World& w) { w.PutTask(L"Ad", TaskXml(ad)); },
         nullptr,
         [&](World& w) { w.PutTask(L"Ad", TaskXml(L"https://mine.example/", false)); },
         {on, off, off, 1, true, L"", L"it has changed since the fix", false}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TaskFolderForTest folder(L"PopSwat-fix-task-" + std::to_wstring(GetCurrentProcessId()));
        if (FAILED(folder.result()))
            GTEST_SKIP() << "the Task Scheduler cannot be reached: " << Utf8(HresultText(folder.result()));
        World world;
        world.tasks = &folder;
        EXPECT_EQ(Judge(world, row), row.expected);
        folder.Delete(L"Ad");
    }
}

// A task of another account, or of Windows' own, is not tried without an
// administrator (under Wine every process is one: the seam plays the other answer).
TEST(FixRunTasks, ATaskOfAnotherAccountNeedsAnAdministrator) {
    ComApartment apartment;
    ASSERT_TRUE(apartment.ready());
    TaskFolderForTest folder(L"PopSwat-fix-system-" + std::to_wstring(GetCurrentProcessId()));
    if (FAILED(folder.result()))
        GTEST_SKIP() << "the Task Scheduler cannot be reached: " << Utf8(HresultText(folder.result()));
    World world;
    world.tasks = &folder;
    world.PutTask(L"Ad", TaskXml(L"https://task-ad.example/", true, L"<UserId>S-1-5-18</UserId>"));
    bool (*elevated)() = isProcessElevated;
    isProcessElevated = [] { return false; };
    ReviewFindings review = CollectReview({world.noPolicies.get(), world.noPolicies.get()}, world.Sources());
    std::vector<std::wstring> lines;
    ChangeRunOutcome outcome = ApplyFixes(CapturingOptions(&lines), FixTargets(review), FixPlaces{world.Sources()});
    bool administrator = !review.launchers.empty() && FixFor(review.launchers[0]).administrator;
    isProcessElevated = elevated;
    ASSERT_EQ(review.launchers.size(), 1u);
    EXPECT_EQ(review.launchers[0].runsAs, L"S-1-5-18");
    EXPECT_TRUE(administrator);
    EXPECT_EQ(outcome.left,
              (std::vector<std::pair<std::string, std::wstring>>{{"scheduled-task", L"needs an administrator"}}));
    EXPECT_TRUE(outcome.folder.empty());
    EXPECT_EQ(world.State(), std::string(NO_PROXY) + "task on");

    // Whose task it is, as its principal says.
    EXPECT_FALSE(TaskNeedsElevation(L"\\Vendor\\Ad", L"", false));
    EXPECT_TRUE(TaskNeedsElevation(L"\\Vendor\\Ad", L"S-1-5-32-545", true));
    EXPECT_TRUE(TaskNeedsElevation(L"\\Microsoft\\Windows\\Ad", L"", false));
    EXPECT_TRUE(TaskNeedsElevation(L"\\Vendor\\Ad", L"someone-else", false));
}

// The record is read as any file from the disk: an entry that names no task's
// path or holds no task's definition turns no task on; the right one does.
TEST(FixRunTasks, AnUndoTurnsOnOnlyATaskTheRecordRightlyNames) {
    ComApartment apartment;
    ASSERT_TRUE(apartment.ready());
    TaskFolderForTest folder(L"PopSwat-fix-record-" + std::to_wstring(GetCurrentProcessId()));
    if (FAILED(folder.result()))
        GTEST_SKIP() << "the Task Scheduler cannot be reached: " << Utf8(HresultText(folder.result()));
    World world;
    world.tasks = &folder;
    world.PutTask(L"Ad", TaskXml(L"https://task-ad.example/"));
    std::vector<std::wstring> lines;
    ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), world.Targets(), FixPlaces{world.Sources()});
    ASSERT_EQ(fixed.done, 1u);
    const ChangeEntry made = fixed.record.changes[0];
    const struct {
        const char* name;
        std::function<void(ChangeEntry*)> edit;
        const wchar_t* refusal;
    } rows[] = {
        {"a path through ..", [](ChangeEntry* e) { e->location = L"\\Vendor\\..\\" + e->location.substr(1); },
         L"not a scheduled task's path"},
        {"a relative path", [](ChangeEntry* e) { e->location = e->location.substr(1); },
         L"not a scheduled task's path"},
        {"no task's definition", [](ChangeEntry* e) { e->taskDefinition = "<Job/>"; }, L"its definition is no task's"},
        {"as the fix wrote it", [](ChangeEntry*) {}, L""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ChangeRecord record = fixed.record;
        record.changes[0] = made;
        row.edit(&record.changes[0]);
        std::wstring file = fixed.folder + L"\\changes.json";
        DeleteFileW(file.c_str());
        MakeFile(file, ChangeRecordJson(record));
        std::vector<ChangeRunSummary> runs = ListChangeRuns();
        ASSERT_FALSE(runs.empty());
        ChangeRunOutcome undone = UndoChangeRun(CapturingOptions(&lines), runs.back(), FixPlaces{world.Sources()});
        EXPECT_EQ(Why(undone.left), row.refusal);
        EXPECT_EQ(world.State(), std::string(NO_PROXY) + (*row.refusal ? "task off" : "task on"));
    }
}
