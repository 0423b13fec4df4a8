// Scheduled tasks whose exec actions start a browser or a launcher with a web address.
#include "browsers/launcher_internal.h"

void FindScheduledTaskLaunchers(const std::wstring& taskFolder,
                                const std::wstring& taskFilesFolder,
                                const TaskLimits& limits,
                                LauncherFindings* findings) {
    TaskListing listing = ReadScheduledTasks(taskFolder, taskFilesFolder, limits);
    findings->taskSource = listing.source;
    findings->taskFilesFolder = listing.filesFolder;
    for (const ScheduledTask& task : listing.tasks) {
        for (const TaskAction& action : task.actions) {
            LauncherFinding finding;
            finding.kind = LauncherKind::ScheduledTask;
            finding.location = task.path;
            finding.program = action.program;
            finding.arguments = action.arguments;
            finding.command = JoinCommand(action.program, action.arguments);
            finding.enabled = task.enabled;
            finding.trigger = TriggersPhrase(task.triggers);
            if (MarkLaunch(&finding, true))
                findings->launchers.push_back(std::move(finding));
        }
    }
    for (const TaskProblem& problem : listing.problems)
        findings->problems.push_back(
            {problem.path.empty() ? L"Task Scheduler" : L"Task Scheduler " + problem.path, problem.why});
}
