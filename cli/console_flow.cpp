#include "audit/audit.h"
#include "cli/cli.h"
#include "review/review.h"

namespace {

const wchar_t USAGE_TEXT[] =
    L"PopSwat - close browsers, reset open tabs, and clear recent history.\n"
    L"\n"
    L"Usage: popswat [options]\n"
    L"\n"
    L"  --audit       List installed browser extensions (read-only, no changes).\n"
    L"  --dry-run     Show what would be done without changing anything.\n"
    L"  --tabs-only   Reset open tabs only; keep browsing history.\n"
    L"  --force       Terminate browsers immediately (skip graceful close).\n"
    L"  --yes, -y     Do not prompt for confirmation.\n"
    L"  --help, -h    Show this help.\n"
    L"  --review      Show what brings pop-ups back (read-only, no changes).\n"
    L"  --json        With --audit, --review, --fix, --undo or --list-changes: JSON.\n"
    L"  --exit-code   With --review: exit with 3 when it found something, 0 when not.\n"
    L"  --reset-permissions\n"
    L"                Also take back what sites may do: notify, pop-ups, downloads.\n"
    L"  --repair-shortcuts\n"
    L"                Also take web addresses out of browser shortcuts (copies kept).\n"
    L"  --fix         Review, then fix every recommended finding (asks once).\n"
    L"  --fix=<id>[,<id>...]\n"
    L"                Fix the findings named by their ids (from --review).\n"
    L"  --undo        Put back the newest run's changes that are not undone yet.\n"
    L"  --undo=<date>_<time>\n"
    L"                Put back that run's changes (see --list-changes).\n"
    L"  --list-changes\n"
    L"                List the runs that changed something, and what.\n"
    L"                --fix, --undo and --list-changes also take --json.\n"
    L"\n"
    L"Supports Chrome, Edge, Brave, Vivaldi, Opera / Opera GX, and Firefox.\n"
    L"Bookmarks and saved passwords are preserved. Firefox keeps its history\n"
    L"(it shares places.sqlite with the bookmarks); its open tabs are reset.\n"
    L"\n"
    L"Exit code: 0 done; 1 bad command line, or another cleanup is running;\n"
    L"2 done, but some items could not be cleaned, fixed or put back (the last\n"
    L"lines say which);\n"
    L"3 with --review --exit-code: the review found something.\n";

const wchar_t BANNER_TEXT[] =
    L"PopSwat - browser ad and popup cleaner\n"
    L"--------------------------------------\n";

// What the command line asks for.
struct Request {
    bool audit = false;
    bool review = false;
    bool json = false;
    bool exitCode = false;
    bool yes = false;
    bool help = false;
    bool preview = false;
    bool tabsOnly = false;
    bool force = false;
    bool resetPermissions = false;
    bool repairShortcuts = false;
    bool fix = false;
    bool undo = false;
    bool listChanges = false;
    ChangeCommand change;
};

struct Option {
    const wchar_t* name;
    bool Request::*flag;  // what the option asks for
};

// Matched whole and case-sensitively: no abbreviations, values or combined short options.
const Option OPTIONS[] = {
    {L"--audit", &Request::audit},         // list extensions instead of cleaning
    {L"--dry-run", &Request::preview},     // report only, change nothing
    {L"--tabs-only", &Request::tabsOnly},  // keep history
    {L"--force", &Request::force},         // no graceful close
    {L"--yes", &Request::yes},             // no question
    {L"-y", &Request::yes},
    {L"--help", &Request::help},
    {L"-h", &Request::help},
    {L"--review", &Request::review},  // what brings pop-ups back, read-only
    {L"--json", &Request::json},      // the audit or the review as JSON
    // The review's exit code says whether it found anything, for detection scripts.
    {L"--exit-code", &Request::exitCode},
    // The cleanup run also takes back what sites were allowed to do.
    {L"--reset-permissions", &Request::resetPermissions},
    // ... and takes web addresses and extensions out of browser shortcuts.
    {L"--repair-shortcuts", &Request::repairShortcuts},
    {L"--fix", &Request::fix},
    {L"--undo", &Request::undo},
    {L"--list-changes", &Request::listChanges},
};

// "--fix=<id>,<id>" and "--undo=<run>": the value after the sign; false for another argument.
bool ValueOption(const std::wstring& argument, const wchar_t* prefix, std::wstring* value) {
    std::wstring_view start(prefix);
    if (argument.compare(0, start.size(), start) != 0)
        return false;
    *value = argument.substr(start.size());
    return true;
}

// Reads "--fix=" and "--undo=" into the request; false for an empty or repeated value.
bool ReadValueOption(const std::wstring& argument, Request* request, bool* known) {
    std::wstring value;
    *known = true;
    if (ValueOption(argument, L"--fix=", &value)) {
        request->fix = true;
        std::size_t start = 0;
        while (start <= value.size()) {
            std::size_t comma = value.find(L',', start);
            std::wstring id = value.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
            if (id.empty())
                return false;
            request->change.ids.push_back(id);
            if (comma == std::wstring::npos)
                break;
            start = comma + 1;
        }
        return true;
    }
    if (ValueOption(argument, L"--undo=", &value)) {
        bool repeated = !request->change.run.empty();
        request->undo = true;
        request->change.run = value;
        return !value.empty() && !repeated && value.find_first_of(L"\\/:") == std::wstring::npos;
    }
    *known = false;
    return false;
}

const Option* FindOption(const std::wstring& argument) {
    for (const Option& option : OPTIONS) {
        if (argument == option.name)
            return &option;
    }
    return nullptr;
}

// Says what is wrong with the command line, then how to use it; returns the exit code.
int RejectCommandLine(const std::wstring& problem) {
    WriteOutputText(problem + L"\n\n");
    WriteOutputText(USAGE_TEXT);
    return 1;
}

// Only an answer that starts with y or Y goes on; everything else, and no answer at all, is a no.
bool UserConfirms(const CleanupOptions& options) {
    WriteOutputText(std::wstring(L"This will CLOSE all open browsers and reset their open tabs") +
                    (options.tabsOnly ? L"" : L", and clear recent history") + L".\n");
    if (options.resetPermissions)
        WriteOutputText(L"It will also take back what sites were allowed to do (notifications, pop-ups, downloads).\n");
    if (options.repairShortcuts)
        WriteOutputText(L"It will also take web addresses out of browser shortcuts (a copy of each is kept).\n");
    WriteOutputText(L"Bookmarks and passwords are kept. Continue? [y/N] ");
    std::wstring answer;
    return ReadAnswerLine(&answer) && !answer.empty() && (answer[0] == L'y' || answer[0] == L'Y');
}

}  // namespace

