#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "browsers/launchers.h"
#include "tests/table_rows.h"
#include "tests/test_support.h"

namespace {

const char TASK_START[] = R"(<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">)";

// "enabled hidden | program arguments; ... | trigger phrases" or "problem: <why>", from one definition; the
// reader's error code left out (Windows and Wine give different ones).
std::string Describe(const std::string& xml, const TaskLimits& limits = TaskLimits()) {
    ScheduledTask task;
    task.path = L"\\T";
    std::vector<TaskProblem> problems;
    std::string text;
    if (ReadTaskDefinition(xml, limits, &task, &problems)) {
        text = std::string(task.enabled ? "on" : "off") + (task.hidden ? " hidden" : "") +
               (task.runsAs.empty() ? "" : (task.runsAsGroup ? " for group " : " as ") + Utf8(task.runsAs)) + " |";
        for (const TaskAction& action : task.actions)
            text += " " + Utf8(action.program) + (action.arguments.empty() ? "" : " " + Utf8(action.arguments)) + ";";
        text += " | " + Utf8(TriggersPhrase(task.triggers));
    }
    for (const TaskProblem& problem : problems) {
        std::string why = Utf8(problem.why);
        why = why.substr(0, why.find(" ("));
        text += (text.empty() ? "" : " / ") + std::string("problem: ") + why;
    }
    return text;
}

std::string Task(const std::string& body) {
    return std::string(TASK_START) + body + "</Task>";
}

// The same text as UTF-16LE with its byte-order mark, as Windows keeps task files.
std::string Utf16(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (char c : ascii)
        bytes += std::string{c, '\0'};
    return bytes;
}

const std::string EXEC =
    "<Actions><Exec><Command>C:\\x\\chrome.exe</Command><Arguments> https://a.example/ "
    "</Arguments></Exec></Actions>";

}  // namespace

TEST(TaskDefinitions, ReadTheTaskSchedulersSchema) {
    std::string manyActions = "<Actions>";
    for (int n = 0; n < 3; ++n)
        manyActions += "<Exec><Command>a" + std::to_string(n) + ".exe</Command></Exec>";
    manyActions += "</Actions>";
    std::string deep = "<Task>";
    for (int n = 0; n < 40; ++n)
        deep += "<x>";
    TaskLimits twoActions;
    twoActions.maxActionsPerTask = 2;
    const TableRow<std::string, std::string> rows[] = {
        {"no settings: enabled, not hidden", Task(EXEC), "on | C:\\x\\chrome.exe https://a.example/; | no trigger"},
        {"UTF-16 with its mark, as Windows keeps them",
         Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" +
               Task("<Settings><Hidden>true</Hidden></Settings>" + EXEC)),
         "on hidden | C:\\x\\chrome.exe https://a.example/; | no trigger"},
        {"UTF-8 with its mark and a comment first, as Wine keeps them",
         "\xEF\xBB\xBF<!-- Task definition created by Wine -->\n" +
             Task("<Settings><Enabled>false</Enabled><Hidden>1</Hidden></Settings>" + EXEC),
         "off hidden | C:\\x\\chrome.exe https://a.example/; | no trigger"},
        {"every kind of trigger",
         Task("<Triggers><LogonTrigger><Repetition><Interval>PT1H</Interval></Repetition></LogonTrigger>"
              "<BootTrigger><Enabled>false</Enabled></BootTrigger>"
              "<TimeTrigger><StartBoundary>2024-05-06T07:08:09</StartBoundary></TimeTrigger>"
              "<CalendarTrigger><StartBoundary>2024-01-01T10:00:00</StartBoundary>"
              "<ScheduleByDay><DaysInterval>2</DaysInterval></ScheduleByDay></CalendarTrigger>"
              "<CalendarTrigger><StartBoundary>2024-01-01T08:15:00</StartBoundary><ScheduleByWeek>"
              "<WeeksInterval>1</WeeksInterval></ScheduleByWeek></CalendarTrigger>"
              "<CalendarTrigger><ScheduleByMonth/></CalendarTrigger><EventTrigger/></Triggers>"),
         "on | | at log-on, then every hour; at start-up (disabled); once at 2024-05-06 07:08; every 2 days at 10:00; "
         "weekly at 08:15; other; other"},
        {"settings and commands of nested elements are not the task's",
         Task("<RegistrationInfo><Settings><Hidden>true</Hidden></Settings></RegistrationInfo>"
              "<Actions><Exec><Command>a.exe</Command><x><Command>b.exe</Command></x></Exec>"
              "<ComHandler><ClassId>{00000000-0000-0000-0000-000000000000}</ClassId></ComHandler>"
              "<Exec><Arguments>no command</Arguments></Exec></Actions>"),
         "on | a.exe; | no trigger"},
        {"the account it runs as",
         Task("<Principals><Principal id=\"Author\"><UserId> S-1-5-18 </UserId><GroupId>S-1-5-32-545</GroupId>"
              "</Principal></Principals>" +
              EXEC),
         "on as S-1-5-18 | C:\\x\\chrome.exe https://a.example/; | no trigger"},
        {"the group it runs for",
         Task("<Principals><Principal><GroupId>S-1-5-32-545</GroupId></Principal></Principals>" + EXEC),
         "on for group S-1-5-32-545 | C:\\x\\chrome.exe https://a.example/; | no trigger"},
        {"text in parts", Task("<Actions><Exec><Command>C:\\a<![CDATA[ b]]>\\c.exe</Command></Exec></Actions>"),
         "on | C:\\a b\\c.exe; | no trigger"},
        {"actions beyond the limit", Task(manyActions),
         "on | a0.exe; a1.exe; | no trigger / problem: only its first 2 "
         "actions were looked at"},
        {"no task", "<Job><Actions/></Job>", "problem: its definition is no task"},
        {"not XML", "Task", "problem: its definition is no task"},
        {"cut short", Task(EXEC).substr(0, 120), "problem: its definition could not be read as XML"},
        {"an entity declared", "<!DOCTYPE Task [<!ENTITY x \"chrome.exe\">]>" + Task(EXEC),
         "problem: its definition could not be read as XML"},
        {"nested too deeply", deep, "problem: its definition could not be read as XML"},
        {"larger than any task", Task("<!--" + std::string(1 << 20, 'x') + "-->" + EXEC),
         "problem: its definition is larger than 1 MB, not read"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TaskLimits limits = std::string(row.name) == "actions beyond the limit" ? twoActions : TaskLimits();
        EXPECT_EQ(Describe(row.input, limits), row.expected);
    }
}

