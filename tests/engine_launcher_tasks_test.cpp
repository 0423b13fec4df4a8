#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "browsers/launchers.h"
#include "tests/task_folder.h"
#include "tests/test_support.h"

namespace {

const wchar_t AD_TASK[] =
    LR"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Triggers>
    <LogonTrigger><Enabled>true</Enabled></LogonTrigger>
    <TimeTrigger><StartBoundary>2024-01-01T10:00:00</StartBoundary>
      <Repetition><Interval>PT30M</Interval></Repetition></TimeTrigger>
  </Triggers>
  <Settings><Hidden>true</Hidden><Enabled>true</Enabled></Settings>
  <Actions Context="Author">
    <Exec><Command>C:\Program Files\Google\Chrome\Application\chrome.exe</Command>
      <Arguments>https://ad.example/</Arguments></Exec>
    <Exec><Command>C:\Windows\notepad.exe</Command></Exec>
  </Actions>
</Task>)";

// A definition as UTF-8 text, as Wine keeps its task files.
std::string Utf8Task(const std::wstring& xml) {
    std::string text = Utf8(xml);
    std::size_t declared = text.find("UTF-16");
    return declared == std::string::npos ? text : text.replace(declared, 6, "UTF-8");
}

std::wstring UniqueTaskFolderName() {
    return L"PopSwat-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
}

}  // namespace

// A hidden task registered with the real Task Scheduler is found with its
// triggers: listed by the service, or under Wine 8, whose service cannot list
// tasks, read from the file it keeps. The same task turned off starts nothing
// and is no finding.
TEST(ScheduledTasks, FindsAHiddenTaskOfTheRealTaskScheduler) {
    ComApartment apartment;
    ASSERT_TRUE(apartment.ready());
    TaskFolderForTest folder(UniqueTaskFolderName());
    if (FAILED(folder.result()))
        GTEST_SKIP() << "the Task Scheduler cannot be reached: " << Utf8(HresultText(folder.result()));
    const std::wstring off = TaskDefinitionWithEnabled(AD_TASK, false);
    for (const auto& [name, xml] : {std::pair<const wchar_t*, std::wstring>{L"Ad", AD_TASK}, {L"Off", off}}) {
        ASSERT_EQ(folder.Register(name, xml.c_str()), S_OK);
        if (RunningUnderWine()) {
            // Wine 8 keeps a registered task's settings but writes its triggers and
            // actions as empty elements: its file gets the whole definition, as Windows keeps it.
            std::wstring file = SystemTaskFilesFolder() + folder.path() + L"\\" + name;
            ASSERT_NE(ReadWholeFile(file).find("<Hidden>true</Hidden>"), std::string::npos);
            MakeFile(file, "\xEF\xBB\xBF" + Utf8Task(xml));
        }
    }

    LauncherFindings findings;
    FindScheduledTaskLaunchers(folder.path(), SystemTaskFilesFolder(), TaskLimits(), &findings);
    EXPECT_EQ(findings.taskSource, RunningUnderWine() ? TaskSource::Files : TaskSource::Service);
    ASSERT_EQ(findings.launchers.size(), 1u);
    const LauncherFinding& ad = findings.launchers[0];
    EXPECT_EQ(ad.kind, LauncherKind::ScheduledTask);
    EXPECT_EQ(Utf8(ad.location), Utf8(folder.path()) + "\\Ad");
    EXPECT_EQ(Utf8(ad.browser) + "|" + Utf8(ad.url), "Google Chrome|https://ad.example/");
    EXPECT_TRUE(ad.enabled);
    EXPECT_EQ(Utf8(ad.trigger), "at log-on; every 30 minutes");
    EXPECT_TRUE(findings.problems.empty()) << Utf8(findings.problems[0].why);

    TaskListing listing = ReadScheduledTasks(folder.path(), SystemTaskFilesFolder());
    ASSERT_EQ(listing.tasks.size(), 2u);
    for (const ScheduledTask& task : listing.tasks) {
        EXPECT_TRUE(task.hidden);
        EXPECT_EQ(task.actions.size(), 2u);
        EXPECT_EQ(task.enabled, task.path == folder.path() + L"\\Ad");
    }
}

