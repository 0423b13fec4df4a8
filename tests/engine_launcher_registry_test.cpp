#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "browsers/launchers.h"
#include "tests/test_support.h"

namespace {

const wchar_t RUN[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t RUN_ONCE[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const wchar_t WOW_RUN[] = L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t INTERNET_SETTINGS[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::wstring TestKeyPath() {
    return L"Software\\PopSwat-launchers-test-" + std::to_wstring(GetCurrentProcessId());
}

// "location|browser|url|command" per finding, "problem|where|why" per problem; roots shortened to HKCU and HKLM.
std::vector<std::string> Describe(const LauncherFindings& findings) {
    auto shorten = [](std::wstring text) {
        for (auto [from, to] :
             {std::pair{L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion", L"HKCU"},
              std::pair{L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion", L"HKLM"},
              std::pair{L"HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion", L"HKLM32"}}) {
            if (text.rfind(from, 0) == 0)
                text.replace(0, std::wcslen(from), to);
        }
        return Utf8(text);
    };
    std::vector<std::string> described;
    for (const LauncherFinding& f : findings.launchers) {
        EXPECT_EQ(f.kind, LauncherKind::RunValue);
        described.push_back(shorten(f.location) + "|" + Utf8(f.browser) + "|" + Utf8(f.url) + "|" + Utf8(f.command));
    }
    for (const ProxySetting& p : findings.proxy)
        described.push_back("proxy|" + Utf8(p.setting) + "|" + Utf8(p.value));
    for (const LauncherProblem& p : findings.problems)
        described.push_back("problem|" + shorten(p.where) + "|" + Utf8(p.why));
    std::sort(described.begin(), described.end());
    return described;
}

class RegistryRoots : public ::testing::Test {
protected:
    TemporaryRegistryKey base_{HKEY_CURRENT_USER, TestKeyPath()};
    TemporaryRegistryKey machine_{HKEY_CURRENT_USER, TestKeyPath() + L"\\machine"};
    TemporaryRegistryKey user_{HKEY_CURRENT_USER, TestKeyPath() + L"\\user"};
};

}  // namespace

TEST_F(RegistryRoots, FindRunValuesNamesCommandsThatOpenAWebPage) {
    ASSERT_TRUE(machine_.get() && user_.get());
    user_.SetText(RUN, L"Ad", L"\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" https://ad.example/");
    user_.SetText(RUN, L"Start", L"cmd /c start https://start.example/");
    user_.SetText(RUN, L"Itself", L"https://itself.example/");
    user_.SetText(RUN, L"Updater", L"C:\\Vendor\\updater.exe /silent https://update.example/");
    user_.SetText(RUN, L"Browser alone", L"chrome.exe --no-startup-window");
    const std::wstring expand = L"%ProgramFiles(x86)%\\Microsoft\\Edge\\Application\\msedge.exe --load-extension=C:\\e";
    user_.Set(RUN, L"Edge", REG_EXPAND_SZ, expand.c_str(), static_cast<DWORD>((expand.size() + 1) * sizeof(wchar_t)));
    user_.SetText(RUN_ONCE, L"Once", L"rundll32 url.dll,FileProtocolHandler https://once.example/");
    // Read as Windows starts them: the stored text expanded, an unquoted path split where a file is.
    ScopedEnvironmentVariable shell(L"ComSpec", L"C:\\Windows\\System32\\cmd.exe");
    const std::wstring comspec = L"%ComSpec% /c start https://comspec.example/";
    user_.Set(RUN, L"Comspec", REG_EXPAND_SZ, comspec.c_str(),
              static_cast<DWORD>((comspec.size() + 1) * sizeof(wchar_t)));
    user_.SetText(RUN, L"Unquoted",
                  L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe https://unquoted.example/");
    Sandbox sandbox;
    MakeFile(sandbox / L"Ad Tools\\cmd.exe");
    MakeFile(sandbox / L"Pop.exe");
    MakeFile(sandbox / L"Pop Tools\\cmd.exe");
    user_.SetText(RUN, L"Existing", sandbox / L"Ad Tools\\cmd.exe /c start https://existing.example/");
    user_.SetText(RUN, L"First existing", sandbox / L"Pop Tools\\cmd.exe /c start https://first.example/");
    user_.SetText(RUN, L"Encoded",
                  L"powershell -NoProfile -enc "
                  L"UwB0AGEAcgB0AC0AUAByAG8AYwBlAHMAcwAgACcAaAB0AHQAcABzADoALwAvAHAAcwAuAGUAeABhAG0AcABsAGUALwAnAA==");
    machine_.SetText(WOW_RUN, L"Wow", L"mshta https://wow.example/x.hta");
    machine_.SetNumber(RUN, L"Number", 1);
    std::wstring tooLong(40000, L'x');
    machine_.SetText(RUN, L"Long", L"cmd /c start https://long.example/" + tooLong);
    std::wstring huge(512 * 1024, L'y');
    machine_.SetText(RUN_ONCE, L"Huge", huge);

    LauncherFindings findings;
    FindRunValues({machine_.get(), user_.get()}, &findings);
    EXPECT_EQ(
        Describe(findings),
        (std::vector<std::string>{
            "HKCU\\RunOnce\\Once||https://once.example/|rundll32 url.dll,FileProtocolHandler https://once.example/",
            "HKCU\\Run\\Ad|Google Chrome|https://ad.example/|"
            "\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" https://ad.example/",
            "HKCU\\Run\\Comspec||https://comspec.example/|%ComSpec% /c start https://comspec.example/",
            "HKCU\\Run\\Edge|Microsoft Edge||" + Utf8(expand),
            "HKCU\\Run\\Encoded||https://ps.example/|powershell -NoProfile -enc "
            "UwB0AGEAcgB0AC0AUAByAG8AYwBlAHMAcwAgACcAaAB0AHQAcABzADoALwAvAHAAcwAuAGUAeABhAG0AcABsAGUALwAnAA==",
            "HKCU\\Run\\Existing||https://existing.example/|" + Utf8(sandbox / L"Ad Tools\\cmd.exe") +
                " /c start https://existing.example/",
            "HKCU\\Run\\Itself||https://itself.example/|https://itself.example/",
            "HKCU\\Run\\Start||https://start.example/|cmd /c start https://start.example/",
            "HKCU\\Run\\Unquoted|Google Chrome|https://unquoted.example/|"
            "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe https://unquoted.example/",
            "HKLM32\\Run\\Wow||https://wow.example/x.hta|mshta https://wow.example/x.hta",
            "problem|HKLM\\RunOnce\\Huge|too long (1048578 bytes), not read",
            "problem|HKLM\\Run\\Long|too long (80070 bytes), not read",
            "problem|HKLM\\Run\\Number|not text (type 4)",
        }));
}

TEST_F(RegistryRoots, FindProxySettingsNamesWhatWebTrafficGoesThrough) {
    struct Row {
        const char* name;
        int enable;  // ProxyEnable as a number; -1 absent; -2 as text "1"
        const wchar_t* server;
        const wchar_t* script;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"proxy on", 1, L"127.0.0.1:8080", nullptr, {"proxy|ProxyServer|127.0.0.1:8080"}},
        {"proxy off", 0, L"127.0.0.1:8080", nullptr, {}},
        {"any other number is on", 2, L"127.0.0.1:8080", nullptr, {"proxy|ProxyServer|127.0.0.1:8080"}},
        {"no switch", -1, L"127.0.0.1:8080", nullptr, {}},
        {"script alone",
         -1,
         nullptr,
         L"http://wpad.example/proxy.pac",
         {"proxy|AutoConfigURL|http://wpad.example/proxy.pac"}},
        {"both",
         1,
         L"http=ads.example:3128",
         L"http://pac.example/",
         {"proxy|AutoConfigURL|http://pac.example/", "proxy|ProxyServer|http=ads.example:3128"}},
        {"switch as text",
         -2,
         L"127.0.0.1:8080",
         nullptr,
         {"problem|HKCU\\Internet Settings\\ProxyEnable|not a number (type 1)"}},
        {"nothing set", -1, nullptr, nullptr, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TemporaryRegistryKey root(HKEY_CURRENT_USER, TestKeyPath() + L"\\proxy");
        if (row.enable >= 0)
            root.SetNumber(INTERNET_SETTINGS, L"ProxyEnable", static_cast<DWORD>(row.enable));
        if (row.enable == -2)
            root.SetText(INTERNET_SETTINGS, L"ProxyEnable", L"1");
        if (row.server)
            root.SetText(INTERNET_SETTINGS, L"ProxyServer", row.server);
        if (row.script)
            root.SetText(INTERNET_SETTINGS, L"AutoConfigURL", row.script);
        root.SetText(INTERNET_SETTINGS, L"User Agent", L"Mozilla/4.0");
        LauncherFindings findings;
        FindProxySettings(root.get(), &findings);
        EXPECT_EQ(Describe(findings), row.expected);
    }
    // No Internet Settings key at all: nothing, and nothing to say.
    LauncherFindings none;
    FindProxySettings(user_.get(), &none);
    EXPECT_EQ(Describe(none), std::vector<std::string>{});
}

TEST_F(RegistryRoots, ReadRegistryValuesBoundsWhatItReads) {
    user_.SetText(L"values", L"text", L"abc");
    user_.SetNumber(L"values", L"number", 7);
    user_.SetText(L"values", L"long", std::wstring(100, L'z'));
    UniqueRegistryKey key;
    ASSERT_EQ(OpenRegistryKeyForReading(user_.get(), L"values", &key), RegistryOpen::Done);
    std::vector<std::string> read;
    for (const RegistryValue& value : ReadRegistryValues(key.get(), 64))
        read.push_back(Utf8(value.name) + "=" + Utf8(value.text) + (value.tooLong ? " (too long)" : "") + " " +
                       std::to_string(value.size));
    std::sort(read.begin(), read.end());
    EXPECT_EQ(read, (std::vector<std::string>{"long= (too long) 202", "number=7 4", "text=abc 8"}));
    EXPECT_EQ(OpenRegistryKeyForReading(user_.get(), L"missing", &key), RegistryOpen::Missing);
}
