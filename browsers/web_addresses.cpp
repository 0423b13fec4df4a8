// Which arguments are web addresses: schemes, host names (Unicode ones too),
// IPv4 and IPv6 addresses, and addresses written inside a longer text.
#include "browsers/launchers.h"

#include <algorithm>
#include <cwchar>

namespace {

const wchar_t* const SCHEMES[] = {L"http:", L"https:", L"ftp:", L"data:", L"chrome-extension:", L"moz-extension:"};
const wchar_t* const EMBEDDED_SCHEMES[] = {L"http://", L"https://", L"ftp://"};

// Endings of file names that would otherwise pass for a host name's last label.
const wchar_t* const FILE_ENDINGS[] = {
    L"exe", L"dll",  L"bat", L"cmd",  L"vbs", L"vbe",  L"js",   L"jse",   L"wsf", L"hta", L"lnk",  L"url",
    L"ps1", L"msi",  L"sys", L"txt",  L"log", L"ini",  L"cfg",  L"json",  L"xml", L"htm", L"html", L"pdf",
    L"crx", L"xpi",  L"zip", L"ico",  L"png", L"jpg",  L"jpeg", L"gif",   L"bmp", L"dat", L"tmp",  L"bin",
    L"doc", L"docx", L"xls", L"xlsx", L"ppt", L"pptx", L"rtf",  L"csv",   L"mp3", L"mp4", L"wav",  L"avi",
    L"reg", L"scr",  L"cpl", L"msc",  L"rar", L"iso",  L"cab",  L"ps1xml"};

// Blanks and separators outside ASCII that never stand in a host name.
bool IsUnicodeBlank(wchar_t c) {
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

// Letters, digits and hyphens; any character outside ASCII but blanks, as an
// internationalised host name holds them ("m\u00fcnchen", "\u4f8b\u3048").
bool IsHostCharacter(wchar_t c) {
    if (c >= 0x80)
        return !IsUnicodeBlank(c);
    return IsAsciiLetter(c) || (c >= L'0' && c <= L'9') || c == L'-';
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// A top-level label: letters (outside ASCII too), or the ASCII form "xn--..." of one.
bool IsTopLevelLabel(std::wstring_view label) {
    if (StartsWithIgnoringAsciiCase(label, L"xn--") && label.size() > 4)
        return true;
    if (label.size() < 2)
        return false;
    for (wchar_t c : label) {
        if (c < 0x80 && !IsAsciiLetter(c))
            return false;
    }
    return true;
}

// A host name of letters, digits and hyphens in two or more labels, the last a top-level label.
bool IsHostName(std::wstring_view host) {
    std::size_t lastDot = host.rfind(L'.');
    if (lastDot == std::wstring_view::npos || lastDot == 0)
        return false;
    std::size_t labelStart = 0;
    for (std::size_t at = 0; at <= host.size(); ++at) {
        if (at < host.size() && host[at] != L'.') {
            if (!IsHostCharacter(host[at]))
                return false;
            continue;
        }
        std::wstring_view label = host.substr(labelStart, at - labelStart);
        if (label.empty() || label.front() == L'-' || label.back() == L'-')
            return false;
        labelStart = at + 1;
    }
    std::wstring_view last = host.substr(lastDot + 1);
    if (!IsTopLevelLabel(last))
        return false;
    for (const wchar_t* ending : FILE_ENDINGS) {
        if (EqualsIgnoringAsciiCase(last, ending))
            return false;
    }
    return true;
}

// Four decimal numbers of 0 to 255 with dots between: "203.0.113.7".
bool IsIpv4Address(std::wstring_view host) {
    int parts = 0;
    for (std::size_t start = 0; start <= host.size(); ++parts) {
        std::size_t dot = host.find(L'.', start);
        std::wstring_view part = host.substr(start, dot == std::wstring_view::npos ? dot : dot - start);
        if (part.empty() || part.size() > 3)
            return false;
        int value = 0;
        for (wchar_t c : part) {
            if (!IsDigit(c))
                return false;
            value = value * 10 + (c - L'0');
        }
        if (value > 255)
            return false;
        start = dot == std::wstring_view::npos ? host.size() + 1 : dot + 1;
    }
    return parts == 4;
}

// Eight groups of one to four hexadecimal digits with colons between, or fewer
// with one "::" standing for the rest; the last two groups may be an IPv4 address.
bool IsIpv6Address(std::wstring_view host) {
    if (host.size() < 2 || host.find(L':') == std::wstring_view::npos)
        return false;
    std::size_t gap = host.find(L"::");
    if (gap != std::wstring_view::npos && host.find(L"::", gap + 1) != std::wstring_view::npos)
        return false;
    int groups = 0;
    std::size_t at = 0;
    while (at < host.size()) {
        if (at == gap) {
            at += 2;
            continue;
        }
        std::size_t end = std::min(host.find(L':', at), host.size());
        std::wstring_view group = host.substr(at, end - at);
        if (end == host.size() && group.find(L'.') != std::wstring_view::npos) {
            if (!IsIpv4Address(group))
                return false;
            groups += 2;
        } else {
            if (group.empty() || group.size() > 4)
                return false;
            for (wchar_t c : group) {
                if (HexDigitValue(static_cast<char>(c < 0x80 ? c : 0)) < 0)
                    return false;
            }
            ++groups;
        }
        if (end == host.size())
            break;
        at = end == gap ? end : end + 1;
        if (at == host.size())
            return false;  // a single colon at the end
    }
    return gap == std::wstring_view::npos ? groups == 8 : groups < 8;
}

}  // namespace

std::wstring WebAddressInText(std::wstring_view text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        for (const wchar_t* scheme : EMBEDDED_SCHEMES) {
            if (!StartsWithIgnoringAsciiCase(text.substr(at), scheme))
                continue;
            std::size_t end = text.find_first_of(L" \t\r\n\"'<>()`|,;", at);
            std::wstring_view address = text.substr(at, end == std::wstring_view::npos ? end : end - at);
            if (address.size() > std::wcslen(scheme))
                return std::wstring(address);
        }
    }
    return std::wstring();
}

bool IsWebAddress(std::wstring_view argument) {
    for (const wchar_t* scheme : SCHEMES) {
        if (StartsWithIgnoringAsciiCase(argument, scheme) && argument.size() > std::wcslen(scheme))
            return true;
    }
    if (argument.empty() || argument.front() == L'-' || argument.front() == L'/' ||
        argument.find(L'\\') != std::wstring_view::npos)
        return false;
    // "[2001:db8::1]:8080/x"; unbracketed, an IPv6 address is the whole argument or stands before a "/".
    std::size_t hostEnd = std::min(argument.find_first_of(L"/?#"), argument.size());
    if (argument.front() == L'[') {
        std::size_t close = argument.find(L']');
        if (close == std::wstring_view::npos || !IsIpv6Address(argument.substr(1, close - 1)))
            return false;
        hostEnd = close + 1;
    } else if (IsIpv6Address(argument.substr(0, hostEnd))) {
        return true;
    } else {
        hostEnd = std::min(argument.find_first_of(L"/?#:"), argument.size());
        std::wstring_view host = argument.substr(0, hostEnd);
        if (!IsHostName(host) && !IsIpv4Address(host))
            return false;
    }
    // "host:port" only; a colon followed by anything else is a drive, a scheme or a stream name.
    if (hostEnd < argument.size() && argument[hostEnd] == L':') {
        std::size_t portEnd = std::min(argument.find_first_of(L"/?#", hostEnd), argument.size());
        if (portEnd == hostEnd + 1)
            return false;
        for (std::size_t at = hostEnd + 1; at < portEnd; ++at) {
            if (!IsDigit(argument[at]))
                return false;
        }
    } else if (hostEnd < argument.size() && argument[hostEnd] != L'/' && argument[hostEnd] != L'?' &&
               argument[hostEnd] != L'#') {
        return false;
    }
    return true;
}
