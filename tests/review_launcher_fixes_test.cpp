#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "engine/engine_parts.h"
#include "review/review.h"
#include "tests/shortcut_writer.h"
#include "tests/test_support.h"

namespace {

const wchar_t CHROME[] = L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
const wchar_t FIREFOX[] = L"C:\\Program Files\\Mozilla Firefox\\firefox.exe";
const wchar_t CMD[] = L"C:\\Windows\\System32\\cmd.exe";
const wchar_t RUNDLL32[] = L"C:\\Windows\\System32\\rundll32.exe";

// What the review and the shortcut repair each make of one shortcut.
struct ShortcutVerdict {
    bool found = false;            // the review names it
    bool fixable = false;          // its finding carries the shortcut repair as its fix
    bool advised = false;          // the advice names --repair-shortcuts
    bool previewed = false;        // a dry run of the repair would change it
    bool nothingToRepair = false;  // the dry run says "No browser shortcut needed repairing."
    bool leftAlone = false;        // the dry run says "shortcut left as it was (...)"

    bool operator==(const ShortcutVerdict& other) const {
        return found == other.found && fixable == other.fixable && advised == other.advised &&
               previewed == other.previewed && nothingToRepair == other.nothingToRepair && leftAlone == other.leftAlone;
    }
};

void PrintTo(const ShortcutVerdict& v, std::ostream* out) {
    *out << "{found " << v.found << ", fixable " << v.fixable << ", advised " << v.advised << ", previewed "
         << v.previewed << ", nothing to repair " << v.nothingToRepair << ", left alone " << v.leftAlone << "}";
}

constexpr ShortcutVerdict NOT_FOUND{false, false, false, false, true, false};
constexpr ShortcutVerdict REPAIRED{true, true, true, true, false, false};
constexpr ShortcutVerdict NAMED_ONLY{true, false, false, false, true, false};
constexpr ShortcutVerdict KEPT{true, false, false, false, false, true};

struct Row {
    const char* name;
    const wchar_t* fileName;
    const wchar_t* target;
    const wchar_t* arguments;
    ShortcutVerdict expected;
    DWORD attributes = 0;  // set on the shortcut's file
};

bool AnyLineStarts(const std::vector<std::wstring>& lines, const std::wstring& start) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::wstring& l) { return l.rfind(start, 0) == 0; });
}

bool AnyLineHolds(const std::vector<std::wstring>& lines, const std::wstring& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::wstring& l) { return l.find(text) != std::wstring::npos; });
}

class ShortcutFixes : public ::testing::Test {
protected:
    // The row's shortcut alone in a Desktop of its own, reviewed and then repaired as a dry run.
    ShortcutVerdict Judge(const Row& row) {
        std::wstring desktop = sandbox_ / (L"Desktop " + std::to_wstring(++desktops_));
        MakeFolder(desktop);
        EXPECT_TRUE(WriteShortcutFile(desktop + L"\\" + row.fileName, BrowserShortcut(row.target, row.arguments)));
        if (row.attributes)
            SetFileAttributesW((desktop + L"\\" + row.fileName).c_str(), row.attributes);
        LauncherSources sources;
        sources.shortcutFolders = {desktop};

        ShortcutVerdict verdict;
        ReviewFindings review;
        review.launchers = FindLaunchers(sources).launchers;
        verdict.found = !review.launchers.empty();
        verdict.fixable = std::any_of(review.launchers.begin(), review.launchers.end(),
                                      [](const LauncherFinding& f) { return FixFor(f).kind != nullptr; });
        std::vector<std::wstring> report;
        WriteReviewReport(CapturingOptions(&report), review);
        verdict.advised = AnyLineHolds(report, L"--repair-shortcuts");

        std::vector<std::wstring> repair;
        RepairBrowserShortcuts(CapturingOptions(&repair, true), sources, nullptr);
        verdict.previewed = AnyLineStarts(repair, L"  [preview] would make the shortcut no longer ");
        verdict.nothingToRepair = AnyLineStarts(repair, L"  No browser shortcut needed repairing.");
        verdict.leftAlone = AnyLineStarts(repair, L"  shortcut left as it was (");
        SetFileAttributesW((desktop + L"\\" + row.fileName).c_str(), FILE_ATTRIBUTE_NORMAL);
        return verdict;
    }