TEST(ScheduledTasks, NamesWhatCannotBeRead) {
    TaskListing listing = ReadScheduledTasks(L"\\PopSwat-no-such-folder-" + UniqueTaskFolderName(), L"");
    EXPECT_TRUE(listing.tasks.empty());
    ASSERT_EQ(listing.problems.size(), 1u);
    EXPECT_EQ(Utf8(listing.problems[0].why).rfind("the folder could not be read (", 0), 0u)
        << Utf8(listing.problems[0].why);
}

namespace {

UniqueHandle g_connectEntered;
UniqueHandle g_connectReleased;

// A Task Scheduler that does not answer until the test lets it.
void HoldConnect() {
    SetEvent(g_connectEntered.get());
    WaitForSingleObject(g_connectReleased.get(), 30000);
}

}  // namespace

// A service that does not answer is given up on after its time, and the files it keeps are read instead.
TEST(ScheduledTasks, ReadsTheTaskFilesWhenTheServiceDoesNotAnswer) {
    Sandbox sandbox;
    MakeFile(sandbox / L"Tasks\\Updater", Utf8Task(AD_TASK));
    g_connectEntered.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_connectReleased.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    beforeTaskSchedulerConnect = HoldConnect;
    TaskLimits limits;
    limits.answerWithinMs = 100;
    TaskListing listing = ReadScheduledTasks(L"\\", sandbox / L"Tasks", limits);
    // The reading thread has taken the seam; it may go on once the test is done with it.
    WaitForSingleObject(g_connectEntered.get(), 30000);
    beforeTaskSchedulerConnect = nullptr;
    SetEvent(g_connectReleased.get());

    EXPECT_EQ(listing.source, TaskSource::Files);
    EXPECT_EQ(Utf8(listing.filesFolder), Utf8(sandbox / L"Tasks"));
    ASSERT_EQ(listing.problems.size(), 1u);
    EXPECT_EQ(Utf8(listing.problems[0].path) + "|" + Utf8(listing.problems[0].why), "|did not answer within 100 ms");
    ASSERT_EQ(listing.tasks.size(), 1u);
    EXPECT_EQ(Utf8(listing.tasks[0].path), "\\Updater");
}

TEST(ComApartment, BalancesOnlyWhatItStarted) {
    {
        ComApartment outer;
        ComApartment inner;
        EXPECT_EQ(outer.result(), S_OK);
        EXPECT_EQ(inner.result(), S_FALSE);
        EXPECT_TRUE(outer.ready() && inner.ready());
    }
    // A thread in the multithreaded apartment can use COM but must not be uninitialised by the holder.
    std::thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        {
            ComApartment apartment;
            EXPECT_EQ(apartment.result(), RPC_E_CHANGED_MODE);
            EXPECT_TRUE(apartment.ready());
        }
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE) << "still initialised once";
        CoUninitialize();
        CoUninitialize();
    }).join();
}

TEST(SystemLauncherSources, NamesTheKnownFolders) {
    SKIP_UNLESS_UNDER_WINE();
    ComApartment apartment;
    LauncherSources sources = SystemLauncherSources();
    std::vector<std::string> ends;
    for (const std::wstring& folder : sources.shortcutFolders)
        ends.push_back(Utf8(folder.substr(folder.find_last_of(L'\\') + 1)));
    EXPECT_EQ(ends, (std::vector<std::string>{"Desktop", "Desktop", "Programs", "Programs", "TaskBar", "StartMenu"}));
    ASSERT_EQ(sources.startupFolders.size(), 2u);
    EXPECT_NE(sources.startupFolders[0], sources.startupFolders[1]);
    EXPECT_EQ(Utf8(sources.taskFolder), "\\");
}
