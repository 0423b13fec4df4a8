#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "engine/engine_testing.h"
#include "tests/child_programs.h"
#include "tests/test_support.h"

namespace {

using Lines = std::vector<std::wstring>;
using LogLines = std::vector<std::string>;

ULONGLONG TimeCloseBrowser(const CleanupOptions& options,
                           const std::wstring& displayName,
                           const std::wstring& imageName) {
    ULONGLONG start = GetTickCount64();
    CloseBrowser(options, displayName, imageName);
    return GetTickCount64() - start;
}

BrowserEntry Row(const wchar_t* displayName, const std::wstring& imageName) {
    return BrowserEntry{displayName, imageName.c_str(), BrowserKind::ChromiumFamily, L"", L""};
}

// GetTickCount64 advances in steps of about 16 ms.
constexpr ULONGLONG TICK_SLACK_MS = 50;

}  // namespace

TEST(FindProcessIds, MatchesWholeImageNamesIgnoringAsciiCase) {
    TempFolder folder;
    std::wstring name = UniqueImageName();
    std::wstring upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](wchar_t c) { return towupper(c); });
    StandInBehaviour hidden{false, false, 0};
    std::wstring program = CopyTestHelper(folder.path(), upper);
    ASSERT_FALSE(program.empty());
    ChildProcess child = StartStandIn(program, hidden, folder / L"upper.txt");
    ASSERT_TRUE(child.process);
    // Look-alikes that must never be mistaken for the browser.
    ChildProcess prefixed = StartStandIn(CopyTestHelper(folder.path(), L"my" + name), hidden, folder / L"my.txt");
    ASSERT_TRUE(prefixed.process);

    EXPECT_EQ(FindProcessIds(name), std::vector<uint32_t>{child.id});
    EXPECT_EQ(FindProcessIds(upper), std::vector<uint32_t>{child.id});
    for (const std::wstring& other : {name + L".bak", name.substr(0, name.size() - 4), name.substr(1)}) {
        SCOPED_TRACE(Utf8(other));
        EXPECT_TRUE(FindProcessIds(other).empty());
    }
    EXPECT_EQ(FindProcessIds(L"my" + name), std::vector<uint32_t>{prefixed.id});
}

TEST(FindProcessIds, ListsEveryProcessOfTheImage) {
    StandInBrowser browser({false, false, 0}, 3);
    ASSERT_TRUE(browser.started(3));
    std::vector<uint32_t> found = FindProcessIds(browser.imageName);
    std::vector<uint32_t> expected = browser.ids();
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
}

TEST(CloseBrowser, DoesNothingWhenTheBrowserIsNotRunning) {
    Lines lines;
    for (bool preview : {false, true}) {
        SCOPED_TRACE(preview);
        CloseBrowser(CapturingOptions(&lines, preview), L"Nothing", UniqueImageName());
        EXPECT_TRUE(lines.empty());
    }
}

TEST(CloseBrowser, PreviewReportsTheProcessesAndTouchesNothing) {
    StandInBrowser browser({true, true, 0}, 3);
    ASSERT_TRUE(browser.started(3));
    Lines lines;
    CleanupOptions options = CapturingOptions(&lines, true);
    CloseBrowser(options, L"Stand-in", browser.imageName);
    // Of two rows sharing one image name, the first one owns its processes: they are counted once.
    CloseBrowsers(options, {Row(L"Opera", browser.imageName), Row(L"Opera GX", browser.imageName)});
    EXPECT_EQ(lines, (Lines{L"Closing Stand-in ...", L"  [preview] would close Stand-in (3 process(es))",
                            L"Closing Opera ...", L"  [preview] would close Opera (3 process(es))"}));
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(HasEnded(browser.processes[i]));
        EXPECT_EQ(ReadLogLines(browser.logs[i]), LogLines{"ready"});
    }
}

