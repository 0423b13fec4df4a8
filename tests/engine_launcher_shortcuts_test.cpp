#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "browsers/launchers.h"
#include "engine/engine_parts.h"
#include "tests/shortcut_writer.h"
#include "tests/table_rows.h"
#include "tests/test_support.h"

namespace {

const wchar_t CHROME[] = L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
const wchar_t EDGE[] = L"C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe";

// "kind|file name|browser|url|flags" with flags: a (opens as app), e (loads an extension), n (named after a
// browser), h (sets the home page), t (sends web traffic elsewhere), r (the shortcut repair would change it).
std::vector<std::string> Describe(const LauncherFindings& findings) {
    const char* const KINDS[] = {"shortcut", "startup_item", "run_value", "scheduled_task"};
    std::vector<std::string> described;
    for (const LauncherFinding& f : findings.launchers) {
        std::wstring name = f.location.substr(f.location.find_last_of(L'\\') + 1);
        std::string flags = std::string(f.opensAsApp ? "a" : "") + (f.loadsExtension ? "e" : "") +
                            (f.namedAfterBrowser ? "n" : "") + (f.homePage.empty() ? "" : "h") +
                            (f.trafficThrough.empty() ? "" : "t") + (ShortcutRepairWouldChange(f) ? "r" : "");
        described.push_back(std::string(KINDS[static_cast<int>(f.kind)]) + "|" + Utf8(name) + "|" + Utf8(f.browser) +
                            "|" + Utf8(f.url) + "|" + flags);
    }
    for (const LauncherProblem& p : findings.problems)
        described.push_back("problem|" + Utf8(p.where.substr(p.where.find_last_of(L'\\') + 1)) + "|" + Utf8(p.why));
    std::sort(described.begin(), described.end());
    return described;
}

class ShortcutFolder : public ::testing::Test {
protected:
    void Write(const std::wstring& relative, const std::wstring& target, const std::wstring& arguments) {
        MakeFolder((sandbox_ / relative).substr(0, (sandbox_ / relative).find_last_of(L'\\')));
        ASSERT_TRUE(WriteShortcutFile(sandbox_ / relative, BrowserShortcut(target, arguments))) << Utf8(relative);
    }

    ComApartment apartment_;
    Sandbox sandbox_;
};

}  // namespace

TEST_F(ShortcutFolder, ReadGivesEveryFieldAsStored) {
    ShortcutFields fields = BrowserShortcut(CHROME, L"--profile-directory=\"Profile 1\" https://ad.example/");
    fields.workingFolder = L"C:\\Work";
    fields.iconPath = L"C:\\icons\\x.ico";
    fields.iconIndex = 3;
    fields.hotKey = MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT);
    fields.description = L"Access the Internet";
    ASSERT_TRUE(WriteShortcutFile(sandbox_ / L"Chrome.lnk", fields));
    // A shortcut to a shortcut, and one to a program that is not there, read as they are.
    ASSERT_TRUE(WriteShortcutFile(sandbox_ / L"Link to link.lnk", BrowserShortcut(sandbox_ / L"Chrome.lnk", L"")));

    ShortcutReading reading = ReadShortcut(sandbox_ / L"Chrome.lnk");
    ASSERT_EQ(reading.result, ShortcutRead::Done);
    const ShortcutFields& read = reading.fields;
    EXPECT_EQ(Utf8(read.target), Utf8(CHROME));
    EXPECT_EQ(Utf8(read.arguments), Utf8(fields.arguments));
    EXPECT_EQ(Utf8(read.workingFolder), "C:\\Work");
    EXPECT_EQ(Utf8(read.iconPath) + "," + std::to_string(read.iconIndex), "C:\\icons\\x.ico,3");
    EXPECT_EQ(read.hotKey, fields.hotKey);
    EXPECT_EQ(read.showCommand, SW_SHOWNORMAL);
    EXPECT_EQ(Utf8(read.description), "Access the Internet");
    EXPECT_FALSE(read.idList.empty());
    EXPECT_EQ(Utf8(ReadShortcut(sandbox_ / L"Link to link.lnk").fields.target), Utf8(sandbox_ / L"Chrome.lnk"));
}

