#include <gtest/gtest.h>

#include <string>

#include "base/base.h"
#include "tests/shortcut_bytes.h"

using shortcut_bytes::Block;
using shortcut_bytes::Shortcut;

namespace {

const char CHROME[] = "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
constexpr std::size_t ARGUMENTS = 3;

// A shortcut with every section: an ID list, a LinkInfo, all five strings, every
// kind of ExtraData block, a minimised window, a hot key and header fields that
// the shell's writer resets.
Shortcut Everything(const std::wstring& arguments) {
    Shortcut shortcut = shortcut_bytes::BrowserShortcutBytes(CHROME, arguments);
    shortcut.otherFlags = 0x2000 | 0x4000 | 0x80000;  // RunAsUser, HasExpIcon, EnableTargetMetadata
    shortcut.idList = std::string(
        "\x14\x00\x1F\x50\xE0\x4F\xD0\x20\xEA\x3A\x69\x10\xA2\xD8\x08\x00\x2B\x30\x30\x9D"
        "\x00\x00",
        22);
    shortcut.strings[0] = L"Google Chrome";
    shortcut.strings[1] = L"..\\..\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
    shortcut.iconIndex = 4;
    shortcut.showCommand = 7;
    shortcut.hotKey = 0x0643;  // Ctrl+Alt+C
    shortcut.fileAttributes = 0x21;
    shortcut.blocks = shortcut_bytes::EveryBlock();
    return shortcut;
}

struct LayoutCase {
    const char* name;
    std::string bytes;
    ShortcutLayoutProblem problem;
    const wchar_t* arguments;  // as read, when the layout is sound
};

void ExpectLayout(const LayoutCase& row) {
    SCOPED_TRACE(row.name);
    ShortcutLayout layout = ReadShortcutLayout(row.bytes);
    EXPECT_EQ(layout.problem, row.problem);
    if (row.problem == ShortcutLayoutProblem::None) {
        EXPECT_EQ(ShortcutStringText(row.bytes, layout, ShortcutString::Arguments), row.arguments);
    }
}

struct EditCase {
    const char* name;
    Shortcut before;
    std::wstring arguments;
    ShortcutLayoutProblem problem;
    std::optional<Shortcut> after;  // the shortcut the edit must give, byte for byte; nullopt: refused
};

void ExpectEdit(const EditCase& row) {
    SCOPED_TRACE(row.name);
    std::string old = row.before.Build();
    ShortcutArgumentsEdit edit = ReplaceShortcutArguments(old, row.arguments);
    EXPECT_EQ(edit.problem, row.problem);
    if (!row.after) {
        EXPECT_TRUE(edit.bytes.empty());
        return;
    }
    std::string expected = row.after->Build();
    EXPECT_EQ(edit.bytes, expected);
    EXPECT_TRUE(SameBytesOutsideArguments(old, edit.bytes));
    ShortcutLayout layout = ReadShortcutLayout(edit.bytes);
    EXPECT_EQ(layout.problem, ShortcutLayoutProblem::None);
    EXPECT_EQ(ShortcutStringText(edit.bytes, layout, ShortcutString::Arguments), row.arguments);
    EXPECT_EQ(edit.oldField.offset, edit.newField.offset);
    EXPECT_EQ(edit.bytes.size() - edit.newField.size, old.size() - edit.oldField.size);
}

Shortcut WithArguments(Shortcut shortcut, const std::optional<std::wstring>& arguments) {
    shortcut.strings[ARGUMENTS] = arguments;
    return shortcut;
}

std::string Changed(std::string bytes, std::size_t at, char value) {
    bytes.at(at) = value;
    return bytes;
}

}  // namespace

