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
    L"  --json        With --audit or --review: print JSON instead of text.\n"
    L"  --reset-permissions\n"
    L"                Also take back what sites may do: notify, pop-ups, downloads.\n"
    L"\n"
    L"Supports Chrome, Edge, Brave, Vivaldi, Opera / Opera GX, and Firefox.\n"
    L"Bookmarks and saved passwords are preserved.\n";

const wchar_t BANNER_TEXT[] =
    L"PopSwat - browser ad and popup cleaner\n"
    L"--------------------------------------\n";

enum class OptionEffect { Audit, Preview, TabsOnly, Force, Yes, Help, Review, Json, ResetPermissions };

struct Option {
    const wchar_t* name;
    OptionEffect effect;
};

// Matched whole and case-sensitively: no abbreviations, values or combined short options.
const Option OPTIONS[] = {
    {L"--audit", OptionEffect::Audit},         // list extensions instead of cleaning
    {L"--dry-run", OptionEffect::Preview},     // report only, change nothing
    {L"--tabs-only", OptionEffect::TabsOnly},  // keep history
    {L"--force", OptionEffect::Force},         // no graceful close
    {L"--yes", OptionEffect::Yes},             // no question
    {L"-y", OptionEffect::Yes},
    {L"--help", OptionEffect::Help},
    {L"-h", OptionEffect::Help},
    {L"--review", OptionEffect::Review},  // what brings pop-ups back, read-only
    {L"--json", OptionEffect::Json},      // the audit or the review as JSON
    // The cleanup run also takes back what sites were allowed to do.
    {L"--reset-permissions", OptionEffect::ResetPermissions},
};

const Option* FindOption(const std::wstring& argument) {
    for (const Option& option : OPTIONS) {
        if (argument == option.name)
            return &option;
    }
    return nullptr;
}

// Only an answer that starts with y or Y goes on; everything else, and no answer at all, is a no.
bool UserConfirms(const CleanupOptions& options) {
    WriteOutputText(std::wstring(L"This will CLOSE all open browsers and reset their open tabs") +
                    (options.tabsOnly ? L"" : L", and clear recent history") + L".\n");
    if (options.resetPermissions)
        WriteOutputText(L"It will also take back what sites were allowed to do (notifications, pop-ups, downloads).\n");
    WriteOutputText(L"Bookmarks and passwords are kept. Continue? [y/N] ");
    std::wstring answer;
    return ReadAnswerLine(&answer) && !answer.empty() && (answer[0] == L'y' || answer[0] == L'Y');
}

}  // namespace

int RunConsoleProgram(int argc, wchar_t** argv) {
    CleanupOptions options;
    options.log = ConsoleLogSink();
    bool auditRequested = false;
    bool reviewRequested = false;
    bool jsonRequested = false;
    bool confirmationWaived = false;

    for (int i = 1; i < argc; ++i) {
        std::wstring argument(argv[i]);
        const Option* option = FindOption(argument);
        if (!option) {
            WriteOutputText(L"Unknown option: " + argument + L"\n\n");
            WriteOutputText(USAGE_TEXT);
            return 1;
        }
        switch (option->effect) {
            case OptionEffect::Audit:
                auditRequested = true;
                break;
            case OptionEffect::Preview:
                options.preview = true;
                break;
            case OptionEffect::TabsOnly:
                options.tabsOnly = true;
                break;
            case OptionEffect::Force:
                options.force = true;
                break;
            case OptionEffect::Yes:
                confirmationWaived = true;
                break;
            case OptionEffect::Help:
                WriteOutputText(USAGE_TEXT);
                return 0;
            case OptionEffect::Review:
                reviewRequested = true;
                break;
            case OptionEffect::Json:
                jsonRequested = true;
                break;
            case OptionEffect::ResetPermissions:
                options.resetPermissions = true;
                break;
        }
    }

    // "--json" prints one document, of the audit or of the review; without either
    // it is an option we do not know.
    if (jsonRequested && !auditRequested && !reviewRequested) {
        WriteOutputText(L"Unknown option: --json\n\n");
        WriteOutputText(USAGE_TEXT);
        return 1;
    }
    if (jsonRequested && auditRequested && reviewRequested) {
        WriteOutputText(L"--json prints one document: use it with --audit or with --review, not both.\n\n");
        WriteOutputText(USAGE_TEXT);
        return 1;
    }
    if (jsonRequested) {
        std::string json = auditRequested ? AuditJson(CollectAudit()) : ReviewJson(CollectReview(SystemPolicyRoots()));
        WriteOutputText(Utf8ToWide(json) + L"\n");
        return 0;
    }
    if (reviewRequested) {
        ReviewFindings findings = CollectReview(SystemPolicyRoots());
        if (auditRequested) {
            RunAudit(options);
            WriteLine(options, L"");
        }
        WriteReviewReport(options, findings);
        return 0;
    }

    if (auditRequested) {
        RunAudit(options);
        return 0;
    }

    WriteOutputText(BANNER_TEXT);
    if (options.preview)
        WriteOutputText(L"(preview - nothing will be changed)\n\n");
    if (!confirmationWaived && !options.preview) {
        if (!UserConfirms(options)) {
            WriteOutputText(L"Aborted.\n");
            return 0;
        }
        WriteOutputText(L"\n");
    }
    CleanupRunLock lock;
    if (!lock.acquired()) {
        WriteOutputText(std::wstring(ANOTHER_CLEANUP_RUNNING) + L"\n");
        return 1;
    }
    RunCleanup(options);
    return 0;
}
