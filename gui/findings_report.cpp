// What the findings window shows and asks, made without a window: the review in
// the console's own words and as rows, the fix and the undo run on the workers,
// the questions before them and the lines after them.
#include "gui/gui.h"

#include <map>

namespace {

// FormatMessageW ends each line of a text with CR LF; the lines put into one as an insert end so too.

// Each line as the console ends it, so the clipboard and "popswat --review" hold the same text.
void AppendLine(std::wstring* text, const std::wstring& line) {
    text->append(line);
    text->append(L"\r\n");
}

// The newest run whose record can be used and holds changes not yet undone.
const ChangeRunSummary* NewestUndoable(const std::vector<ChangeRunSummary>& runs) {
    for (auto newest = runs.rbegin(); newest != runs.rend(); ++newest) {
        if (newest->hasRecord && newest->readable && newest->notUndone > 0)
            return &*newest;
    }
    return nullptr;
}

bool NotUndone(const ChangeEntry& entry) {
    return entry.state == ChangeState::Done || entry.state == ChangeState::Pending;
}

// How a kind counts what it changes ("site permission(s)"); the kind's own name for one not in the table.
std::wstring KindWhat(const std::string& name) {
    const FixKind* kind = FindFixKind(name);
    return kind ? std::wstring(kind->what) : Utf8ToWide(name);
}

template <typename Run>
WindowChangeResult RunCatching(bool undo, Run run) {
    WindowChangeResult result;
    result.undo = undo;
    try {
        result.outcome = run();
    } catch (...) {
        result.failed = true;
    }
    return result;
}

}  // namespace

ReviewResult ReviewForWindow() {
    ReviewResult result;
    try {
        // The places the fixes look in too.
        FixPlaces places = SystemFixPlaces();
        ReviewFindings findings = CollectReview(places.policies, places.launchers);
        CleanupOptions options;
        options.log = [&result](const std::wstring& line) { AppendLine(&result.report, line); };
        WriteReviewReport(options, findings);
        result.count = CountFindings(findings);
        result.rows = FindingRows(findings);
        result.targets = FixTargets(findings);
        std::vector<ChangeRunSummary> runs = ListChangeRuns();
        if (const ChangeRunSummary* run = NewestUndoable(runs)) {
            result.undoable = true;
            result.undoRun = *run;
        }
    } catch (...) {
        result = ReviewResult();
        result.failed = true;
    }
    return result;
}

ChangeRunOutcome FixForWindow(const CleanupOptions& options, const std::vector<FixTarget>& targets) {
    return ApplyFixes(options, targets, SystemFixPlaces());
}

ChangeRunOutcome UndoForWindow(const CleanupOptions& options, const ChangeRunSummary& run) {
    return UndoChangeRun(options, run, SystemFixPlaces());
}

WindowChangeResult FixTargetsForWindow(const std::vector<FixTarget>& targets) {
    return RunCatching(false, [&] { return FixForWindow(CleanupOptions(), targets); });
}

WindowChangeResult UndoRunForWindow(const ChangeRunSummary& run) {
    return RunCatching(true, [&] { return UndoForWindow(CleanupOptions(), run); });
}

std::vector<FixTarget> TargetsWithIds(const std::vector<FixTarget>& targets, const std::vector<std::wstring>& ids) {
    std::vector<FixTarget> chosen;
    for (const FixTarget& target : targets) {
        for (const std::wstring& id : ids) {
            if (EqualsIgnoringAsciiCase(target.findingId, id)) {
                chosen.push_back(target);
                break;
            }
        }
    }
    return chosen;
}

std::wstring FixQuestion(const std::vector<FixTarget>& targets) {
    // Kinds in the table's order, each with its count.
    std::wstring kinds;
    bool closes = false;
    for (const FixKind& kind : FixKinds()) {
        std::size_t count = 0;
        for (const FixTarget& target : targets)
            count += target.kind && std::string(target.kind->name) == kind.name;
        if (count == 0)
            continue;
        closes |= kind.closesBrowsers;
        kinds += (kinds.empty() ? L"" : L"\r\n") + FormatText(IDS_KIND_COUNT, {NumberText(count), kind.what});
    }
    return FormatText(IDS_FIX_QUESTION, {NumberText(targets.size()), kinds,
                                         LoadText(closes ? IDS_CLOSES_BROWSERS : IDS_CLOSES_NO_BROWSER)});
}

