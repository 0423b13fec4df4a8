#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "review/review.h"
#include "tests/review_report_lines.h"
#include "tests/task_folder.h"
#include "tests/test_support.h"

namespace {

const wchar_t HIDDEN_TASK[] =
    LR"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Triggers><LogonTrigger><Repetition><Interval>PT2H</Interval></Repetition></LogonTrigger></Triggers>
  <Settings><Hidden>true</Hidden></Settings>
  <Actions Context="Author">
    <Exec><Command>C:\Program Files\Microsoft\Edge\Application\msedge.exe</Command>
      <Arguments>--no-first-run https://hidden-task.example/</Arguments></Exec>
  </Actions>
</Task>)";

}  // namespace

// A hidden task registered with the real Task Scheduler, in a folder of the
// test's own, shows in the review's report with its trigger, and the report says
// where the tasks were read from when the service could not list them (Wine 8).
TEST(ScheduledTasks, TheReviewListsAHiddenTaskWithItsTrigger) {
    Sandbox sandbox;
    ComApartment apartment;
    ASSERT_TRUE(apartment.ready());
    TaskFolderForTest folder(L"PopSwat-review-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(GetTickCount64()));
    if (FAILED(folder.result()))
        GTEST_SKIP() << "the Task Scheduler cannot be reached: " << Utf8(HresultText(folder.result()));
    ASSERT_EQ(folder.Register(L"Hidden", HIDDEN_TASK), S_OK);
    std::wstring file = SystemTaskFilesFolder() + folder.path() + L"\\Hidden";
    if (RunningUnderWine()) {
        // Wine 8 writes the task's file, with its settings, but leaves its
        // triggers and actions empty: the file gets the whole definition.
        ASSERT_NE(ReadWholeFile(file).find("<Hidden>true</Hidden>"), std::string::npos);
        std::string text = Utf8(HIDDEN_TASK);
        text.replace(text.find("UTF-16"), 6, "UTF-8");
        MakeFile(file, text);
    }

    TemporaryRegistryKey noPolicies(HKEY_CURRENT_USER,
                                    L"Software\\PopSwat-test-" + std::to_wstring(GetCurrentProcessId()));
    LauncherSources sources;
    sources.taskFolder = folder.path();
    sources.taskFilesFolder = SystemTaskFilesFolder();
    ReviewFindings review = CollectReview({noPolicies.get(), noPolicies.get()}, sources);
    std::vector<std::wstring> lines;
    WriteReviewReport(CapturingOptions(&lines), review);
    for (std::wstring& line : lines)
        line = WithoutFindingIds(line);

    std::wstring found = L"  [scheduled task] " + folder.path() +
                         L"\\Hidden: Microsoft Edge opens https://hidden-task.example/ (enabled; at log-on, then "
                         L"every 2 hours)";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), found), 1) << Utf8(found);
    std::wstring source = L"  (Scheduled tasks were read from their files in " + SystemTaskFilesFolder() +
                          L": the Task Scheduler could not list them.)";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), source), RunningUnderWine() ? 1 : 0);
    EXPECT_TRUE(review.launcherProblems.empty()) << Utf8(review.launcherProblems[0].why);
    ASSERT_EQ(review.launchers.size(), 1u);
    EXPECT_EQ(review.taskSource, RunningUnderWine() ? TaskSource::Files : TaskSource::Service);
}
