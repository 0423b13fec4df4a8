// Each finding's identity: the same finding on the same machine has the same id
// in every run, so that a person, a help desk or a script can name it
// ("popswat --fix=<id>"). It is derived from the finding's kind and what
// identifies it (browser, profile, file or key, name, value), never from its
// place in the report.
#include "review/review.h"

#include <cstdint>
#include <cwchar>

namespace {

// FNV-1a over the kind and each part, each text's UTF-16 code units as two
// bytes, each part ended by a zero unit so that "ab"+"c" and "a"+"bc" differ.
class IdDigest {
public:
    explicit IdDigest(const wchar_t* kind) { Add(kind); }

    IdDigest& Add(const std::wstring& text) { return Add(text.c_str(), text.size()); }
    IdDigest& Add(const wchar_t* text) { return Add(text, std::wcslen(text)); }

    // 48 bits as 12 lower-case hexadecimal digits: short enough to type, and
    // with the 64 bits folded in, far from a collision among a machine's findings.
    std::wstring Text() const {
        std::uint64_t folded = (hash_ ^ (hash_ >> 48)) & 0xFFFFFFFFFFFFull;
        wchar_t digits[13];
        for (int i = 11; i >= 0; --i) {
            digits[i] = L"0123456789abcdef"[folded & 0xF];
            folded >>= 4;
        }
        digits[12] = L'\0';
        return digits;
    }

private:
    IdDigest& Add(const wchar_t* text, std::size_t length) {
        for (std::size_t i = 0; i <= length; ++i) {
            unsigned unit = i < length ? static_cast<unsigned>(text[i]) & 0xFFFF : 0;
            Byte(unit & 0xFF);
            Byte(unit >> 8);
        }
        return *this;
    }
    void Byte(unsigned byte) {
        hash_ ^= byte;
        hash_ *= 0x100000001B3ull;
    }

    std::uint64_t hash_ = 0xCBF29CE484222325ull;
};

IdDigest PlaceDigest(const wchar_t* kind, const ProfilePlace& place) {
    IdDigest digest(kind);
    digest.Add(place.browser).Add(place.profile);
    return digest;
}

const wchar_t* StartupKindWord(StartupKind kind) {
    switch (kind) {
        case StartupKind::StartupPage:
            return L"startup_page";
        case StartupKind::HomePage:
            return L"home_page";
        case StartupKind::SearchEngine:
            break;
    }
    return L"search_engine";
}

}  // namespace

std::wstring FindingId(const SitePermissionFinding& finding) {
    IdDigest digest = PlaceDigest(L"site-permission", finding.place);
    digest.Add(Utf8ToWide(SitePermissionName(finding.grant.permission)));
    // Every site's default is no site of its own: "*" is no pattern a site can have.
    return digest.Add(finding.grant.allSites ? std::wstring(L"*") : finding.grant.site).Text();
}

std::wstring FindingId(const StartupFinding& finding) {
    return PlaceDigest(L"startup", finding.place)
        .Add(StartupKindWord(finding.kind))
        .Add(finding.source)
        .Add(finding.value)
        .Text();
}

std::wstring FindingId(const ExtensionFinding& finding) {
    return PlaceDigest(L"extension", finding.place).Add(finding.id).Text();
}

std::wstring FindingId(const PolicyFinding& finding) {
    return IdDigest(L"policy")
        .Add(finding.browser)
        .Add(finding.machine ? L"machine" : L"user")
        .Add(finding.name)
        .Add(finding.value)
        .Text();
}

namespace {

const wchar_t* LauncherKindWord(LauncherKind kind) {
    switch (kind) {
        case LauncherKind::Shortcut:
            return L"shortcut";
        case LauncherKind::StartupItem:
            return L"startup_item";
        case LauncherKind::RunValue:
            return L"run_value";
        case LauncherKind::ScheduledTask:
            break;
    }
    return L"scheduled_task";
}

}  // namespace

std::wstring FindingId(const LauncherFinding& finding) {
    return IdDigest(L"launcher").Add(LauncherKindWord(finding.kind)).Add(finding.location).Add(finding.command).Text();
}

std::wstring FindingId(const ProxySetting& finding) {
    return IdDigest(L"proxy").Add(finding.location).Add(finding.setting).Add(finding.value).Text();
}