std::wstring UndoQuestion(const ChangeRunSummary& run) {
    // A long record is named in part: a message box taller than the screen hides its buttons.
    constexpr std::size_t LISTED = 12;
    std::wstring lines;
    std::size_t listed = 0, count = 0;
    bool closes = false;
    for (const ChangeEntry& entry : run.record.changes) {
        if (!NotUndone(entry))
            continue;
        ++count;
        const FixKind* kind = FindFixKind(entry.kind);
        closes |= kind && kind->closesBrowsers;
        if (listed++ < LISTED)
            lines += (lines.empty() ? L"" : L"\r\n") +
                     FormatText(IDS_UNDO_LINE, {KindWhat(entry.kind), MaskUnsafeCharacters(entry.location)});
    }
    if (count > LISTED)
        lines += L"\r\n" + FormatText(IDS_UNDO_MORE, {NumberText(count - LISTED)});
    return FormatText(IDS_UNDO_QUESTION, {NumberText(count), MaskUnsafeCharacters(run.record.started), lines,
                                          LoadText(closes ? IDS_CLOSES_BROWSERS : IDS_CLOSES_NO_BROWSER)});
}

std::wstring AdministratorQuestion(std::size_t needing, std::size_t chosen) {
    return FormatText(IDS_ADMINISTRATOR_QUESTION, {NumberText(needing), NumberText(chosen)});
}

namespace {

// One change's line: done (or put back), or left with why.
std::wstring EntryOutcome(const WindowChangeResult& result, const ChangeEntry& entry) {
    std::wstring where = MaskUnsafeCharacters(entry.location);
    bool done = result.undo ? entry.state == ChangeState::Undone : entry.state == ChangeState::Done;
    if (done)
        return FormatText(result.undo ? IDS_RESULT_PUT_BACK : IDS_RESULT_FIXED, {where});
    return FormatText(IDS_RESULT_LEFT, {where, MaskUnsafeCharacters(entry.why)});
}

}  // namespace

std::wstring ChangeResultText(const WindowChangeResult& result) {
    if (result.outcome.lockHeldElsewhere)
        return LoadText(IDS_ANOTHER_RUN) + L"\r\n";
    if (result.outcome.nothingToDo)
        return LoadText(IDS_NOTHING_TO_UNDO) + L"\r\n";
    std::wstring text;
    for (const ChangeEntry& entry : result.outcome.record.changes)
        text += EntryOutcome(result, entry) + L"\r\n";
    text += FormatText(result.undo ? IDS_PUT_BACK_COUNTS : IDS_RESULT_COUNTS,
                       {NumberText(result.outcome.done), NumberText(result.outcome.left.size())}) +
            L"\r\n";
    if (result.failed)
        text += LoadText(IDS_FAILED) + L"\r\n";
    return text;
}

std::wstring RowOutcome(const WindowChangeResult& result, const std::wstring& findingId) {
    for (const ChangeEntry& entry : result.outcome.record.changes) {
        if (!findingId.empty() && EqualsIgnoringAsciiCase(entry.findingId, findingId))
            return EntryOutcome(result, entry);
    }
    return std::wstring();
}

GuiArguments ParseGuiArguments(int count, const wchar_t* const* arguments) {
    GuiArguments parsed;
    const std::wstring fixPrefix = L"--fix=";
    for (int i = 1; i < count; ++i) {
        std::wstring argument = arguments[i];
        if (argument == L"--review") {
            parsed.findingsOnly = true;
        } else if (argument.rfind(fixPrefix, 0) == 0) {
            // Ids are hexadecimal digits: anything else is no id of a finding.
            std::wstring ids = argument.substr(fixPrefix.size());
            for (std::size_t start = 0; start <= ids.size();) {
                std::size_t comma = ids.find(L',', start);
                std::wstring id = ids.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
                if (!id.empty() && id.size() <= 64 &&
                    id.find_first_not_of(L"0123456789abcdefABCDEF") == std::wstring::npos)
                    parsed.fixIds.push_back(id);
                if (comma == std::wstring::npos)
                    break;
                start = comma + 1;
            }
        }
    }
    // Fixes are made from the findings window only.
    if (!parsed.findingsOnly)
        parsed.fixIds.clear();
    return parsed;
}

std::wstring RestartParameters(const std::vector<std::wstring>& ids) {
    std::wstring list;
    for (const std::wstring& id : ids)
        list += (list.empty() ? L"" : L",") + id;
    return L"--review --fix=" + list;
}

std::wstring FindingsSummary(std::size_t count) {
    if (count == 0)
        return LoadText(IDS_NOTHING_FOUND);
    if (count == 1)
        return LoadText(IDS_ONE_FOUND);
    return FormatText(IDS_MANY_FOUND, {NumberText(count)});
}