// The files the service keeps are walked as shortcut folders are.
TEST(TaskDefinitions, TaskFilesAreWalkedWithinBoundsAndNeverThroughALink) {
    Sandbox sandbox;
    std::wstring tasks = sandbox / L"Tasks";
    MakeFile(tasks + L"\\Top", Task(EXEC));
    MakeFile(tasks + L"\\Vendor\\Updater", Utf16(Task(EXEC)));
    MakeFile(tasks + L"\\Vendor\\Broken", "<Job/>");
    MakeFile(tasks + L"\\a\\b\\Too deep", Task(EXEC));
    ASSERT_TRUE(MakeSparseFile(tasks + L"\\Huge", 100ll << 20));
    MakeFile(tasks + L"\\Held", Task(EXEC));
    UniqueHandle held = HoldFile(tasks + L"\\Held");
    MakeFile(sandbox / L"Elsewhere\\Behind link", Task(EXEC));
    bool linked = MakeUnixSymlink(sandbox / L"Elsewhere", tasks + L"\\Link");

    TaskLimits limits;
    limits.maxDepth = 1;
    TaskListing listing = ReadTaskFiles(L"\\", tasks, limits);
    if (linked)
        RemoveUnixLink(tasks + L"\\Link");
    std::vector<std::string> found;
    for (const ScheduledTask& task : listing.tasks)
        found.push_back(Utf8(task.path));
    for (const TaskProblem& problem : listing.problems)
        found.push_back(Utf8(problem.path) + ": " + Utf8(problem.why));
    std::sort(found.begin(), found.end());
    std::vector<std::string> expected = {
        "\\Held: its file could not be read",
        "\\Huge: its file is larger than 1 MB, not read",
        "\\Top",
        "\\Vendor\\Broken: its definition is no task",
        "\\Vendor\\Updater",
        "\\a: folders more than 1 levels deep were not looked at",
    };
    if (linked) {
        expected.insert(expected.begin() + 2, "\\Link: a link, not followed");
        std::sort(expected.begin(), expected.end());
    }
    EXPECT_EQ(listing.source, TaskSource::Files);
    EXPECT_EQ(found, expected);

    // Below a folder, and a folder that is not there.
    EXPECT_EQ(ReadTaskFiles(L"\\Vendor", tasks, TaskLimits()).tasks.size(), 1u);
    TaskListing missing = ReadTaskFiles(L"\\Missing", tasks, TaskLimits());
    ASSERT_EQ(missing.problems.size(), 1u);
    EXPECT_EQ(Utf8(missing.problems[0].why), "its task files could not be found in " + Utf8(tasks) + "\\Missing");
}

