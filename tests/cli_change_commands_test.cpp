// popswat --fix, --undo and --list-changes end to end: what each says in its
// JSON document and its exit code, over a sandbox with one browser shortcut.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>

#include "tests/child_programs.h"
#include "tests/shortcut_writer.h"
#include "tests/test_support.h"

namespace {

struct ChangeSandbox {
    TempFolder folder;
    std::wstring local = folder / L"Local";
    std::wstring roaming = folder / L"Roaming";
    std::wstring shortcut = roaming + L"\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar\\Chrome.lnk";

    ChangeSandbox() {
        MakeFolder(local);
        MakeFolder(shortcut.substr(0, shortcut.find_last_of(L'\\')));
        ComApartment apartment;
        WriteShortcutFile(shortcut, BrowserShortcut(L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe",
                                                    L"--profile-directory=Default https://ad.example/"));
    }
    ProgramRun Run(const std::wstring& arguments) const {
        EnvironmentChanges environment = {{L"LOCALAPPDATA", local}, {L"APPDATA", roaming}};
        return RunProgram(L"\"" + TestProgramPath(L"popswat.exe") + L"\" " + arguments, environment, "", 60000);
    }
    // The review's id of the shortcut's finding.
    std::wstring ShortcutId() const {
        JsonDocument review;
        if (ParseJsonObject(Run(L"--review --json").output, &review) != JsonLoad::Done ||
            !review.HasMember("launchers"))
            return std::wstring();
        for (const JsonValue& finding : review["launchers"].GetArray()) {
            if (JsonFields(finding, {"location"}) == Utf8(shortcut))
                return Utf8ToWide(JsonFields(finding, {"findingId"}));
        }
        return std::wstring();
    }
};

// What a command's document says: each change as "kind|state", or the runs as
// "changes by kind|notUndone".
std::vector<std::string> Summary(const std::string& output) {
    JsonDocument document;
    if (ParseJsonObject(output, &document) != JsonLoad::Done)
        return {"not JSON: " + output};
    std::vector<std::string> lines;
    if (document.HasMember("runs")) {
        for (const JsonValue& run : document["runs"].GetArray()) {
            std::string kinds;
            for (const auto& kind : run["changes"].GetObject())
                kinds += std::string(kind.name.GetString()) + "=" + std::to_string(kind.value.GetInt());
            lines.push_back(kinds + "|" + std::to_string(run["notUndone"].GetInt()));
        }
        return lines;
    }
    if (document.HasMember("preview"))
        lines.push_back("preview");
    for (const JsonValue& change : document["changes"].GetArray())
        lines.push_back(JsonFields(change, {"kind", "state"}));
    return lines;
}

}  // namespace

// One sandbox through a whole story: a finding fixed by its id, listed, undone,
// a second undo with nothing to do, and the exit codes on the way.
TEST(ConsoleProgram, ReviewThenFixUndoAndListChanges) {
    SKIP_UNLESS_UNDER_WINE();  // reviews the prefix's own registry and tasks
    ChangeSandbox sandbox;
    std::string before = ReadWholeFile(sandbox.shortcut);
    std::wstring id = sandbox.ShortcutId();
    ASSERT_EQ(id.size(), 12u);
    const struct {
        std::wstring arguments;
        std::vector<std::string> summary;
        DWORD exitCode;
        bool shortcutAsBefore;
    } steps[] = {
        {L"--fix --undo", {}, 1, true},
        {L"--fix=0123456789ab --yes --json", {}, 2, true},
        {L"--fix=" + id + L" --dry-run --json", {"preview", "browser-shortcut|pending"}, 0, true},
        {L"--list-changes --json", {}, 0, true},
        {L"--undo --yes --json", {}, 0, true},
        {L"--fix=" + id + L",0123456789ab --yes --json", {"browser-shortcut|done"}, 2, false},
        {L"--list-changes --json", {"browser-shortcut=1|1"}, 0, false},
        {L"--undo --dry-run --json", {"browser-shortcut|done"}, 0, false},
        {L"--undo --yes --json", {"browser-shortcut|undone"}, 0, true},
        {L"--undo --yes --json", {}, 0, true},
        {L"--list-changes --json", {"browser-shortcut=1|0"}, 0, true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(Utf8(step.arguments));
        ProgramRun run = sandbox.Run(step.arguments);
        EXPECT_EQ(run.exitCode, step.exitCode) << run.output << run.errors;
        if (step.exitCode != 1) {
            EXPECT_EQ(Summary(run.output), step.summary);
        }
        EXPECT_EQ(ReadWholeFile(sandbox.shortcut) == before, step.shortcutAsBefore);
    }
    // A change left as it was ends with 2; another run holding the lock, with 1.
    SetFileAttributesW(sandbox.shortcut.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(sandbox.Run(L"--fix=" + id + L" --yes").exitCode, 2u);
    SetFileAttributesW(sandbox.shortcut.c_str(), FILE_ATTRIBUTE_NORMAL);
    CleanupRunLock otherRun;
    ASSERT_TRUE(otherRun.acquired());
    EXPECT_EQ(sandbox.Run(L"--fix=" + id + L" --yes").exitCode, 1u);
    EXPECT_EQ(ReadWholeFile(sandbox.shortcut), before);
}