TEST(CloseBrowser, AsksVisibleWindowsToCloseThenTerminatesWhatIsLeft) {
    struct Case {
        const char* name;
        StandInBehaviour behaviour;
        bool force;
        LogLines expectedLog;
        bool fullWait;
    };
    const Case cases[] = {
        {"visible window, exits on close", {true, true, 200}, false, {"ready", "close", "exit"}, false},
        {"visible window, ignores close", {true, false, 0}, false, {"ready", "close"}, true},
        {"hidden window gets no close request and no wait", {false, true, 0}, false, {"ready"}, false},
        {"force skips the close request", {true, true, 0}, true, {"ready"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StandInBrowser browser(c.behaviour);
        ASSERT_TRUE(browser.started(1));
        Lines lines;
        CleanupOptions options = CapturingOptions(&lines);
        options.force = c.force;
        ULONGLONG elapsed = TimeCloseBrowser(options, L"Stand-in", browser.imageName);

        EXPECT_EQ(lines, Lines{L"Closing Stand-in ..."});
        EXPECT_TRUE(HasEnded(browser.processes[0], 5000));
        EXPECT_EQ(ReadLogLines(browser.logs[0]), c.expectedLog);
        if (c.fullWait)
            EXPECT_GE(elapsed + TICK_SLACK_MS, GRACEFUL_WAIT_MS);
        else
            EXPECT_LT(elapsed, GRACEFUL_WAIT_MS);
        // The second row of a shared image name finds nothing left.
        lines.clear();
        CloseBrowser(options, L"Second row", browser.imageName);
        EXPECT_TRUE(lines.empty());
    }
}

// WaitForMultipleObjects takes at most 64 handles; a browser often runs more processes.
TEST(CloseBrowser, GivesMoreThan64ProcessesTheirGracePeriod) {
    constexpr std::size_t COUNT = 70;
    StandInBrowser browser({true, true, 300}, COUNT);
    ASSERT_TRUE(browser.started(COUNT));
    Lines lines;
    CloseBrowser(CapturingOptions(&lines), L"Busy", browser.imageName);
    EXPECT_EQ(lines, Lines{L"Closing Busy ..."});
    for (std::size_t i = 0; i < COUNT; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(HasEnded(browser.processes[i], 5000));
        EXPECT_EQ(ReadLogLines(browser.logs[i]), (LogLines{"ready", "close", "exit"}));
    }
}

TEST(CloseBrowser, WaitsForAllGroupsAgainstOneDeadline) {
    constexpr std::size_t COUNT = 70;
    StandInBrowser browser({true, false, 0}, COUNT);
    ASSERT_TRUE(browser.started(COUNT));
    Lines lines;
    ULONGLONG elapsed = TimeCloseBrowser(CapturingOptions(&lines), L"Stubborn", browser.imageName);
    EXPECT_GE(elapsed + TICK_SLACK_MS, GRACEFUL_WAIT_MS);
    // A second group waited for with a fresh time-out would double the wait.
    EXPECT_LT(elapsed, 2 * GRACEFUL_WAIT_MS - 1000);
    for (std::size_t i = 0; i < COUNT; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(HasEnded(browser.processes[i], 5000));
        EXPECT_EQ(ReadLogLines(browser.logs[i]), (LogLines{"ready", "close"}));
    }
}

TEST(CloseBrowsers, GivesAllBrowsersOneGracePeriodTogether) {
    struct Case {
        const char* name;
        std::vector<StandInBehaviour> browsers;
        bool fullWait;
    };
    const Case cases[] = {
        {"two browsers ignore the request",
         {{true, false, 0}, {true, true, 200}, {false, true, 0}, {true, false, 0}},
         true},
        {"a hidden browser does not hold up one that exits", {{false, true, 0}, {true, true, 200}}, false},
    };
    const wchar_t* names[] = {L"First", L"Second", L"Third", L"Fourth"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::deque<StandInBrowser> browsers;
        BrowserCatalogue rows;
        Lines expected;
        for (const StandInBehaviour& behaviour : c.browsers) {
            browsers.emplace_back(behaviour);
            ASSERT_TRUE(browsers.back().started(1));
            rows.push_back(Row(names[rows.size()], browsers.back().imageName));
            expected.push_back(FormatWide(L"Closing %ls ...", rows.back().displayName));
        }
        Lines lines;
        ULONGLONG start = GetTickCount64();
        CloseBrowsers(CapturingOptions(&lines), rows);
        ULONGLONG elapsed = GetTickCount64() - start;

        EXPECT_EQ(lines, expected);
        if (c.fullWait) {
            EXPECT_GE(elapsed + TICK_SLACK_MS, GRACEFUL_WAIT_MS);
            EXPECT_LT(elapsed, 2 * GRACEFUL_WAIT_MS - 1000);
        } else {
            EXPECT_LT(elapsed, GRACEFUL_WAIT_MS);
        }
        for (std::size_t i = 0; i < browsers.size(); ++i) {
            SCOPED_TRACE(i);
            // Every process found has gone by the time the call returns.
            EXPECT_TRUE(HasEnded(browsers[i].processes[0]));
            EXPECT_EQ(ReadLogLines(browsers[i].logs[0]), ClosedStandInLog(c.browsers[i]));
        }
    }
}

namespace {

bool (*realSession)(uint32_t, uint32_t*) = nullptr;
uint32_t processOfAnotherSession = 0;

bool SessionWithOneOfAnotherUser(uint32_t processId, uint32_t* session) {
    if (!realSession(processId, session))
        return false;
    if (processId == processOfAnotherSession)
        *session += 1;
    return true;
}

}  // namespace

// A browser of another session (another user's, on a shared computer) runs
// under the same image name: it is neither counted, nor asked to close, nor
// waited for, nor terminated. A visible window that ignores the close request
// would otherwise hold the run for the whole grace period.
TEST(CloseBrowser, LeavesTheProcessesOfAnotherSessionAlone) {
    StandInBrowser ours({true, true, 0}, 1);
    StandInBrowser theirs({true, false, 0}, 1, ours.imageName);
    ASSERT_TRUE(ours.started(1) && theirs.started(1));
    realSession = readProcessSession;
    processOfAnotherSession = theirs.processes[0].id;
    readProcessSession = SessionWithOneOfAnotherUser;
    EXPECT_EQ(FindProcessIds(ours.imageName), std::vector<uint32_t>{ours.processes[0].id});
    Lines lines;
    CloseBrowser(CapturingOptions(&lines, true), L"Stand-in", ours.imageName);
    ULONGLONG elapsed = TimeCloseBrowser(CapturingOptions(&lines), L"Stand-in", ours.imageName);
    readProcessSession = realSession;

    EXPECT_EQ(lines, (Lines{L"Closing Stand-in ...", L"  [preview] would close Stand-in (1 process(es))",
                            L"Closing Stand-in ..."}));
    EXPECT_TRUE(HasEnded(ours.processes[0], 5000));
    EXPECT_EQ(ReadLogLines(ours.logs[0]), (LogLines{"ready", "close", "exit"}));
    EXPECT_FALSE(HasEnded(theirs.processes[0]));
    EXPECT_EQ(ReadLogLines(theirs.logs[0]), LogLines{"ready"});
    EXPECT_LT(elapsed, GRACEFUL_WAIT_MS);
}