TEST_F(ShortcutFolder, ReadRefusesWhatIsNoShortcut) {
    Write(L"good.lnk", CHROME, L"");
    MakeFile(sandbox_ / L"corrupt.lnk", "L\0\0\0 this is no shortcut at all");
    MakeFile(sandbox_ / L"empty.lnk", "");
    MakeFile(sandbox_ / L"truncated.lnk", ReadWholeFile(sandbox_ / L"good.lnk").substr(0, 60));
    ASSERT_TRUE(MakeSparseFile(sandbox_ / L"huge.lnk", 100ll << 20));
    MakeFolder(sandbox_ / L"folder.lnk");
    Write(L"held.lnk", CHROME, L"");
    UniqueHandle held = HoldFile(sandbox_ / L"held.lnk");

    const TableRow<const wchar_t*, ShortcutRead> rows[] = {
        {"corrupt", L"corrupt.lnk", ShortcutRead::NotAShortcut},
        {"empty", L"empty.lnk", ShortcutRead::NotAShortcut},
        {"truncated", L"truncated.lnk", ShortcutRead::NotAShortcut},
        {"100 MB", L"huge.lnk", ShortcutRead::TooLarge},
        {"folder", L"folder.lnk", ShortcutRead::NotAFile},
        {"missing", L"missing.lnk", ShortcutRead::Missing},
        {"held without sharing", L"held.lnk", ShortcutRead::Unreadable},
    };
    ExpectEachRow(rows, [&](const wchar_t* name) { return ReadShortcut(sandbox_ / name).result; });
}