TEST(ShortcutLayout, ReadsEverySectionAndRefusesWhatDoesNotAddUp) {
    std::string every = Everything(L"https://ad.example/").Build();
    Shortcut ansi = Everything(L"--x");
    ansi.unicode = false;
    Shortcut wine = Everything(L"https://ad.example/");
    wine.countTerminator = true;
    Shortcut noTerminal = Everything(L"a");
    noTerminal.terminal = false;
    Shortcut after = Everything(L"a");
    after.after = "XYZW";
    Shortcut shortBlock = Everything(L"a");
    shortBlock.blocks.push_back(std::string("\x06\x00\x00\x00\x09\x00", 6));
    Shortcut tinyLinkInfo = Everything(L"a");
    tinyLinkInfo.linkInfo = std::string("\x02\x00\x00\x00", 4);
    Shortcut bare;
    bare.strings[ARGUMENTS] = L"";
    const LayoutCase rows[] = {
        {"every section and block", every, ShortcutLayoutProblem::None, L"https://ad.example/"},
        {"strings counted with U+0000", wine.Build(), ShortcutLayoutProblem::None, L"https://ad.example/"},
        {"header and empty arguments only", bare.Build(), ShortcutLayoutProblem::None, L""},
        {"code page strings", ansi.Build(), ShortcutLayoutProblem::NotUnicode, nullptr},
        {"empty", "", ShortcutLayoutProblem::NotAShortcut, nullptr},
        {"header cut short", every.substr(0, 0x4B), ShortcutLayoutProblem::NotAShortcut, nullptr},
        {"another header size", Changed(every, 0, 0x4D), ShortcutLayoutProblem::NotAShortcut, nullptr},
        {"another class", Changed(every, 0x13, 0x47), ShortcutLayoutProblem::NotAShortcut, nullptr},
        {"ID list past the end", every.substr(0, 0x50), ShortcutLayoutProblem::SectionsDoNotAddUp, nullptr},
        {"LinkInfo shorter than its size", tinyLinkInfo.Build(), ShortcutLayoutProblem::SectionsDoNotAddUp, nullptr},
        {"string past the end", every.substr(0, 0x4C + 24 + shortcut_bytes::LocalLinkInfo(CHROME).size() + 20),
         ShortcutLayoutProblem::SectionsDoNotAddUp, nullptr},
        {"block past the end", every.substr(0, every.size() - 8), ShortcutLayoutProblem::SectionsDoNotAddUp, nullptr},
        {"block without a signature", shortBlock.Build(), ShortcutLayoutProblem::SectionsDoNotAddUp, nullptr},
        {"no terminal block", noTerminal.Build(), ShortcutLayoutProblem::SectionsDoNotAddUp, nullptr},
        {"bytes after the terminal block", after.Build(), ShortcutLayoutProblem::SectionsDoNotAddUp, nullptr},
    };
    for (const LayoutCase& row : rows)
        ExpectLayout(row);

    // Where each section is, for the shortcut with all of them.
    ShortcutLayout layout = ReadShortcutLayout(every);
    EXPECT_EQ(layout.showCommand, 7u);
    EXPECT_EQ(layout.hotKey, 0x0643);
    EXPECT_EQ(layout.iconIndex, 4);
    EXPECT_EQ(layout.idList.offset, 0x4Cu);
    EXPECT_EQ(layout.idList.size, 24u);
    EXPECT_EQ(layout.linkInfo.offset, 0x4Cu + 24);
    ASSERT_EQ(layout.extraBlocks.size(), 8u);
    EXPECT_EQ(layout.extraBlocks[0].signature, shortcut_bytes::CONSOLE);
    EXPECT_EQ(layout.extraBlocks[7].signature, shortcut_bytes::PROPERTY_STORE);
    EXPECT_EQ(layout.terminal.offset + 4, every.size());
}

