#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>
#include <sddl.h>

#include "engine/engine_testing.h"
#include "tests/shortcut_bytes.h"
#include "tests/test_support.h"

using shortcut_bytes::Shortcut;

namespace {

const char CHROME[] = "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
constexpr std::size_t RELATIVE_PATH = 1;
constexpr std::size_t ARGUMENTS = 3;

// A pinned Chrome shortcut as Windows keeps it: every ExtraData block, a
// minimised window, a hot key, and header fields the shell's writer resets.
Shortcut Pinned(const std::wstring& arguments) {
    Shortcut shortcut = shortcut_bytes::BrowserShortcutBytes(CHROME, arguments);
    shortcut.strings[0] = L"Google Chrome";
    shortcut.showCommand = 7;
    shortcut.hotKey = 0x0643;
    shortcut.iconIndex = 2;
    shortcut.blocks = shortcut_bytes::EveryBlock();
    return shortcut;
}

Shortcut WithArguments(Shortcut shortcut, const std::optional<std::wstring>& arguments) {
    shortcut.strings[ARGUMENTS] = arguments;
    return shortcut;
}

std::vector<std::wstring> Names(const std::wstring& folder) {
    std::vector<std::wstring> names;
    ForEachFolderEntry(folder, [&](const std::wstring& name, uint32_t) { names.push_back(name); });
    std::sort(names.begin(), names.end());
    return names;
}

struct RepairCase {
    const char* name;
    Shortcut before;
    bool preview;
    ShortcutRepairOutcome outcome;
    const wchar_t* reason;          // why it was left alone; "" otherwise
    std::optional<Shortcut> after;  // the file it must be, byte for byte; nullopt: as it was
    bool folderLocked = false;      // its folder's security lets no one add or remove a file
};

// Sets a folder's security; "" gives everyone every right again.
bool LockFolder(const std::wstring& folder, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(*sddl ? sddl : L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return false;
    BOOL set = SetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    return set != FALSE;
}

class ShortcutRewriting : public ::testing::Test {
protected:
    void TearDown() override {
        shortcutRewriteBeforeLastCheck = nullptr;
        shortcutRewriteBeforeSwap = nullptr;
    }

    // Repairs the row's shortcut, alone in a folder, and checks the record, the
    // file's bytes, the copy kept and that nothing else is left beside it; a
    // repaired one is then put back, byte for byte.
    void ExpectRepair(const RepairCase& row) {
        SCOPED_TRACE(row.name);
        std::wstring folder = sandbox_ / (L"Desktop " + std::to_wstring(++folders_));
        std::wstring path = folder + L"\\Google Chrome.lnk";
        std::string old = row.before.Build();
        MakeFile(path, old);
        // Denied: adding a file (0x2) and removing one (0x40).
        if (row.folderLocked && !LockFolder(folder, L"D:(D;;0x42;;;WD)(A;OICI;FA;;;WD)"))
            GTEST_SKIP() << "no folder security here";
        std::vector<std::wstring> lines;
        ShortcutBackups backups;
        ShortcutRepair repair = RepairBrowserShortcut(CapturingOptions(&lines, row.preview), path, &backups);
        if (row.folderLocked)
            LockFolder(folder, L"");

        EXPECT_EQ(repair.outcome, row.outcome);
        EXPECT_EQ(Utf8(repair.reason), Utf8(row.reason));
        EXPECT_EQ(ReadWholeFile(path), row.after ? row.after->Build() : old);
        EXPECT_EQ(Names(folder), std::vector<std::wstring>{L"Google Chrome.lnk"});
        if (row.outcome == ShortcutRepairOutcome::Repaired) {
            EXPECT_EQ(ReadWholeFile(repair.backup), old);
            EXPECT_EQ(repair.rewrite.oldBytes, old);
            EXPECT_EQ(repair.rewrite.newBytes, ReadWholeFile(path));
            ShortcutFolderMemo folders;
            PutBackShortcutEntry(CapturingOptions(&lines), 0, &folders, &backups);
            EXPECT_EQ(backups.record.changes[0].state, ChangeState::Undone) << Utf8(backups.record.changes[0].why);
            EXPECT_EQ(ReadWholeFile(path), old);
        } else {
            EXPECT_TRUE(repair.backup.empty());
            EXPECT_TRUE(backups.folder.empty() || Names(backups.folder).empty());
        }
        if (row.outcome == ShortcutRepairOutcome::LeftAlone) {
            EXPECT_EQ(lines, std::vector<std::wstring>{L"  shortcut left as it was (" + std::wstring(row.reason) +
                                                       L"): " + path});
        }
    }

    ComApartment apartment_;
    Sandbox sandbox_;
    int folders_ = 0;
};

}  // namespace

TEST_F(ShortcutRewriting, KeepsEveryByteOutsideTheArguments) {
    Shortcut pinned = Pinned(L"--profile-directory=Default https://ad.example/");
    Shortcut wine = pinned;
    wine.countTerminator = true;
    Shortcut maximized = WithArguments(pinned, L"https://ad.example/ --load-extension=C:\\ext");
    maximized.showCommand = 3;
    maximized.otherFlags = 0x2000;  // run as administrator
    // With neither an ID list nor a LinkInfo the target is the relative path,
    // which the shell resolves when it loads a file but not when it loads bytes.
    Shortcut relative = pinned;
    relative.idList.clear();
    relative.linkInfo.clear();
    relative.strings[RELATIVE_PATH] = L"..\\Google\\Chrome\\Application\\chrome.exe";
    const RepairCase rows[] = {
        {"every block, minimised, hot key", pinned, false, ShortcutRepairOutcome::Repaired, L"",
         WithArguments(pinned, L"--profile-directory=Default")},
        {"strings counted with U+0000", wine, false, ShortcutRepairOutcome::Repaired, L"",
         WithArguments(wine, L"--profile-directory=Default")},
        {"nothing left: no arguments string", maximized, false, ShortcutRepairOutcome::Repaired, L"",
         WithArguments(maximized, std::nullopt)},
        {"target only as a relative path", relative, false, ShortcutRepairOutcome::Repaired, L"",
         WithArguments(relative, L"--profile-directory=Default")},
        {"preview", pinned, true, ShortcutRepairOutcome::WouldRepair, L"", std::nullopt},
    };
    for (const RepairCase& row : rows)
        ExpectRepair(row);
}

TEST_F(ShortcutRewriting, LeavesAloneWhatCannotBeChangedSafelyAndSaysSoInPreview) {
    Shortcut stored = Pinned(L"https://ad.example/");
    stored.blocks.back() =
        shortcut_bytes::Block(shortcut_bytes::PROPERTY_STORE, 0x80, shortcut_bytes::Utf16(L"args https://ad.example/"));
    Shortcut ansi = Pinned(L"https://ad.example/");
    ansi.unicode = false;
    Shortcut trailing = Pinned(L"https://ad.example/");
    trailing.after = "extra";
    std::vector<RepairCase> rows;
    for (bool preview : {false, true}) {
        rows.push_back({"property store holds the arguments", stored, preview, ShortcutRepairOutcome::LeftAlone,
                        L"its property store holds the arguments too", std::nullopt});
        rows.push_back({"bytes after the last block", trailing, preview, ShortcutRepairOutcome::LeftAlone,
                        L"its sections do not add up to its size", std::nullopt});
        rows.push_back({"code page strings", ansi, preview, ShortcutRepairOutcome::LeftAlone,
                        L"its texts are not stored as Unicode", std::nullopt});
        rows.push_back({"no right to add a file to its folder", Pinned(L"https://ad.example/"), preview,
                        ShortcutRepairOutcome::LeftAlone, L"no right to write in its folder", std::nullopt, true});
    }
    for (const RepairCase& row : rows)
        ExpectRepair(row);
}

TEST_F(ShortcutRewriting, AShortcutChangedWhileItIsRewrittenKeepsItsChange) {
    std::wstring path = sandbox_ / L"Desktop\\Google Chrome.lnk";
    std::string old = Pinned(L"https://ad.example/").Build();
    static std::string changed;
    changed = Pinned(L"https://other.example/ --changed").Build();
    auto change = [](const std::wstring& shortcut) { MakeFile(shortcut, changed); };
    const struct {
        const char* name;
        void (**seam)(const std::wstring&);
        ShortcutRewriteResult result;
        const wchar_t* reason;
    } rows[] = {
        {"after the new file was checked", &shortcutRewriteBeforeLastCheck, ShortcutRewriteResult::Changed,
         L"it changed while it was read"},
        {"after the last comparison", &shortcutRewriteBeforeSwap, ShortcutRewriteResult::ChangedWhileReplaced,
         L"it changed while it was replaced, and is back as it was then"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MakeFile(path, old);
        *row.seam = change;
        std::vector<std::wstring> lines;
        ShortcutBackups backups;
        ShortcutRepair repair = RepairBrowserShortcut(CapturingOptions(&lines), path, &backups);
        *row.seam = nullptr;

        EXPECT_EQ(repair.rewrite.result, row.result);
        EXPECT_EQ(lines,
                  std::vector<std::wstring>{L"  shortcut left as it was (" + std::wstring(row.reason) + L"): " + path});
        EXPECT_EQ(ReadWholeFile(path), changed);
        EXPECT_EQ(Names(sandbox_ / L"Desktop"), std::vector<std::wstring>{L"Google Chrome.lnk"});
        // No copy stays; the record says the change was left, and why.
        EXPECT_TRUE(repair.backup.empty());
        EXPECT_EQ(Names(backups.folder), std::vector<std::wstring>{L"changes.json"});
        ASSERT_EQ(backups.record.changes.size(), 1u);
        EXPECT_EQ(backups.record.changes[0].state, ChangeState::Left);
        EXPECT_EQ(backups.record.changes[0].why, row.reason);
    }

    // Called on its own, the rewrite says what it found: the bytes it read and would have written.
    shortcutRewriteBeforeLastCheck = [](const std::wstring& shortcut) { MakeFile(shortcut, "changed"); };
    ShortcutRewrite rewrite =
        RewriteShortcutArguments(path, L"https://other.example/ --changed", L"--changed", ShortcutRewriteSteps());
    EXPECT_EQ(rewrite.result, ShortcutRewriteResult::Changed);
    EXPECT_EQ(rewrite.oldBytes, changed);
    EXPECT_EQ(rewrite.newBytes, Pinned(L"--changed").Build());
    EXPECT_EQ(ReadWholeFile(path), "changed");
    // Arguments other than those it was looked at with are left alone before anything is written.
    MakeFile(path, old);
    shortcutRewriteBeforeLastCheck = [](const std::wstring&) { FAIL() << "nothing should have been written"; };
    EXPECT_EQ(RewriteShortcutArguments(path, L"--expected", L"", ShortcutRewriteSteps()).result,
              ShortcutRewriteResult::OtherArguments);
}

TEST_F(ShortcutRewriting, NeverWritesThroughALinkNorDeletesThePersonsFiles) {
    std::wstring desktop = sandbox_ / L"Desktop";
    std::wstring outside = sandbox_ / L"Outside";
    std::string pinned = Pinned(L"https://ad.example/").Build();
    MakeFile(outside + L"\\real.lnk", pinned);
    MakeFile(outside + L"\\notes.txt", "the person's notes");
    MakeFolder(desktop);
    if (!MakeUnixSymlink(outside + L"\\real.lnk", desktop + L"\\Linked.lnk") ||
        !MakeUnixSymlink(outside + L"\\notes.txt", desktop + L"\\Google Chrome.lnk.popswat-new"))
        GTEST_SKIP() << "no Unix links here";
    // Files of the person's that carry the names an earlier PopSwat used.
    MakeFile(desktop + L"\\Google Chrome.lnk.popswat-old", "kept by the person");
    MakeFile(desktop + L"\\Google Chrome.lnk", pinned);

    for (bool preview : {true, false}) {
        SCOPED_TRACE(preview ? "preview" : "run");
        std::vector<std::wstring> lines;
        ShortcutBackups backups;
        ShortcutRepair linked =
            RepairBrowserShortcut(CapturingOptions(&lines, preview), desktop + L"\\Linked.lnk", &backups);
        EXPECT_EQ(linked.rewrite.result, ShortcutRewriteResult::Link);
        EXPECT_EQ(Utf8(linked.reason), "a link, not followed");
        EXPECT_EQ(ReadWholeFile(outside + L"\\real.lnk"), pinned);
    }
    std::vector<std::wstring> lines;
    ShortcutBackups backups;
    ShortcutRepair repair = RepairBrowserShortcut(CapturingOptions(&lines), desktop + L"\\Google Chrome.lnk", &backups);
    EXPECT_EQ(repair.outcome, ShortcutRepairOutcome::Repaired);
    EXPECT_EQ(ReadWholeFile(desktop + L"\\Google Chrome.lnk"), WithArguments(Pinned(L""), std::nullopt).Build());
    EXPECT_EQ(ReadWholeFile(desktop + L"\\Google Chrome.lnk.popswat-old"), "kept by the person");
    EXPECT_EQ(ReadWholeFile(desktop + L"\\Google Chrome.lnk.popswat-new"), "the person's notes");
    EXPECT_EQ(ReadWholeFile(outside + L"\\notes.txt"), "the person's notes");
    EXPECT_EQ(Names(desktop), (std::vector<std::wstring>{L"Google Chrome.lnk", L"Google Chrome.lnk.popswat-new",
                                                         L"Google Chrome.lnk.popswat-old", L"Linked.lnk"}));
    RemoveUnixLink(desktop + L"\\Linked.lnk");
    RemoveUnixLink(desktop + L"\\Google Chrome.lnk.popswat-new");
}

TEST_F(ShortcutRewriting, AListIsRecordedWholeBeforeItsFirstShortcutChanges) {
    std::wstring folder = sandbox_ / L"Desktop";
    std::wstring locked = sandbox_ / L"Locked";
    // A folder's facts are learnt once for the list: one where no file may be added
    // stops its own shortcut, not the next one of another folder.
    const struct {
        std::wstring path;
        ShortcutRepairOutcome outcome;
        std::wstring reason;
    } rows[] = {
        {folder + L"\\One.lnk", ShortcutRepairOutcome::Repaired, L""},
        {folder + L"\\Read-only.lnk", ShortcutRepairOutcome::LeftAlone, L"read-only"},
        {folder + L"\\Two.lnk", ShortcutRepairOutcome::Repaired, L""},
        {folder + L"\\Three.lnk", ShortcutRepairOutcome::LeftAlone, L"it changed while it was read"},
        {locked + L"\\Four.lnk", ShortcutRepairOutcome::LeftAlone, L"no right to write in its folder"},
        {folder + L"\\Five.lnk", ShortcutRepairOutcome::Repaired, L""},
    };
    std::vector<ShortcutToRepair> list;
    for (const auto& row : rows) {
        list.push_back({row.path, row.path.substr(row.path.find_last_of(L'\\') + 1)});
        MakeFile(row.path, Pinned(L"https://ad.example/").Build());
    }
    SetFileAttributesW(list[1].path.c_str(), FILE_ATTRIBUTE_READONLY);
    if (!LockFolder(locked, L"D:(D;;0x42;;;WD)(A;OICI;FA;;;WD)"))
        GTEST_SKIP() << "no folder security here";
    static std::wstring record;
    static std::vector<ChangeState> statesAtFirstSwap;
    static std::wstring changeLater;
    statesAtFirstSwap.clear();
    changeLater = list[3].path;
    // At the first swap the record on the disk holds every shortcut to be changed, none done;
    // then the last one changes after its checks, before its own turn.
    shortcutRewriteBeforeSwap = [](const std::wstring&) {
        ChangeRecord onDisk;
        std::wstring why;
        if (statesAtFirstSwap.empty() && ParseChangeRecord(ReadWholeFile(record), &onDisk, &why)) {
            for (const ChangeEntry& entry : onDisk.changes)
                statesAtFirstSwap.push_back(entry.state);
            MakeFile(changeLater, Pinned(L"https://other.example/").Build());
        }
    };
    ShortcutBackups backups;
    ASSERT_TRUE(EnsureRunFolder(&backups));
    record = backups.folder + L"\\changes.json";
    std::vector<std::wstring> lines;
    std::vector<ShortcutRepair> repairs = RepairBrowserShortcutList(CapturingOptions(&lines), list, &backups);
    SetFileAttributesW(list[1].path.c_str(), FILE_ATTRIBUTE_NORMAL);
    LockFolder(locked, L"");

    EXPECT_EQ(statesAtFirstSwap, std::vector<ChangeState>(4, ChangeState::Pending));
    // One line a shortcut, in the list's order; the left one's copy is gone, its entry says why.
    ASSERT_EQ(repairs.size(), list.size());
    ASSERT_EQ(lines.size(), list.size());
    for (std::size_t n = 0; n < list.size(); ++n) {
        EXPECT_EQ(repairs[n].outcome, rows[n].outcome) << n;
        EXPECT_EQ(repairs[n].reason, rows[n].reason) << n;
        EXPECT_NE(lines[n].find(list[n].path), std::wstring::npos) << Utf8(lines[n]);
    }
    EXPECT_EQ(ReadWholeFile(list[3].path), Pinned(L"https://other.example/").Build());
    ASSERT_EQ(backups.record.changes.size(), 4u);
    EXPECT_EQ(backups.record.changes[0].findingId, L"One.lnk");
    EXPECT_EQ(backups.record.changes[1].state, ChangeState::Done);
    EXPECT_EQ(backups.record.changes[2].state, ChangeState::Left);
    EXPECT_TRUE(backups.record.changes[2].copy.empty());
    EXPECT_EQ(backups.record.changes[3].state, ChangeState::Done);
    EXPECT_EQ(Names(backups.folder),
              (std::vector<std::wstring>{L"1.lnk", L"2.lnk", L"4.lnk", L"changes.json", L"index.txt"}));
}
