// popswat --fix, --undo and --list-changes: review, list, ask once, change, and
// say how it went; every change goes into one record per run.
#include <algorithm>
#include <map>

#include "base/json_writer.h"
#include "cli/cli.h"
#include "review/review.h"

namespace {

// With --json standard output carries only the document: lines and the question go to standard error.
LogSink LinesSink(const ChangeCommand& command) {
    if (!command.json)
        return ConsoleLogSink();
    return [](const std::wstring& line) { WriteErrorText(line + L"\n"); };
}

void Say(const ChangeCommand& command, const std::wstring& text) {
    if (command.json)
        WriteErrorText(text);
    else
        WriteOutputText(text);
}

bool Confirms(const ChangeCommand& command, bool closesBrowsers) {
    if (command.yes || command.preview)
        return true;
    if (closesBrowsers)
        Say(command, L"This will CLOSE all open browsers first: a change is in their settings.\n");
    Say(command, L"Continue? [y/N] ");
    std::wstring answer;
    bool yes = ReadAnswerLine(&answer) && !answer.empty() && (answer[0] == L'y' || answer[0] == L'Y');
    Say(command, yes ? L"\n" : L"Aborted.\n");
    return yes;
}

// "2 site permission(s) (the file could not be replaced), 1 browser shortcut(s) (read-only)".
std::wstring LeftByKind(const std::vector<std::pair<std::string, std::wstring>>& left) {
    std::map<std::string, std::pair<std::size_t, std::wstring>> counts;
    for (const auto& item : left) {
        auto& count = counts[item.first];
        ++count.first;
        if (count.second.find(item.second) == std::wstring::npos && count.second.size() < 200)
            count.second += (count.second.empty() ? L"" : L"; ") + MaskUnsafeCharacters(item.second);
    }
    std::wstring text;
    for (const auto& count : counts) {
        const FixKind* kind = FindFixKind(count.first);
        text += (text.empty() ? L"" : L", ") + std::to_wstring(count.second.first) + L" " +
                (kind ? kind->what : L"item(s)") + L" (" + count.second.second + L")";
    }
    return text;
}

int Finish(const ChangeCommand& command, const ChangeRunOutcome& outcome, const wchar_t* doneWord) {
    if (outcome.lockHeldElsewhere) {
        Say(command, std::wstring(ANOTHER_CLEANUP_RUNNING) + L"\n");
        return 1;
    }
    if (command.json)
        WriteOutputText(Utf8ToWide(ChangeRecordJson(outcome.record)) + L"\n");
    if (outcome.recordRefused)
        return 2;
    if (outcome.nothingToDo)
        return 0;
    Say(command, L"\n");
    std::wstring line = FormatWide(L"%ls: %zu.", doneWord, outcome.done);
    if (!outcome.left.empty())
        line += FormatWide(L" Left as they were: %zu: ", outcome.left.size()) + LeftByKind(outcome.left) + L".";
    Say(command, line + L"\n");
    for (const auto& item : outcome.left) {
        if (item.second == L"needs an administrator") {
            Say(command,
                L"Some need an administrator: run \"popswat --fix\" from a console opened with \"Run as "
                L"administrator\".\n");
            break;
        }
    }
    if (!outcome.folder.empty())
        Say(command, L"The record of these changes is in " + MaskUnsafeCharacters(outcome.folder) + L".\n");
    return outcome.left.empty() ? 0 : 2;
}

}  // namespace

