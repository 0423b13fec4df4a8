#include <gtest/gtest.h>

#include <map>
#include <string>

#include "audit/audit_testing.h"
#include "audit/json_lookup.h"
#include "tests/test_support.h"

using namespace std::string_literals;

namespace {

std::string Messages(const std::string& entries) {
    return "{\n" + entries + "\n}\n";
}

}  // namespace

TEST(ManifestDisplayName, ResolvesMessageReferencesThroughTheLocaleOrder) {
    const std::string appNameDe = R"("appName": {"message": "Notizen", "description": "d"})";
    const std::string appNameEn = R"("appName": {"message": "Notes"})";
    const std::string appNameEnUs = R"("appName": {"message": "Notes, US"})";
    const std::string other = R"("other": {"message": "Other"})";
    const std::string reference = R"({"name": "__MSG_appName__"})";
    const std::string referenceDe = R"({"name": "__MSG_appName__", "default_locale": "de"})";
    const std::map<std::wstring, std::string> en = {{L"en", Messages(appNameEn)}};
    const std::map<std::wstring, std::string> deAndEn = {{L"de", Messages(appNameDe)}, {L"en", Messages(appNameEn)}};
    struct Row {
        const char* name;
        std::string manifest;
        std::map<std::wstring, std::string> locales;  // folder under _locales -> messages.json
        std::wstring expected;
    };
    const Row rows[] = {
        {"plain name",
         R"({"name": "Sample Notes", "default_locale": "de"})",
         {{L"de", Messages(R"("Sample Notes": {"message": "x"})")}},
         L"Sample Notes"},
        {"default locale first", referenceDe, deAndEn, L"Notizen"},
        {"then en",
         referenceDe,
         {{L"de", Messages(other)}, {L"en", Messages(appNameEn)}, {L"en_US", Messages(appNameEnUs)}},
         L"Notes"},
        {"then en_US",
         referenceDe,
         {{L"de", Messages(other)}, {L"en", Messages(other)}, {L"en_US", Messages(appNameEnUs)}},
         L"Notes, US"},
        {"no default locale starts with en", reference, deAndEn, L"Notes"},
        {"default locale en_US, entry only in en",
         R"({"name": "__MSG_appName__", "default_locale": "en_US"})",
         {{L"en", Messages(appNameEn)}, {L"en_US", Messages(other)}},
         L"Notes"},
        {"hyphen is not mapped to underscore",
         R"({"name": "__MSG_appName__", "default_locale": "pt-BR"})",
         {{L"pt_BR", Messages(R"("appName": {"message": "Notas"})")}, {L"en", Messages(appNameEn)}},
         L"Notes"},
        {"no locale has it: the bare message name", referenceDe, {{L"de", Messages(other)}, {L"en", ""}}, L"appName"},
        {"no _locales folder at all", reference, {}, L"appName"},
        {"empty message goes on to the next locale",
         referenceDe,
         {{L"de", Messages(R"("appName": {"message": ""})")}, {L"en", Messages(appNameEn)}},
         L"Notes"},
        {"entry keyed in capitals", reference, {{L"en", Messages(R"("APPNAME": {"message": "Loud"})")}}, L"Loud"},
        {"an entry without a message goes on to the next locale",
         reference,
         {{L"en", Messages(R"("appName": {"description": "d"}, )" + other)}},
         L"appName"},
        {"closing bytes are not checked", R"({"name": "__MSG_appNameXY"})", en, L"Notes"},
        {"shortest reference", R"({"name": "__MSG_a__"})", {{L"en", Messages(R"("a": {"message": "A"})")}}, L"A"},
        {"8 bytes are not a reference", R"({"name": "__MSG_ab"})", en, L"__MSG_ab"},
        {"lower-case prefix is not a reference", R"({"name": "__msg_appName__"})", en, L"__msg_appName__"},
        {"escapes in the message are decoded",
         reference,
         {{L"en", Messages(R"("appName": {"message": "Caf\u0065 \"X\"\n\u00e9"})")}},
         L"Cafe \"X\"\n\xe9"},
        {"UTF-8 in the message",
         reference,
         {{L"en", Messages("\"appName\": {\"message\": \"\xe7\x8e\x8b\"}")}},
         L"\x738b"},
        {"no name", R"({"version": "1"})", en, L""},
        {"a default locale of three letters, an underscore and digits",
         R"({"name": "__MSG_appName__", "default_locale": "spa_419"})",
         {{L"spa_419", Messages(R"("appName": {"message": "Notas"})")}, {L"en", Messages(appNameEn)}},
         L"Notas"},
        {"a default locale of seven letters is no locale",
         R"({"name": "__MSG_appName__", "default_locale": "english"})",
         {{L"english", Messages(R"("appName": {"message": "Wrong"})")}, {L"en", Messages(appNameEn)}},
         L"Notes"},
        {"a default locale that is a path is no locale",
         R"({"name": "__MSG_appName__", "default_locale": "../1.0/_locales/de"})", deAndEn, L"Notes"},
        {"a NUL byte cannot cut the locale file's name short",
         "{\"name\": \"__MSG_appName__\", \"default_locale\": \"de\\\\messages.json\0\"}"s, deAndEn, L"Notes"},
        {"a locale file over the size limit is passed over",
         referenceDe,
         {{L"de",
           Messages(appNameDe + ", \"pad\": \"" + std::string(MaxBytes(BrowserFile::LocaleMessages), 'x') + "\"")},
          {L"en", Messages(appNameEn)}},
         L"Notes"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Sandbox sandbox;
        std::wstring version = sandbox / L"ext\\1.0";
        MakeFile(version + L"\\manifest.json", row.manifest);
        for (const auto& [locale, messages] : row.locales)
            MakeFile(version + L"\\_locales\\" + locale + L"\\messages.json", messages);
        EXPECT_EQ(ManifestDisplayName(version, row.manifest), row.expected);
    }
}

TEST(AuditChromiumProfile, ShowsLocalisedNamesAndMasksWhatTheLocaleFileHolds) {
    Sandbox sandbox;
    std::wstring version = sandbox / L"Default\\Extensions\\ext\\7.1_0";
    const std::string manifest = R"({"name": "__MSG_n__", "default_locale": "fr", "version": "7.1"})";
    MakeFile(version + L"\\manifest.json", manifest);
    MakeFile(version + L"\\_locales\\fr\\messages.json", R"({"n": {"message": "Bloqueur\n  [Chrome] Banque"}})");
    std::vector<std::wstring> lines;
    AuditChromiumProfile(CapturingOptions(&lines), L"Chrome", sandbox / L"Default");
    EXPECT_EQ(lines,
              std::vector<std::wstring>{L"  [Chrome] Bloqueur?  [Chrome] Banque  v7.1   <-- side-loaded, review!"});
}
