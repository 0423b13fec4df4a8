// The pages and search engines a browser sets up on its maker's own sites:
// Google's in Chrome, Bing and MSN in Edge, Brave Search in Brave. They are
// the browser's own in the shapes the browsers write them, but not when they
// carry another company's partner code (the query parameter by which a search
// site pays whoever sent the visitor).
#include <iterator>
#include <string_view>
#include <vector>

#include "review/review_internal.h"

namespace {

struct OwnSite {
    const wchar_t* browser;  // the catalogue's report name
    // Hosts compared without regard to ASCII case; "google.*" stands for Google's
    // country sites ("google.de", "google.co.uk", "google.com.au") with or without "www.".
    std::vector<const wchar_t*> hosts;
    const wchar_t* templateStart;  // the browser fills in this start of an engine's address itself
    // Partner-code parameters, and the values the browser itself uses for them.
    std::vector<const wchar_t*> partnerParameters;
    std::vector<const wchar_t*> ownPartnerValues;
};

const wchar_t GOOGLE_TEMPLATE[] = L"{google:baseURL}";

// "partner" is no parameter any of these browsers writes into its own pages; where
// it appears, someone else is paid for the visit.
const OwnSite OWN_SITES[] = {
    {L"Google Chrome", {L"google.*"}, GOOGLE_TEMPLATE, {L"client", L"channel", L"cx", L"partner"}, {L"chrome"}},
    {L"Microsoft Edge",
     {L"www.bing.com", L"bing.com", L"www.msn.com", L"msn.com", L"ntp.msn.com"},
     L"{bing:baseURL}",
     {L"pc", L"partner"},
     {}},
    {L"Brave", {L"search.brave.com", L"brave.com", L"www.brave.com"}, nullptr, {L"partner"}, {}},
};

bool IsLetters(std::wstring_view text, std::size_t least, std::size_t most) {
    if (text.size() < least || text.size() > most)
        return false;
    for (wchar_t c : text) {
        if (!IsAsciiLetter(c))
            return false;
    }
    return true;
}

// "google.com", "www.google.de", "google.co.uk", "google.com.br".
bool IsGoogleCountrySite(std::wstring_view host) {
    if (StartsWithIgnoringAsciiCase(host, L"www."))
        host.remove_prefix(4);
    if (!StartsWithIgnoringAsciiCase(host, L"google."))
        return false;
    std::wstring_view rest = host.substr(7);
    std::size_t dot = rest.find(L'.');
    if (dot == std::wstring_view::npos)
        return IsLetters(rest, 2, 3);
    std::wstring_view first = rest.substr(0, dot);
    return (EqualsIgnoringAsciiCase(first, L"co") || EqualsIgnoringAsciiCase(first, L"com")) &&
           IsLetters(rest.substr(dot + 1), 2, 2);
}

bool IsOwnHost(const OwnSite& site, std::wstring_view host) {
    for (const wchar_t* own : site.hosts) {
        if (std::wstring_view(own) == L"google.*" ? IsGoogleCountrySite(host) : EqualsIgnoringAsciiCase(host, own))
            return true;
    }
    return false;
}

// True when a query parameter is a partner code that is not the browser's own.
bool CarriesOtherPartnerCode(const OwnSite& site, std::wstring_view query) {
    for (std::size_t start = 0; start <= query.size();) {
        std::size_t end = std::min(query.find_first_of(L"&;#", start), query.size());
        std::wstring_view pair = query.substr(start, end - start);
        std::size_t equals = pair.find(L'=');
        std::wstring_view name = pair.substr(0, equals);
        std::wstring_view value = equals == std::wstring_view::npos ? std::wstring_view() : pair.substr(equals + 1);
        for (const wchar_t* partner : site.partnerParameters) {
            if (!EqualsIgnoringAsciiCase(name, partner))
                continue;
            bool own = false;
            for (const wchar_t* ownValue : site.ownPartnerValues)
                own |= EqualsIgnoringAsciiCase(value, ownValue);
            if (!own)
                return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

bool IsBrowsersOwnAddress(const std::wstring& browser, const std::wstring& url) {
    for (const OwnSite& site : OWN_SITES) {
        // Every browser of the family fills in Chromium's own Google template.
        bool googleTemplate =
            site.templateStart == GOOGLE_TEMPLATE && StartsWithIgnoringAsciiCase(url, GOOGLE_TEMPLATE);
        if (browser != site.browser && !googleTemplate)
            continue;
        std::wstring_view rest(url);
        if (site.templateStart && StartsWithIgnoringAsciiCase(rest, site.templateStart)) {
            rest.remove_prefix(std::wstring_view(site.templateStart).size());
        } else {
            std::size_t scheme = rest.find(L"://");
            std::wstring_view name = rest.substr(0, scheme);
            if (scheme == std::wstring_view::npos ||
                !(EqualsIgnoringAsciiCase(name, L"https") || EqualsIgnoringAsciiCase(name, L"http")))
                return false;
            rest.remove_prefix(scheme + 3);
            std::size_t hostEnd = std::min(rest.find_first_of(L"/?#"), rest.size());
            // A port, a user name or anything but a plain host is no shape a browser writes.
            if (!IsOwnHost(site, rest.substr(0, hostEnd)))
                return false;
            rest.remove_prefix(hostEnd);
        }
        std::size_t query = rest.find(L'?');
        return query == std::wstring_view::npos || !CarriesOtherPartnerCode(site, rest.substr(query + 1));
    }
    return false;
}
