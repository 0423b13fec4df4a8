#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/engine_testing.h"
#include "tests/task_folder.h"
#include "tests/test_support.h"

namespace {

const wchar_t RUN[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t INTERNET_SETTINGS[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const wchar_t FORCELIST[] = L"Software\\Policies\\Google\\Chrome\\ExtensionInstallForcelist";

std::wstring TestKeyPath() {
    return L"Software\\PopSwat-changes-test-" + std::to_wstring(GetCurrentProcessId());
}

SavedRegistryValue Text(DWORD type, const std::wstring& text) {
    return {type, std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t))};
}

SavedRegistryValue Number(DWORD number) {
    return {REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number)};
}

enum class Fix { Delete, SetToZero };
enum class Meanwhile { Nothing, SetAnew, KeyGone, ChangedBeforeFix };

struct RegistryCase {
    const char* name;
    bool machine;
    const wchar_t* key;
    const wchar_t* value;
    SavedRegistryValue before;
    Fix fix;
    Meanwhile meanwhile;
    RegistryPlaceKind kind;
    ChangeStep fixed;   // the fix's step
    ChangeStep undone;  // the undo's step
};

class RegistryChanges : public ::testing::Test {
protected:
    TemporaryRegistryKey base_{HKEY_CURRENT_USER, TestKeyPath()};
    TemporaryRegistryKey machine_{HKEY_CURRENT_USER, TestKeyPath() + L"\\machine"};
    TemporaryRegistryKey user_{HKEY_CURRENT_USER, TestKeyPath() + L"\\user"};
    LauncherRegistryRoots roots() const { return {machine_.get(), user_.get()}; }

    const TemporaryRegistryKey& root(bool machine) const { return machine ? machine_ : user_; }
    void Write(const RegistryCase& c, const SavedRegistryValue& value) const {
        root(c.machine).Set(c.key, c.value, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
    }
    // The value as it is now; type 0 when it is missing.
    SavedRegistryValue Read(const RegistryCase& c) const {
        SavedRegistryValue now;
        RegistryPlace place{c.machine, c.key, c.value};
        SaveRegistryValue(roots(), place, &now);
        return now;
    }

    // Fix, record what was saved, maybe let the place change, undo; each step's
    // result and the value after the undo checked.
    void Check(const RegistryCase& c) {
        SCOPED_TRACE(c.name);
        Write(c, c.before);
        // What the registry keeps (Wine ends text without its terminator with one).
        const SavedRegistryValue stored = Read(c);
        const std::wstring location =
            std::wstring(c.machine ? L"HKEY_LOCAL_MACHINE\\" : L"HKEY_CURRENT_USER\\") + c.key + L"\\" + c.value;
        RegistryPlace place;
        ASSERT_TRUE(FindRegistryPlace(roots(), location, &place));
        EXPECT_EQ(Utf8(RegistryPlaceText(place)), Utf8(location));
        EXPECT_EQ(KindOfRegistryPlace(place), c.kind);
        SavedRegistryValue saved;
        ASSERT_EQ(SaveRegistryValue(roots(), place, &saved).step, ChangeStep::Done);
        EXPECT_EQ(saved.type, c.before.type);
        EXPECT_EQ(saved.data, stored.data);
        const SavedRegistryValue other = Text(REG_SZ, L"set anew by someone else");
        if (c.meanwhile == Meanwhile::ChangedBeforeFix)
            Write(c, other);
        ChangeResult fixed = c.fix == Fix::Delete ? DeleteRegistryValueIfSame(roots(), place, saved)
                                                  : ReplaceRegistryValueIfSame(roots(), place, saved, Number(0));
        EXPECT_EQ(fixed.step, c.fixed) << Utf8(fixed.why);
        if (c.meanwhile == Meanwhile::ChangedBeforeFix) {
            EXPECT_EQ(Read(c).data, other.data) << "a value changed since the review stays as it is";
            return;
        }
        EXPECT_EQ(Read(c).type, c.fix == Fix::Delete ? 0u : REG_DWORD);
        if (c.meanwhile == Meanwhile::SetAnew)
            Write(c, other);
        if (c.meanwhile == Meanwhile::KeyGone)
            RegDeleteTreeW(root(c.machine).get(), c.key);
        if (c.fix == Fix::SetToZero) {
            ChangeResult back = ReplaceRegistryValueIfSame(roots(), place, Number(0), saved);
            EXPECT_EQ(back.step, c.undone) << Utf8(back.why);
        } else {
            ChangeResult back = PutRegistryValueBack(roots(), place, saved);
            EXPECT_EQ(back.step, c.undone) << Utf8(back.why);
            EXPECT_EQ(PutRegistryValueBack(roots(), place, saved).step, c.undone) << "a second undo changes nothing";
        }
        SavedRegistryValue after = Read(c);
        const SavedRegistryValue& expected = c.meanwhile == Meanwhile::SetAnew ? other : stored;
        EXPECT_EQ(after.type, expected.type);
        EXPECT_EQ(after.data, expected.data);
    }
};

}  // namespace