int RunFixCommand(const ChangeCommand& command) {
    CleanupOptions options;
    options.preview = command.preview;
    options.log = LinesSink(command);
    std::vector<FixTarget> all = FixTargets(CollectReview(SystemPolicyRoots(), SystemLauncherSources()));

    std::vector<FixTarget> chosen;
    std::size_t unknown = 0;
    for (const FixTarget& target : all) {
        if (command.ids.empty() && target.recommended)
            chosen.push_back(target);
    }
    for (const std::wstring& id : command.ids) {
        bool found = false;
        for (const FixTarget& target : all) {
            if (EqualsIgnoringAsciiCase(target.findingId, id)) {
                chosen.push_back(target);
                found = true;
            }
        }
        if (!found) {
            Say(command, L"No current finding has the id " + MaskUnsafeCharacters(id) + L".\n");
            ++unknown;
        }
    }
    if (chosen.empty()) {
        Say(command, L"Nothing to fix.\n");
        if (command.json)
            WriteOutputText(Utf8ToWide(ChangeRecordJson(ChangeRecord())) + L"\n");
        return unknown > 0 ? 2 : 0;
    }
    bool closes = false;
    Say(command, FormatWide(L"PopSwat will fix %zu finding(s):\n", chosen.size()));
    for (const FixTarget& target : chosen) {
        Say(command, L"  " + target.description + L" [" + target.findingId + L"]\n");
        closes |= target.kind->closesBrowsers;
    }
    if (command.preview)
        Say(command, L"(preview - nothing will be changed)\n");
    if (!Confirms(command, closes))
        return 0;
    ChangeRunOutcome outcome = ApplyFixes(options, chosen, SystemFixPlaces());
    if (command.preview) {
        // A dry run records nothing: the document lists what the run would change.
        outcome.record.preview = true;
        outcome.done = chosen.size() - std::min(chosen.size(), outcome.left.size());
        for (const FixTarget& target : chosen) {
            ChangeEntry entry;
            entry.findingId = target.findingId;
            entry.kind = target.kind->name;
            entry.location = target.shortcut.empty() ? ProfileLabel(target.browser, target.profile) : target.shortcut;
            outcome.record.changes.push_back(std::move(entry));
        }
    }
    int code = Finish(command, outcome, command.preview ? L"Would fix" : L"Fixed");
    return code == 0 && unknown > 0 ? 2 : code;
}

int RunUndoCommand(const ChangeCommand& command) {
    CleanupOptions options;
    options.preview = command.preview;
    options.log = LinesSink(command);
    std::vector<ChangeRunSummary> runs = ListChangeRuns();
    const ChangeRunSummary* run = nullptr;
    for (auto newest = runs.rbegin(); newest != runs.rend(); ++newest) {
        if (!command.run.empty() ? newest->name == command.run : (newest->hasRecord && newest->notUndone > 0)) {
            run = &*newest;
            break;
        }
        // The newest first: a record that cannot be used is named, and undo goes one run further back.
        if (command.run.empty() && newest->hasRecord && !newest->readable)
            Say(command, L"Run " + MaskUnsafeCharacters(newest->name) + L" skipped: " + newest->problem +
                             L"; nothing of it was changed.\n");
    }
    if (!run) {
        if (!command.run.empty()) {
            Say(command, L"No run called " + MaskUnsafeCharacters(command.run) + L" in " +
                             MaskUnsafeCharacters(BackupsFolder()) + L".\n");
            return 1;
        }
        Say(command, L"Nothing to undo: every recorded change was undone already.\n");
        if (command.json)
            WriteOutputText(Utf8ToWide(ChangeRecordJson(ChangeRecord())) + L"\n");
        return 0;
    }
    if (!run->readable) {
        Say(command, L"Run " + MaskUnsafeCharacters(run->name) + L" left as it is: " +
                         (run->hasRecord ? run->problem : std::wstring(L"it has no changes.json")) +
                         L"; nothing of it was changed.\n");
        return 2;
    }
    if (run->notUndone == 0)
        return Finish(command, UndoChangeRun(options, *run, SystemFixPlaces()), L"Put back");
    bool closes = false;
    Say(command, FormatWide(L"PopSwat will put back %zu change(s) of run ", run->notUndone) +
                     MaskUnsafeCharacters(run->name) + L":\n");
    for (const ChangeEntry& entry : run->record.changes) {
        if (entry.state != ChangeState::Done && entry.state != ChangeState::Pending)
            continue;
        const FixKind* kind = FindFixKind(entry.kind);
        closes |= kind && kind->closesBrowsers;
        // Each kind as its row in the table counts it ("start-up value(s)" lists as "start-up value").
        std::wstring counted = kind ? kind->what : L"change(s)";
        if (counted.size() > 3 && counted.compare(counted.size() - 3, 3, L"(s)") == 0)
            counted.resize(counted.size() - 3);
        std::wstring what = !entry.grant.permission.empty()
                                ? Utf8ToWide(entry.grant.permission) + L" " +
                                      (entry.grant.allSites ? std::wstring(L"for every site")
                                                            : L"for " + Utf8ToWide(entry.grant.member))
                            : entry.kind == "browser-shortcut" ? std::wstring(L"shortcut arguments")
                                                               : counted;
        Say(command, L"  " + MaskUnsafeCharacters(what) + L": " + MaskUnsafeCharacters(entry.location) + L"\n");
    }
    if (command.preview)
        Say(command, L"(preview - nothing will be changed)\n");
    if (!Confirms(command, closes))
        return 0;
    return Finish(command, UndoChangeRun(options, *run, SystemFixPlaces()),
                  command.preview ? L"Would put back" : L"Put back");
}