TEST_F(ShortcutFolder, RepairTakesOutAddressesAndKeepsEveryOtherField) {
    ShortcutFields fields =
        BrowserShortcut(CHROME, L"--profile-directory=\"Profile 1\" https://ad.example/ --load-extension=C:\\ext");
    fields.hotKey = MAKEWORD('C', HOTKEYF_CONTROL);
    fields.description = L"Google Chrome";
    std::wstring desktop = sandbox_ / L"Desktop";
    MakeFolder(desktop);
    ASSERT_TRUE(WriteShortcutFile(desktop + L"\\Google Chrome.lnk", fields));
    Write(L"Desktop\\Edge.lnk", EDGE,
          L"http://second.example --homepage=https://home.example/ --proxy-pac-url=http://pac.example/p "
          L"--load-extension=C:\\e --disable-extensions-except=C:\\e --profile-directory=Default");
    SetFileAttributesW((desktop + L"\\Google Chrome.lnk").c_str(), FILE_ATTRIBUTE_HIDDEN);
    ShortcutFields before = ReadShortcut(desktop + L"\\Google Chrome.lnk").fields;
    std::string oldBytes = ReadWholeFile(desktop + L"\\Google Chrome.lnk");

    std::vector<std::wstring> lines;
    ShortcutBackups backups;
    ShortcutRepair repair = RepairBrowserShortcut(CapturingOptions(&lines), desktop + L"\\Google Chrome.lnk", &backups);
    RepairBrowserShortcut(CapturingOptions(&lines), desktop + L"\\Edge.lnk", &backups);

    EXPECT_EQ(repair.outcome, ShortcutRepairOutcome::Repaired);
    ShortcutFields expected = before;
    expected.arguments = L"--profile-directory=\"Profile 1\"";
    ShortcutFields after = ReadShortcut(desktop + L"\\Google Chrome.lnk").fields;
    // The flag that says a shortcut has arguments is the shell's to set.
    after.flags &= ~SLDF_HAS_ARGS;
    expected.flags &= ~SLDF_HAS_ARGS;
    EXPECT_TRUE(after == expected) << Utf8(after.arguments);
    EXPECT_TRUE(GetFileAttributesW((desktop + L"\\Google Chrome.lnk").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(Utf8(ReadShortcut(desktop + L"\\Edge.lnk").fields.arguments), "--profile-directory=Default");
    // Nothing else was left beside the shortcuts.
    std::vector<std::wstring> names;
    ForEachFolderEntry(desktop, [&](const std::wstring& name, uint32_t) { names.push_back(name); });
    EXPECT_EQ(names.size(), 2u);

    // One folder for the run, named by the local time, with the old files and their index.
    std::wstring backupsFolder = sandbox_.localAppData() + L"\\PopSwat\\Backups\\";
    ASSERT_EQ(backups.folder.rfind(backupsFolder, 0), 0u) << Utf8(backups.folder);
    std::wstring stamp = backups.folder.substr(backupsFolder.size());
    EXPECT_TRUE(stamp.size() == 17 && stamp[4] == L'-' && stamp[7] == L'-' && stamp[10] == L'_') << Utf8(stamp);
    EXPECT_EQ(Utf8(repair.backup), Utf8(backups.folder + L"\\1.lnk"));
    EXPECT_EQ(ReadWholeFile(backups.folder + L"\\1.lnk"), oldBytes);
    EXPECT_EQ(ReadWholeFile(backups.folder + L"\\index.txt"),
              "1.lnk\t" + Utf8(desktop) + "\\Google Chrome.lnk\r\n2.lnk\t" + Utf8(desktop) + "\\Edge.lnk\r\n");
    EXPECT_EQ(lines, (std::vector<std::wstring>{
                         L"  shortcut no longer opens https://ad.example/ nor loads an extension from C:\\ext: " +
                             desktop + L"\\Google Chrome.lnk",
                         L"  shortcut no longer opens http://second.example nor sets the home page to "
                         L"https://home.example/ nor loads an extension from C:\\e nor sends web traffic through "
                         L"http://pac.example/p: " +
                             desktop + L"\\Edge.lnk"}));
}

TEST_F(ShortcutFolder, RepairLeavesAloneWhatItMustNotChange) {
    struct Row {
        const char* name;
        const wchar_t* target;
        const wchar_t* arguments;
        DWORD attributes;
        bool hold;
        bool preview;
        ShortcutRepairOutcome outcome;
        const wchar_t* line;  // before ": <path>"; nullptr for none
    };
    const Row rows[] = {
        {"read-only", CHROME, L"https://ad.example/", FILE_ATTRIBUTE_READONLY, false, false,
         ShortcutRepairOutcome::LeftAlone, L"  shortcut left as it was (read-only)"},
        {"in use", CHROME, L"https://ad.example/", 0, true, false, ShortcutRepairOutcome::LeftAlone,
         L"  shortcut left as it was (in use by another program)"},
        {"preview", CHROME, L"https://ad.example/", 0, false, true, ShortcutRepairOutcome::WouldRepair,
         L"  [preview] would make the shortcut no longer open https://ad.example/"},
        {"not a browser", L"C:\\Windows\\cmd.exe", L"/c start https://ad.example/", 0, false, false,
         ShortcutRepairOutcome::LeftAlone, L"  shortcut left as it was (it does not start a browser)"},
        {"app only", CHROME, L"--app=https://app.example/", 0, false, false, ShortcutRepairOutcome::NothingToRemove,
         nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::wstring path = sandbox_ / (Utf8ToWide(row.name) + L".lnk");
        ASSERT_TRUE(WriteShortcutFile(path, BrowserShortcut(row.target, row.arguments)));
        if (row.attributes)
            SetFileAttributesW(path.c_str(), row.attributes);
        std::string bytes = ReadWholeFile(path);
        UniqueHandle held = row.hold ? HoldFile(path, GENERIC_READ, FILE_SHARE_READ) : UniqueHandle();

        std::vector<std::wstring> lines;
        ShortcutBackups backups;
        ShortcutRepair repair = RepairBrowserShortcut(CapturingOptions(&lines, row.preview), path, &backups);
        held.reset();

        EXPECT_EQ(repair.outcome, row.outcome);
        EXPECT_EQ(ReadWholeFile(path), bytes);
        ForEachFolderEntry(sandbox_.root(), [](const std::wstring& name, uint32_t) {
            EXPECT_EQ(name.find(L".popswat-"), std::wstring::npos) << Utf8(name);
        });
        std::vector<std::wstring> copies;
        if (!backups.folder.empty())
            ForEachFolderEntry(backups.folder, [&](const std::wstring& name, uint32_t) {
                if (name != L"changes.json")
                    copies.push_back(name);
            });
        EXPECT_TRUE(copies.empty()) << Utf8(copies[0]);
        for (const ChangeEntry& change : backups.record.changes)
            EXPECT_EQ(change.state, ChangeState::Left);
        EXPECT_EQ(lines, row.line ? std::vector<std::wstring>{row.line + (L": " + path)} : std::vector<std::wstring>{});
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    // Wine 8 reads every show command as a normal window's: a minimised shortcut
    // is repaired all the same, its bytes changed in the arguments alone.
    ShortcutFields minimised = BrowserShortcut(CHROME, L"https://ad.example/ --profile-directory=Default");
    minimised.showCommand = SW_SHOWMINNOACTIVE;
    ASSERT_TRUE(WriteShortcutFile(sandbox_ / L"minimised.lnk", minimised));
    std::string bytes = ReadWholeFile(sandbox_ / L"minimised.lnk");
    ShortcutBackups kept;
    std::vector<std::wstring> ignored;
    ShortcutRepair repair = RepairBrowserShortcut(CapturingOptions(&ignored), sandbox_ / L"minimised.lnk", &kept);
    std::string after = ReadWholeFile(sandbox_ / L"minimised.lnk");
    EXPECT_EQ(repair.outcome, ShortcutRepairOutcome::Repaired);
    ASSERT_GE(after.size(), 0x40u);
    EXPECT_EQ(after[0x3C], SW_SHOWMINNOACTIVE);
    EXPECT_TRUE(SameBytesOutsideArguments(bytes, after));
    EXPECT_EQ(Utf8(ReadShortcut(sandbox_ / L"minimised.lnk").fields.arguments), "--profile-directory=Default");

    // Without LOCALAPPDATA there is nowhere to keep the old file, and a dry run says so too.
    ScopedEnvironmentVariable noLocal(L"LOCALAPPDATA", nullptr);
    Write(L"nowhere.lnk", CHROME, L"https://ad.example/");
    for (bool preview : {false, true}) {
        ShortcutBackups backups;
        std::vector<std::wstring> lines;
        ShortcutRepair nowhere =
            RepairBrowserShortcut(CapturingOptions(&lines, preview), sandbox_ / L"nowhere.lnk", &backups);
        EXPECT_EQ(nowhere.outcome, ShortcutRepairOutcome::LeftAlone) << preview;
        EXPECT_EQ(Utf8(nowhere.reason), "no backup copy could be made") << preview;
    }
}

TEST_F(ShortcutFolder, FindShortcutLaunchersWalksTheFoldersButNoLinks) {
    Write(L"Desktop\\Google Chrome.lnk", CHROME, L"--profile-directory=Default https://ad.example/");
    Write(L"Desktop\\Firefox.lnk", L"C:\\Windows\\System32\\cmd.exe", L"/c start https://fox.example/");
    Write(L"Desktop\\Chrome.lnk", L"C:\\Users\\x\\AppData\\Roaming\\update.vbs", L"");
    Write(L"Desktop\\Notes.lnk", L"C:\\Windows\\notepad.exe", L"readme.txt");
    Write(L"Desktop\\Profile.lnk", CHROME, L"--profile-directory=\"Profile 1\" --app-id=abcdef");
    Write(L"Desktop\\Site.lnk", CHROME, L"--app=https://app.example/");
    Write(L"Desktop\\Visit.lnk", L"C:\\Windows\\explorer.exe", L"https://vendor.example/");
    // Through the default browser, under a browser's name.
    Write(L"Desktop\\Opera.lnk", L"C:\\Windows\\System32\\rundll32.exe",
          L"url.dll,FileProtocolHandler http://ad.example/o");
    Write(L"Desktop\\Microsoft Edge.lnk", L"C:\\Windows\\explorer.exe", L"https://edge.example/");
    Write(L"Desktop\\Brave.lnk", L"C:\\Windows\\explorer.exe", L"C:\\Users\\x\\Documents");
    // Settings that send every page elsewhere, and values that only look like addresses.
    Write(L"Desktop\\Proxy.lnk", CHROME, L"--proxy-server=\"socks5://203.0.113.7:1080\"");
    Write(L"Desktop\\Home.lnk", CHROME, L"--homepage=https://home.example/");
    Write(L"Desktop\\Work.lnk", CHROME, L"--user-data-dir=\"C:\\Data https://ad.example/\" javascript:open()");
    Write(L"Desktop\\Mozilla Firefox.lnk", L"C:\\Program Files\\Mozilla Firefox\\firefox.exe", L"-P Work.Home");
    Write(L"Programs\\Vendor\\Edge.lnk", EDGE, L"--load-extension=C:\\ext");
    Write(L"Programs\\a\\b\\c\\Too deep.lnk", CHROME, L"https://deep.example/");
    Write(L"Programs\\Startup\\Skipped.lnk", CHROME, L"https://skipped.example/");
    MakeFile(sandbox_ / L"Desktop\\corrupt.lnk", "no shortcut");
    ASSERT_TRUE(MakeSparseFile(sandbox_ / L"Desktop\\x.lnk", 100ll << 20));
    MakeFolder(sandbox_ / L"Desktop\\folder.lnk");
    // A folder link is never entered, so the shortcut behind it is not found.
    Write(L"Elsewhere\\Behind link.lnk", CHROME, L"https://behind.example/");
    bool linked = MakeUnixSymlink(sandbox_ / L"Elsewhere", sandbox_ / L"Programs\\Link");

    LauncherFindings findings;
    FolderWalkLimits limits;
    limits.maxDepth = 2;
    FindShortcutLaunchers({sandbox_ / L"Desktop", sandbox_ / L"Programs", sandbox_ / L"Missing"},
                          {sandbox_ / L"Programs\\Startup"}, limits, &findings);
    if (linked)
        RemoveUnixLink(sandbox_ / L"Programs\\Link");

    EXPECT_EQ(Describe(findings), (std::vector<std::string>{
                                      "problem|Programs|folders more than 2 levels below it were not looked at",
                                      "problem|corrupt.lnk|corrupt or not a shortcut (0x80004005)",
                                      "problem|x.lnk|larger than 1 MB, not read as a shortcut",
                                      "shortcut|Chrome.lnk|Google Chrome||n",
                                      "shortcut|Edge.lnk|Microsoft Edge||er",
                                      "shortcut|Firefox.lnk|Mozilla Firefox|https://fox.example/|n",
                                      "shortcut|Google Chrome.lnk|Google Chrome|https://ad.example/|r",
                                      "shortcut|Home.lnk|Google Chrome||hr",
                                      "shortcut|Microsoft Edge.lnk|Microsoft Edge|https://edge.example/|n",
                                      "shortcut|Opera.lnk|Opera|http://ad.example/o|n",
                                      "shortcut|Proxy.lnk|Google Chrome||tr",
                                      "shortcut|Site.lnk|Google Chrome|https://app.example/|a",
                                  }));
    const LauncherFinding& chrome =
        *std::find_if(findings.launchers.begin(), findings.launchers.end(),
                      [](const LauncherFinding& f) { return f.url == L"https://ad.example/"; });
    EXPECT_EQ(Utf8(chrome.command), "\"" + Utf8(CHROME) + "\" --profile-directory=Default https://ad.example/");
    EXPECT_TRUE(chrome.enabled);

    // A walk cut short says so once per folder given.
    LauncherFindings cut;
    limits.maxEntries = 3;
    FindShortcutLaunchers({sandbox_ / L"Desktop"}, {}, limits, &cut);
    EXPECT_EQ(std::count_if(cut.problems.begin(), cut.problems.end(),
                            [](const LauncherProblem& p) {
                                return p.why == L"only the first 3 entries in it and below were looked at";
                            }),
              1);
}

TEST_F(ShortcutFolder, FindStartupItemsLooksAtEveryKindOfItem) {
    std::wstring startup = sandbox_ / L"Startup";
    Write(L"Startup\\Updater.lnk", L"C:\\Windows\\System32\\cmd.exe", L"/c start \"\" https://cmd.example/");
    Write(L"Startup\\Helper.lnk", L"C:\\Program Files\\Helper\\helper.exe", L"--quiet");
    Write(L"Startup\\Chrome.lnk", CHROME, L"https://start.example/");
    MakeFile(startup + L"\\Deal.url",
             "[Other]\r\nURL=https://wrong.example/\r\n[InternetShortcut]\r\nIconIndex=0\r\n"
             " url = https://deal.example/ \r\n");
    MakeFile(startup + L"\\Local.url", "[InternetShortcut]\nURL=file:///C:/x.html\n");
    std::string wide = "\xFF\xFE";
    for (wchar_t c : std::wstring(L"[InternetShortcut]\r\nURL=http://wide.example/\r\n"))
        wide += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    MakeFile(startup + L"\\Wide.url", wide);
    MakeFile(startup + L"\\run.vbs",
             "Set s = CreateObject(\"WScript.Shell\")\r\ns.Run \"https://vbs.example/x\", 0\r\n");
    MakeFile(startup + L"\\clean.bat", "@echo off\r\necho hello\r\n");
    MakeFile(startup + L"\\job.wsf",
             "<job><script language=\"VBScript\">CreateObject(\"WScript.Shell\").Run "
             "\"https://wsf.example/\"</script></job>");
    MakeFile(startup + L"\\Sub\\Nested.url", "[InternetShortcut]\nURL=https://nested.example/\n");
    ASSERT_TRUE(MakeSparseFile(startup + L"\\big.cmd", 100ll << 20));

    LauncherFindings findings;
    FindStartupItems({startup, sandbox_ / L"Missing"}, &findings);
    EXPECT_EQ(Describe(findings), (std::vector<std::string>{
                                      "problem|big.cmd|larger than 1 MB, not read",
                                      "startup_item|Chrome.lnk|Google Chrome|https://start.example/|r",
                                      "startup_item|Deal.url||https://deal.example/|",
                                      "startup_item|Updater.lnk||https://cmd.example/|",
                                      "startup_item|Wide.url||http://wide.example/|",
                                      "startup_item|job.wsf||https://wsf.example/|",
                                      "startup_item|run.vbs||https://vbs.example/x|",
                                  }));
}

// With the limits a real run uses: a shortcut eight folders below a Desktop is
// found, one nine below is not, and the walk says so.
TEST_F(ShortcutFolder, FindShortcutLaunchersSaysWhereTheDefaultDepthEndsIt) {
    const TableRow<int, std::vector<std::string>> rows[] = {
        {"eight folders deep", 8, {"shortcut|Deep.lnk|Google Chrome|https://deep.example/|r"}},
        {"nine folders deep", 9, {"problem|Desktop|folders more than 8 levels below it were not looked at"}},
    };
    int tree = 0;
    ExpectEachRow(rows, [&](int depth) {
        std::wstring desktop = L"Tree " + std::to_wstring(++tree) + L"\\Desktop";
        std::wstring folder = desktop;
        for (int level = 1; level <= depth; ++level)
            folder += L"\\" + std::to_wstring(level);
        Write(folder + L"\\Deep.lnk", CHROME, L"https://deep.example/");
        LauncherFindings findings;
        FindShortcutLaunchers({sandbox_ / desktop}, {}, FolderWalkLimits(), &findings);
        return Describe(findings);
    });
}