TEST_F(RegistryChanges, FixThenUndoPutsBackTypeAndBytes) {
    ASSERT_TRUE(machine_.get() && user_.get());
    const SavedRegistryValue expand = Text(REG_EXPAND_SZ, L"%ComSpec% /c start https://ad.example/");
    const SavedRegistryValue chrome = Text(REG_SZ, L"chrome.exe https://ad.example/");
    // Data as the registry keeps it, without the terminating zero a writer may leave out.
    const SavedRegistryValue unterminated{REG_SZ, std::string("h\0t\0t\0p\0", 8)};
    const RegistryCase cases[] = {
        {"a Run value, expandable", false, RUN, L"Ad", expand, Fix::Delete, Meanwhile::Nothing,
         RegistryPlaceKind::RunValue, ChangeStep::Done, ChangeStep::Done},
        {"a machine Run value whose name holds a backslash", true, RUN, L"Ad\\Tool", chrome, Fix::Delete,
         Meanwhile::Nothing, RegistryPlaceKind::RunValue, ChangeStep::Done, ChangeStep::Done},
        {"unterminated text", false, RUN, L"Short", unterminated, Fix::Delete, Meanwhile::Nothing,
         RegistryPlaceKind::RunValue, ChangeStep::Done, ChangeStep::Done},
        {"a Run value set anew before the undo", false, RUN, L"Ad", chrome, Fix::Delete, Meanwhile::SetAnew,
         RegistryPlaceKind::RunValue, ChangeStep::Done, ChangeStep::NameTaken},
        {"a Run value changed between the review and the fix", false, RUN, L"Ad", chrome, Fix::Delete,
         Meanwhile::ChangedBeforeFix, RegistryPlaceKind::RunValue, ChangeStep::Changed, ChangeStep::Done},
        {"a policy list entry whose key went", true, FORCELIST, L"1", Text(REG_SZ, L"abc;https://u.example/"),
         Fix::Delete, Meanwhile::KeyGone, RegistryPlaceKind::Policy, ChangeStep::Done, ChangeStep::Done},
        {"the proxy switched off and on", false, INTERNET_SETTINGS, L"ProxyEnable", Number(2), Fix::SetToZero,
         Meanwhile::Nothing, RegistryPlaceKind::Proxy, ChangeStep::Done, ChangeStep::Done},
        {"the proxy switched on again by someone", false, INTERNET_SETTINGS, L"ProxyEnable", Number(1), Fix::SetToZero,
         Meanwhile::SetAnew, RegistryPlaceKind::Proxy, ChangeStep::Done, ChangeStep::Changed},
        {"the automatic configuration script", false, INTERNET_SETTINGS, L"AutoConfigURL",
         Text(REG_SZ, L"http://pac.example/p.pac"), Fix::Delete, Meanwhile::Nothing, RegistryPlaceKind::Proxy,
         ChangeStep::Done, ChangeStep::Done},
    };
    for (const RegistryCase& c : cases)
        Check(c);
}