namespace {

// What the run changed, by kind: the changes made (done, pending or undone; not those left).
std::map<std::string, std::size_t> CountsByKind(const ChangeRecord& record) {
    std::map<std::string, std::size_t> counts;
    for (const ChangeEntry& entry : record.changes) {
        if (entry.state != ChangeState::Left)
            ++counts[entry.kind];
    }
    return counts;
}

bool AllUndone(const ChangeRunSummary& run) {
    return run.readable && run.notUndone == 0 && !CountsByKind(run.record).empty();
}

}  // namespace

int RunListChangesCommand(const ChangeCommand& command) {
    std::vector<ChangeRunSummary> runs = ListChangeRuns();
    if (command.json) {
        std::string document = WriteJsonDocument("popswat.change-runs/1", [&runs](JsonWriter& writer) {
            WriteJsonArray(writer, "runs", runs, [&writer](const ChangeRunSummary& run) {
                WriteJsonField(writer, "name", run.name);
                WriteJsonField(writer, "folder", run.folder);
                WriteJsonFieldOrNull(writer, "started", run.readable && !run.record.started.empty(),
                                     run.record.started);
                writer.Key("record");
                writer.String(!run.hasRecord ? "none" : run.readable ? "readable" : "unusable");
                WriteJsonFieldOrNull(writer, "problem", !run.problem.empty(), run.problem);
                writer.Key("changes");
                writer.StartObject();
                for (const auto& count : CountsByKind(run.record)) {
                    writer.Key(count.first);
                    writer.Raw(std::to_string(count.second));
                }
                writer.EndObject();
                writer.Key("notUndone");
                writer.Raw(std::to_string(run.notUndone));
                writer.Key("undone");
                writer.Bool(AllUndone(run));
            });
        });
        WriteOutputText(Utf8ToWide(document) + L"\n");
        return 0;
    }
    if (runs.empty()) {
        WriteOutputText(L"No changes recorded in " + MaskUnsafeCharacters(BackupsFolder()) + L".\n");
        return 0;
    }
    WriteOutputText(L"Runs that changed something, in " + MaskUnsafeCharacters(BackupsFolder()) + L":\n");
    bool older = false;
    for (const ChangeRunSummary& run : runs) {
        std::wstring line = L"  " + MaskUnsafeCharacters(run.name) + L"  ";
        if (!run.hasRecord) {
            line += L"(older copies without a record of changes)";
            older = true;
        } else if (!run.readable) {
            line += L"(its record cannot be used: " + run.problem + L")";
        } else {
            line += L"started " + MaskUnsafeCharacters(run.record.started) + L":";
            std::wstring counts;
            for (const auto& count : CountsByKind(run.record)) {
                const FixKind* kind = FindFixKind(count.first);
                counts += (counts.empty() ? L" " : L", ") + std::to_wstring(count.second) + L" " +
                          (kind ? kind->what : L"item(s)");
            }
            line += counts.empty() ? L" nothing changed" : counts;
            line += AllUndone(run) ? L"; undone" : run.notUndone ? FormatWide(L"; %zu not undone", run.notUndone) : L"";
        }
        WriteOutputText(line + L"\n");
    }
    if (older)
        WriteOutputText(
            L"To restore an older run's shortcut by hand, copy each file of its folder back over the path "
            L"its line in index.txt names; an older copy of Preferences goes back over the profile's "
            L"Preferences while the browser is closed.\n");
    return 0;
}
