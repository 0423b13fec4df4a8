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
  <Settings><Hidden>true</Hidden><Enabled>false</Enabled></Settings>
  <Actions Context="Author">
    <Exec><Command>C:\Program Files\Google\Chrome\Application\chrome.exe</Command>
      <Arguments>https://ad.example/</Arguments></Exec>
    <Exec><Command>C:\Windows\notepad.exe</Command></Exec>
  </Actions>
</Task>)";

std::wstring UniqueTaskFolderName() {
    return L"PopSwat-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
}

}  // namespace

TEST(ScheduledTasks, ReadsEveryTaskOfTheRealTaskScheduler) {
    ComApartment apartment;
    ASSERT_TRUE(apartment.ready());
    TaskFolderForTest folder(UniqueTaskFolderName());
    if (FAILED(folder.result()))
        GTEST_SKIP() << "the Task Scheduler cannot be reached: " << Utf8(HresultText(folder.result()));
    ASSERT_EQ(folder.Register(L"Ad", AD_TASK), S_OK);

    LauncherFindings findings;
    FindScheduledTaskLaunchers(folder.path(), TaskLimits(), &findings);
    if (RunningUnderWine()) {
        // Wine 8 keeps no actions or triggers of a registered task and cannot count a folder's tasks.
        ASSERT_EQ(findings.problems.size(), 1u);
        EXPECT_EQ(Utf8(findings.problems[0].where), "Task Scheduler " + Utf8(folder.path()));
        EXPECT_EQ(Utf8(findings.problems[0].why),
                  "its task list could not be read (not supported by this Task Scheduler, 0x80004001)");
        EXPECT_TRUE(findings.launchers.empty());
        return;
    }
    ASSERT_EQ(findings.launchers.size(), 1u);
    const LauncherFinding& ad = findings.launchers[0];
    EXPECT_EQ(ad.kind, LauncherKind::ScheduledTask);
    EXPECT_EQ(Utf8(ad.location), Utf8(folder.path()) + "\\Ad");
    EXPECT_EQ(Utf8(ad.browser) + "|" + Utf8(ad.url), "Google Chrome|https://ad.example/");
    EXPECT_FALSE(ad.enabled);
    EXPECT_EQ(Utf8(ad.trigger), "at log-on; every 30 minutes");
    EXPECT_TRUE(findings.problems.empty());

    TaskListing listing = ReadScheduledTasks(folder.path());
    ASSERT_EQ(listing.tasks.size(), 1u);
    EXPECT_TRUE(listing.tasks[0].hidden);
    EXPECT_EQ(listing.tasks[0].actions.size(), 2u);
}

TEST(ScheduledTasks, NamesWhatCannotBeRead) {
    ComApartment apartment;
    TaskListing listing = ReadScheduledTasks(L"\\PopSwat-no-such-folder-" + UniqueTaskFolderName());
    EXPECT_TRUE(listing.tasks.empty());
    ASSERT_EQ(listing.problems.size(), 1u);
    EXPECT_EQ(Utf8(listing.problems[0].why).rfind("the folder could not be read (", 0), 0u)
        << Utf8(listing.problems[0].why);
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