namespace {

// What the review makes of one definition: "(hidden) <uri>" then per finding
// "<browser, or the command as stored> opens <url> (on|off; <triggers>)", or "problem: <why>".
std::string Judged(const std::string& xml) {
    ScheduledTask task;
    task.path = L"\\Vendor\\Updater";
    std::vector<TaskProblem> problems;
    if (!ReadTaskDefinition(xml, TaskLimits(), &task, &problems)) {
        std::string why = problems.empty() ? std::string() : Utf8(problems[0].why);
        return "problem: " + why.substr(0, why.find(" ("));
    }
    LauncherFindings findings;
    JudgeScheduledTask(task, &findings);
    std::string text = std::string(task.hidden ? "hidden" : "shown") + " " + Utf8(task.uri) + ":";
    for (const LauncherFinding& finding : findings.launchers) {
        EXPECT_EQ(Utf8(finding.location), "\\Vendor\\Updater") << "where the task is kept names it";
        text += " " + (finding.browser.empty() ? Utf8(finding.command) : Utf8(finding.browser)) + " opens " +
                Utf8(finding.url) + " (" + (finding.enabled ? "on" : "off") + "; " + Utf8(finding.trigger) + ")";
    }
    return text;
}

std::string Exec(const std::string& command, const std::string& arguments) {
    return "<Exec><Command>" + command + "</Command><Arguments>" + arguments + "</Arguments></Exec>";
}

}  // namespace

// The review judges each task from its definition, whichever source gave it.
TEST(TaskDefinitions, TheReviewJudgesEachTaskFromItsDefinition) {
    const std::string chrome =
        Exec("C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe", "https://ad.example/");
    const std::string logOn = "<Triggers><LogonTrigger/></Triggers>";
    const TableRow<std::string, std::string> rows[] = {
        {"hidden, at log-on",
         Task("<Settings><Hidden>true</Hidden></Settings>" + logOn + "<Actions>" + chrome + "</Actions>"),
         "hidden : Google Chrome opens https://ad.example/ (on; at log-on)"},
        {"with the path it states",
         Task("<RegistrationInfo><URI>\\Elsewhere\\Name</URI></RegistrationInfo><Actions>" + chrome + "</Actions>"),
         "shown \\Elsewhere\\Name: Google Chrome opens https://ad.example/ (on; no trigger)"},
        {"turned off: it starts nothing",
         Task("<Settings><Enabled>false</Enabled></Settings>" + logOn + "<Actions>" + chrome + "</Actions>"),
         "shown :"},
        {"several actions: each judged",
         Task(logOn + "<Actions>" + Exec("C:\\Windows\\notepad.exe", "") + chrome +
              Exec("%ComSpec%", "/c start https://second.example/") + "</Actions>"),
         "shown : Google Chrome opens https://ad.example/ (on; at log-on) %ComSpec% /c start https://second.example/ "
         "opens https://second.example/ (on; at log-on)"},
        {"a COM handler starts no program",
         Task("<Actions><ComHandler><ClassId>{0F87369F-A4E5-4CFC-BD3E-73E6154572DD}</ClassId>"
              "<Data>https://ad.example/</Data></ComHandler></Actions>"),
         "shown :"},
        {"UTF-16 with its mark, as Windows keeps the files",
         Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" +
               Task("<Triggers><BootTrigger/></Triggers><Actions>" + chrome + "</Actions>")),
         "shown : Google Chrome opens https://ad.example/ (on; at start-up)"},
        {"malformed", Task("<Actions>" + chrome), "problem: its definition could not be read as XML"},
        {"wrong root", "<Job><Actions>" + chrome + "</Actions></Job>", "problem: its definition is no task"},
        {"huge", Task("<Actions>" + chrome + "</Actions><!--" + std::string(1 << 20, ' ') + "-->"),
         "problem: its definition is larger than 1 MB, not read"},
    };
    ExpectEachRow(rows, Judged);
}