    ComApartment apartment_;
    Sandbox sandbox_;
    int desktops_ = 0;
};

}  // namespace

// One rule decides what the review names, what it offers to fix and what the
// repair takes out: a finding is fixable exactly when the repair would change it.
TEST_F(ShortcutFixes, TheReviewOffersTheRepairExactlyWhereTheRepairWouldChangeTheShortcut) {
    const Row rows[] = {
        {"an address", L"Google Chrome.lnk", CHROME, L"--profile-directory=Default https://ad.example/", REPAIRED},
        {"a home page switch", L"Google Chrome.lnk", CHROME, L"--homepage=https://home.example/", REPAIRED},
        {"a home page that is no address", L"Google Chrome.lnk", CHROME, L"--homepage=about:blank", NOT_FOUND},
        {"a proxy switch", L"Google Chrome.lnk", CHROME, L"--proxy-server=203.0.113.7:8080", REPAIRED},
        {"a resolver switch", L"Google Chrome.lnk", CHROME, L"--host-resolver-rules=\"MAP * 203.0.113.7\"", REPAIRED},
        {"an extension loaded", L"Google Chrome.lnk", CHROME, L"--load-extension=C:\\ext", REPAIRED},
        {"an extension page", L"Google Chrome.lnk", CHROME,
         L"chrome-extension://abcdefghijklmnopabcdefghijklmnop/tab.html", REPAIRED},
        {"a data address", L"Google Chrome.lnk", CHROME, L"data:text/html,<b>win</b>", REPAIRED},
        {"a bare IPv4 address", L"Google Chrome.lnk", CHROME, L"203.0.113.7/win", REPAIRED},
        {"a Unicode host name", L"Google Chrome.lnk", CHROME, L"m\u00fcnchen.example", REPAIRED},
        {"a script address", L"Google Chrome.lnk", CHROME, L"javascript:open('https://ad.example/')", NOT_FOUND},
        {"an unbalanced quote", L"Google Chrome.lnk", CHROME, L"--start-maximized \"https://ad.example/", NOT_FOUND},
        {"an address inside a switch's value", L"Google Chrome.lnk", CHROME,
         L"--user-data-dir=\"C:\\Data https://ad.example/\"", NOT_FOUND},
        {"a site opened as an app", L"Google Chrome.lnk", CHROME, L"--app=https://app.example/", NAMED_ONLY},
        {"Firefox's profile name", L"Mozilla Firefox.lnk", FIREFOX, L"-P Work.Home", NOT_FOUND},
        {"Firefox's -url", L"Mozilla Firefox.lnk", FIREFOX, L"-url https://ad.example/", REPAIRED},
        {"cmd under a browser's name", L"Google Chrome.lnk", CMD, L"/c start https://ad.example/", NAMED_ONLY},
        {"rundll32 under a browser's name", L"Microsoft Edge.lnk", RUNDLL32,
         L"url.dll,FileProtocolHandler https://ad.example/", NAMED_ONLY},
        {"explorer under another name", L"Vendor.lnk", L"C:\\Windows\\explorer.exe", L"https://ad.example/", NOT_FOUND},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ShortcutVerdict verdict = Judge(row);
        EXPECT_EQ(verdict, row.expected);
        // Whatever the row expects, the review and the repair never disagree.
        EXPECT_EQ(verdict.fixable, verdict.previewed);
        EXPECT_EQ(verdict.advised, verdict.previewed);
        EXPECT_EQ(verdict.previewed + verdict.nothingToRepair + verdict.leftAlone, 1);
    }
}