TEST(ShortcutLayout, ReplacesTheArgumentsAndKeepsEveryOtherByte) {
    Shortcut every = Everything(L"--profile-directory=Default https://ad.example/");
    Shortcut wine = every;
    wine.countTerminator = true;
    Shortcut hidden = every;
    hidden.strings[ARGUMENTS] = std::wstring(L"https://ad.example/\0--hidden", 28);
    Shortcut storeHolds = every;
    storeHolds.blocks.back() =
        Block(shortcut_bytes::PROPERTY_STORE, 0x80, shortcut_bytes::Utf16(L"x https://ad.example/"));
    storeHolds.strings[ARGUMENTS] = L"https://ad.example/";
    Shortcut ansi = every;
    ansi.unicode = false;
    Shortcut trailing = every;
    trailing.after = "??";
    Shortcut onlyIcon = every;
    onlyIcon.strings = {};
    onlyIcon.strings[4] = L"C:\\x.ico";
    Shortcut none = every;
    none.strings = {};
    none.blocks.clear();

    const EditCase rows[] = {
        {"every block, minimised, hot key", every, L"--profile-directory=Default", ShortcutLayoutProblem::None,
         WithArguments(every, L"--profile-directory=Default")},
        {"strings counted with U+0000", wine, L"--profile-directory=Default", ShortcutLayoutProblem::None,
         WithArguments(wine, L"--profile-directory=Default")},
        {"nothing left: the string and its flag go", every, L"", ShortcutLayoutProblem::None,
         WithArguments(every, std::nullopt)},
        {"nothing left of a string counted with U+0000", wine, L"", ShortcutLayoutProblem::None,
         WithArguments(wine, std::nullopt)},
        {"what follows a U+0000 stays", hidden, L"", ShortcutLayoutProblem::None,
         WithArguments(hidden, std::wstring(L"\0--hidden", 9))},
        {"arguments where there were none", onlyIcon, L"--new", ShortcutLayoutProblem::None,
         WithArguments(onlyIcon, L"--new")},
        {"arguments where there was nothing", none, L"--new", ShortcutLayoutProblem::None,
         WithArguments(none, L"--new")},
        {"a pinned shortcut's own property store", every, L"--x", ShortcutLayoutProblem::None,
         WithArguments(every, L"--x")},
        {"property store with the arguments", storeHolds, L"", ShortcutLayoutProblem::ArgumentsInPropertyStore,
         std::nullopt},
        {"code page strings", ansi, L"", ShortcutLayoutProblem::NotUnicode, std::nullopt},
        {"bytes after the end", trailing, L"", ShortcutLayoutProblem::SectionsDoNotAddUp, std::nullopt},
        {"more than a count can say", every, std::wstring(0x10000, L'a'), ShortcutLayoutProblem::ArgumentsTooLong,
         std::nullopt},
    };
    for (const EditCase& row : rows)
        ExpectEdit(row);
}

TEST(ShortcutLayout, SameBytesOutsideArgumentsSeesAnyOtherChange) {
    Shortcut every = Everything(L"https://ad.example/ --a");
    std::string old = every.Build();
    std::string fewer = WithArguments(every, L"--a").Build();
    std::string none = WithArguments(every, std::nullopt).Build();
    Shortcut renamed = WithArguments(every, L"--a");
    renamed.strings[0] = L"Google Chrome!";
    Shortcut normal = WithArguments(every, L"--a");
    normal.showCommand = 1;
    Shortcut touched = WithArguments(every, L"--a");
    touched.times[2] += 1;
    Shortcut moreFlags = WithArguments(every, L"--a");
    moreFlags.otherFlags |= 0x40000;
    Shortcut lostBlock = WithArguments(every, L"--a");
    lostBlock.blocks.pop_back();
    std::string blockByte = fewer;
    blockByte[blockByte.size() - 10] ^= 1;

    const struct {
        const char* name;
        std::string changed;
        bool same;
    } rows[] = {
        {"fewer arguments", fewer, true},
        {"no arguments, the flag cleared", none, true},
        {"the same bytes", old, true},
        {"another name", renamed.Build(), false},
        {"another window state", normal.Build(), false},
        {"another write time", touched.Build(), false},
        {"another flag", moreFlags.Build(), false},
        {"a block lost", lostBlock.Build(), false},
        {"a byte of a block", blockByte, false},
        {"no shortcut", "L", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(SameBytesOutsideArguments(old, row.changed), row.same);
    }
}