// What --undo may be told to write: only places a fix of its own changes.
TEST_F(RegistryChanges, OnlyTheFixesPlacesAreKnown) {
    struct Case {
        RegistryPlace place;
        RegistryPlaceKind kind;
        bool administrator;
    };
    const Case cases[] = {
        {{false, RUN, L"Ad"}, RegistryPlaceKind::RunValue, false},
        {{true, L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce", L"Ad"},
         RegistryPlaceKind::RunValue,
         true},
        {{false, L"Software\\Policies\\Mozilla\\Firefox", L"Homepage"}, RegistryPlaceKind::Policy, true},
        {{false, INTERNET_SETTINGS, L"ProxyServer"}, RegistryPlaceKind::None, false},
        {{true, INTERNET_SETTINGS, L"ProxyEnable"}, RegistryPlaceKind::None, true},
        {{false, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run\\..\\Policies", L"X"},
         RegistryPlaceKind::None,
         false},
        {{false, L"Software\\Policies\\..\\Classes", L"X"}, RegistryPlaceKind::None, true},
        {{false, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", L"Shell"},
         RegistryPlaceKind::None,
         false},
        {{false, RUN, L""}, RegistryPlaceKind::None, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(RegistryPlaceText(c.place)));
        EXPECT_EQ(KindOfRegistryPlace(c.place), c.kind);
        EXPECT_EQ(RegistryPlaceNeedsAdministrator(c.place), c.administrator);
    }
    RegistryPlace place;
    EXPECT_FALSE(FindRegistryPlace(roots(), L"HKEY_CURRENT_USER\\Software\\No\\Such", &place));
    EXPECT_FALSE(FindRegistryPlace(roots(), L"HKEY_CLASSES_ROOT\\x\\y", &place));
    EXPECT_FALSE(FindRegistryPlace({nullptr, user_.get()}, L"HKEY_LOCAL_MACHINE\\x\\y", &place));

    // A process without an administrator's rights does not try what needs one.
    bool (*real)() = isProcessElevated;
    isProcessElevated = [] { return false; };
    EXPECT_TRUE(NeedsAdministrator(true));
    EXPECT_FALSE(NeedsAdministrator(false));
    isProcessElevated = [] { return true; };
    EXPECT_FALSE(NeedsAdministrator(true));
    isProcessElevated = real;
}

TEST(FileMoves, MoveIntoTheRunsFolderAndBack) {
    Sandbox sandbox;
    const std::wstring startup = sandbox / L"Startup";
    const std::wstring backups = sandbox / L"Backups";
    MakeFolder(backups);
    MakeFile(startup + L"\\ad.url", "[InternetShortcut]\r\nURL=https://ad.example/\r\n", FILE_ATTRIBUTE_READONLY);
    MakeFile(startup + L"\\other\\ad.url", "second");
    MakeFolder(startup + L"\\folder.url");
    MakeFile(backups + L"\\ad.url", "the backup folder already holds one of this name");

    std::wstring moved;
    ASSERT_EQ(MoveFileIntoFolder(startup + L"\\ad.url", backups, &moved).step, ChangeStep::Done);
    EXPECT_EQ(Utf8(moved), Utf8(backups + L"\\2 ad.url"));
    EXPECT_FALSE(PathExists(startup + L"\\ad.url"));
    EXPECT_EQ(ReadWholeFile(backups + L"\\ad.url"), "the backup folder already holds one of this name");

    std::wstring second;
    {
        UniqueHandle held = HoldFile(startup + L"\\other\\ad.url");
        ChangeResult inUse = MoveFileIntoFolder(startup + L"\\other\\ad.url", backups, &second);
        EXPECT_EQ(inUse.step, ChangeStep::Failed);
        EXPECT_EQ(Utf8(inUse.why), "is in use");
    }
    std::wstring none;
    EXPECT_EQ(MoveFileIntoFolder(startup + L"\\folder.url", backups, &none).step, ChangeStep::Refused);
    EXPECT_EQ(MoveFileIntoFolder(startup + L"\\gone.url", backups, &none).step, ChangeStep::Gone);

    // Back where it was, with its bytes and its read-only attribute; a second undo finds no copy.
    ASSERT_EQ(MoveFileBack(moved, startup + L"\\ad.url").step, ChangeStep::Done);
    EXPECT_EQ(ReadWholeFile(startup + L"\\ad.url"), "[InternetShortcut]\r\nURL=https://ad.example/\r\n");
    EXPECT_NE(GetFileAttributesW((startup + L"\\ad.url").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(MoveFileBack(moved, startup + L"\\ad.url").step, ChangeStep::Failed);

    // A name taken since: the new file stays, the copy stays in the backup folder.
    ASSERT_EQ(MoveFileIntoFolder(startup + L"\\other\\ad.url", backups, &second).step, ChangeStep::Done);
    MakeFile(startup + L"\\other\\ad.url", "new");
    EXPECT_EQ(MoveFileBack(second, startup + L"\\other\\ad.url").step, ChangeStep::NameTaken);
    EXPECT_EQ(ReadWholeFile(startup + L"\\other\\ad.url"), "new");
    EXPECT_EQ(ReadWholeFile(second), "second");

    if (RunningUnderWine()) {
        MakeFile(sandbox / L"outside.txt", "outside");
        ASSERT_TRUE(MakeUnixSymlink(sandbox / L"outside.txt", startup + L"\\link.url"));
        EXPECT_EQ(MoveFileIntoFolder(startup + L"\\link.url", backups, &none).step, ChangeStep::Refused);
    }
}

// Off and on again through the real Task Scheduler, the definition compared
// each time: put_Enabled where the service keeps it, the definition registered
// again where it does not (Wine 8).
TEST(TaskEnabling, TurnsATaskOffAndOnIfItsDefinitionIsTheSame) {
    ComApartment apartment;
    ASSERT_TRUE(apartment.ready());
    TaskFolderForTest folder(L"PopSwat-enable-test-" + std::to_wstring(GetCurrentProcessId()));
    if (FAILED(folder.result()))
        GTEST_SKIP() << "the Task Scheduler cannot be reached: " << Utf8(HresultText(folder.result()));
    const wchar_t task[] =
        LR"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>
  <Settings><Enabled>true</Enabled></Settings>
  <Actions Context="Author"><Exec><Command>C:\Windows\notepad.exe</Command><Arguments>https://ad.example/</Arguments></Exec></Actions>
</Task>)";
    ASSERT_EQ(folder.Register(L"Ad", task), S_OK);
    auto change = [&](const std::wstring& path, bool enable, const std::string& expected) {
        TaskChange asked;
        asked.path = path;
        asked.enable = enable;
        asked.expected = expected;
        asked.filesFolder = SystemTaskFilesFolder();
        return SetScheduledTaskEnabled(asked);
    };
    auto enabled = [](const std::string& definition) {
        ScheduledTask read;
        std::vector<TaskProblem> problems;
        EXPECT_TRUE(ReadTaskDefinition(definition, TaskLimits(), &read, &problems));
        return read.enabled;
    };
    const std::wstring path = folder.path() + L"\\Ad";

    EXPECT_EQ(change(folder.path() + L"\\None", false, "").result, TaskEnable::Gone);
    TaskEnabling changed = change(path, false, "<Task>another definition</Task>");
    EXPECT_EQ(changed.result, TaskEnable::Changed) << Utf8(HresultText(changed.error));
    TaskEnabling read = ReadScheduledTaskDefinition(path, SystemTaskFilesFolder(), 5000);
    ASSERT_EQ(read.result, TaskEnable::Done);
    EXPECT_EQ(read.definition, changed.definition);
    EXPECT_TRUE(enabled(read.definition));

    TaskEnabling off = change(path, false, read.definition);
    ASSERT_EQ(off.result, TaskEnable::Done) << Utf8(HresultText(off.error));
    EXPECT_FALSE(enabled(off.definitionAfter));
    EXPECT_EQ(ReadScheduledTaskDefinition(path, SystemTaskFilesFolder(), 5000).definition, off.definitionAfter);
    // Wine 8 keeps nothing of put_Enabled; Windows does.
    EXPECT_EQ(off.registeredAgain, RunningUnderWine());
    EXPECT_EQ(change(path, true, read.definition).result, TaskEnable::Changed);
    TaskEnabling on = change(path, true, off.definitionAfter);
    ASSERT_EQ(on.result, TaskEnable::Done) << Utf8(HresultText(on.error));
    EXPECT_TRUE(enabled(on.definitionAfter));
}

// The definition registered again says what it is asked to, wherever Settings
// and its Enabled are, and nothing else of it changes.
TEST(TaskEnabling, ADefinitionTurnedOffChangesOnlyItsSettingsEnabled) {
    const struct {
        const char* name;
        const wchar_t* definition;
        const wchar_t* off;
    } rows[] = {
        {"its own Enabled",
         L"<Task><Triggers><T><Enabled>true</Enabled></T></Triggers><Settings><Hidden>1</Hidden>"
         L"<Enabled>true</Enabled></Settings></Task>",
         L"<Task><Triggers><T><Enabled>true</Enabled></T></Triggers><Settings><Hidden>1</Hidden>"
         L"<Enabled>false</Enabled></Settings></Task>"},
        {"an Enabled below it only", L"<Task><Settings><Idle><Enabled>1</Enabled></Idle></Settings></Task>",
         L"<Task><Settings><Enabled>false</Enabled><Idle><Enabled>1</Enabled></Idle></Settings></Task>"},
        {"empty settings", L"<Task><Settings/></Task>", L"<Task><Settings><Enabled>false</Enabled></Settings></Task>"},
        {"an empty Enabled", L"<Task><Settings><Enabled/></Settings></Task>",
         L"<Task><Settings><Enabled>false</Enabled></Settings></Task>"},
        {"no settings", L"<Task><!-- <Settings> --><Actions/></Task>",
         L"<Task><!-- <Settings> --><Actions/><Settings><Enabled>false</Enabled></Settings></Task>"},
        {"no task", L"<Other/>", L""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Utf8(TaskDefinitionWithEnabled(row.definition, false)), Utf8(row.off));
    }
}
