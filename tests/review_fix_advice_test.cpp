// The review's advice names the fix of each kind that has one: "popswat --fix"
// for the recommended ones, "popswat --fix=<id>" for those a person chooses.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "review/review.h"
#include "tests/table_rows.h"
#include "tests/test_support.h"

namespace {

enum class Alone { RunValue, Task, Proxy, ForcingPolicy, OtherPolicy, RegisteredExtension, UnregisteredExtension };

ReviewFindings FindingsOf(Alone kind) {
    ReviewFindings findings;
    ExtensionFinding extension;
    extension.place = {L"Google Chrome", L"Default"};
    extension.id = L"abcdefghijklmnopabcdefghijklmnop";
    extension.installedBy = InstalledBy::OtherProgram;
    extension.overrides = OVERRIDES_HOME_PAGE;
    switch (kind) {
        case Alone::RunValue: {
            LauncherFinding run;
            run.kind = LauncherKind::RunValue;
            run.location = L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Updater";
            run.command = L"cmd /c start https://ad.example/";
            findings.launchers = {run};
            break;
        }
        case Alone::Task: {
            LauncherFinding task;
            task.kind = LauncherKind::ScheduledTask;
            task.location = L"\\Updater";
            task.command = L"cmd /c start https://ad.example/";
            findings.launchers = {task};
            break;
        }
        case Alone::Proxy:
            findings.proxy = {
                {L"ProxyServer", L"127.0.0.1:8080",
                 L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ProxyServer"}};
            break;
        case Alone::ForcingPolicy:
        case Alone::OtherPolicy:
            findings.policies = {{L"Google Chrome", true,
                                  kind == Alone::ForcingPolicy ? L"HomepageLocation" : L"BrowserSignin", L"x",
                                  kind == Alone::ForcingPolicy ? PolicyEffect::HomePage : PolicyEffect::Other,
                                  L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Google\\Chrome\\HomepageLocation"}};
            break;
        case Alone::RegisteredExtension:
            extension.registeredAt = L"HKEY_CURRENT_USER\\Software\\Google\\Chrome\\Extensions\\" + extension.id;
            findings.extensions = {extension};
            break;
        case Alone::UnregisteredExtension:
            findings.extensions = {extension};
            break;
    }
    return findings;
}

// The fix commands the advice names.
std::set<std::string> FixCommands(Alone kind) {
    std::vector<std::wstring> lines;
    WriteReviewReport(CapturingOptions(&lines), FindingsOf(kind));
    std::set<std::string> named;
    bool advice = false;
    for (const std::wstring& line : lines) {
        advice |= line == L"What you can do:";
        for (std::size_t at = line.find(L"\"popswat --fix"); advice && at != std::wstring::npos;
             at = line.find(L"\"popswat --fix", at + 1))
            named.insert(Utf8(line.substr(at, line.find(L'"', at + 1) - at + 1)));
    }
    return named;
}

}  // namespace

TEST(ReviewAdvice, NamesTheFixOfEachKindThatHasOne) {
    using Commands = std::set<std::string>;
    const TableRow<Alone, Commands> rows[] = {
        {"a Run value", Alone::RunValue, Commands{"\"popswat --fix\""}},
        {"a scheduled task", Alone::Task, Commands{"\"popswat --fix\""}},
        {"the user's proxy", Alone::Proxy, Commands{"\"popswat --fix\"", "\"popswat --fix=<id>\""}},
        {"a policy that sets the home page", Alone::ForcingPolicy,
         Commands{"\"popswat --fix\"", "\"popswat --fix=<id>\""}},
        {"a policy of no fix", Alone::OtherPolicy, Commands{}},
        {"an extension another program registered", Alone::RegisteredExtension,
         Commands{"\"popswat --fix\"", "\"popswat --fix=<id>\""}},
        {"an extension without a registration", Alone::UnregisteredExtension, Commands{}},
    };
    ExpectEachRow(rows, FixCommands);
}