int RunConsoleProgram(int argc, wchar_t** argv) {
    Request request;
    for (int i = 1; i < argc; ++i) {
        std::wstring argument(argv[i]);
        bool known = false;
        if (ReadValueOption(argument, &request, &known))
            continue;
        if (known)
            return RejectCommandLine(L"Not a value this option takes: " + MaskUnsafeCharacters(argument));
        const Option* option = FindOption(argument);
        if (!option)
            return RejectCommandLine(L"Unknown option: " + argument);
        request.*option->flag = true;
        // Help is shown at once, whatever follows.
        if (request.help) {
            WriteOutputText(USAGE_TEXT);
            return 0;
        }
    }

    int changeCommands = int(request.fix) + int(request.undo) + int(request.listChanges);
    if (changeCommands > 0) {
        if (changeCommands > 1 || request.audit || request.review || request.exitCode || request.tabsOnly ||
            request.force || request.resetPermissions || request.repairShortcuts)
            return RejectCommandLine(L"--fix, --undo and --list-changes go alone, with --yes, --dry-run or --json.");
        request.change.yes = request.yes;
        request.change.preview = request.preview;
        request.change.json = request.json;
        if (request.fix)
            return RunFixCommand(request.change);
        if (request.undo)
            return RunUndoCommand(request.change);
        return RunListChangesCommand(request.change);
    }

    // "--json" prints one document, of the audit or of the review; without either
    // it is an option we do not know.
    if (request.json && !request.audit && !request.review)
        return RejectCommandLine(L"Unknown option: --json");
    if (request.json && request.audit && request.review)
        return RejectCommandLine(L"--json prints one document: use it with --audit or with --review, not both.");

    if (request.exitCode && !request.review)
        return RejectCommandLine(L"--exit-code goes with --review.");

    CleanupOptions options;
    options.preview = request.preview;
    options.tabsOnly = request.tabsOnly;
    options.force = request.force;
    options.resetPermissions = request.resetPermissions;
    options.repairShortcuts = request.repairShortcuts;
    options.log = ConsoleLogSink();

    if (request.json && request.audit) {
        WriteOutputText(Utf8ToWide(AuditJson(CollectAudit())) + L"\n");
        return 0;
    }
    if (request.review) {
        ReviewFindings findings = CollectReview(SystemPolicyRoots(), SystemLauncherSources());
        if (request.json) {
            WriteOutputText(Utf8ToWide(ReviewJson(findings)) + L"\n");
        } else {
            if (request.audit) {
                RunAudit(options);
                WriteLine(options, L"");
            }
            WriteReviewReport(options, findings);
        }
        return request.exitCode && CountFindings(findings) > 0 ? 3 : 0;
    }

    if (request.audit) {
        RunAudit(options);
        return 0;
    }

    WriteOutputText(BANNER_TEXT);
    if (options.preview)
        WriteOutputText(L"(preview - nothing will be changed)\n\n");
    if (!request.yes && !options.preview) {
        if (!UserConfirms(options)) {
            WriteOutputText(L"Aborted.\n");
            return 0;
        }
        WriteOutputText(L"\n");
    }
    CleanupOutcome outcome = RunCleanup(options);
    if (outcome.lockHeldElsewhere) {
        WriteOutputText(std::wstring(RefusedRunText(outcome)) + L"\n");
        return 1;
    }
    return !options.preview && ItemsLeftBehind(outcome) > 0 ? 2 : 0;
}
