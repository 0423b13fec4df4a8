// Scheduled tasks whose exec actions start a browser or a launcher with a web address.
#include "browsers/launcher_internal.h"

void JudgeScheduledTask(const ScheduledTask& task, LauncherFindings* findings) {
    // A task turned off starts nothing (the Task Scheduler never runs it), and
    // is what the fix leaves: no finding.
    if (!task.enabled)
        return;
    for (const TaskAction& action : task.actions) {
        LauncherFinding finding;
        finding.kind = LauncherKind::ScheduledTask;
        finding.location = task.path;
        // The Task Scheduler expands environment variables in both ("%ComSpec%" and
        // "/c start %AD%") before it starts the program; the command stays as stored.
        finding.program = ExpandEnvironmentText(action.program);
        finding.arguments = ExpandEnvironmentText(action.arguments);
        finding.command = JoinCommand(action.program, action.arguments);
        finding.enabled = task.enabled;
        finding.trigger = TriggersPhrase(task.triggers);
        finding.runsAs = task.runsAs;
        finding.runsAsGroup = task.runsAsGroup;
        if (MarkLaunch(&finding, true))
            findings->launchers.push_back(std::move(finding));
    }
}

void FindScheduledTaskLaunchers(const std::wstring& taskFolder,
                                const std::wstring& taskFilesFolder,
                                const TaskLimits& limits,
                                LauncherFindings* findings) {
    TaskListing listing = ReadScheduledTasks(taskFolder, taskFilesFolder, limits);
    findings->taskSource = listing.source;
    findings->taskFilesFolder = listing.filesFolder;
    for (const ScheduledTask& task : listing.tasks)
        JudgeScheduledTask(task, findings);
    for (const TaskProblem& problem : listing.problems)
        findings->problems.push_back(
            {problem.path.empty() ? L"Task Scheduler" : L"Task Scheduler " + problem.path, problem.why});
}
