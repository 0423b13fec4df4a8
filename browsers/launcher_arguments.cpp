// A browser's arguments as the browser reads them: which ones open a site, set
// the home page, load an extension or send web traffic elsewhere, and which are
// only a switch's value. The review names what this reading finds and the
// shortcut repair takes out exactly that.
#include "browsers/launchers.h"

#include <algorithm>
#include <iterator>

namespace {

// Firefox's switches that take the next argument as their value.
const wchar_t* const FIREFOX_VALUE_SWITCHES[] = {
    L"P",
    L"profile",
    L"CreateProfile",
    L"search",
    L"window-size",
    L"UILocale",
    L"kiosk-monitor",
    L"remote-debugging-port",
    L"start-debugger-server",
    L"screenshot",
    L"chrome",
};
// Firefox's switches whose value is an address to open; they go with it.
const wchar_t* const FIREFOX_ADDRESS_SWITCHES[] = {L"url", L"new-tab", L"new-window"};
// Chromium's switches that send every page elsewhere.
const wchar_t* const TRAFFIC_SWITCHES[] = {L"proxy-server", L"proxy-pac-url", L"host-resolver-rules"};

struct Switch {
    std::wstring_view name;   // "" for an argument that is no switch
    std::wstring_view value;  // after "="
    bool hasValue = false;
};

Switch ReadSwitch(std::wstring_view argument) {
    std::size_t prefix = 0;
    if (StartsWithIgnoringAsciiCase(argument, L"--"))
        prefix = 2;
    else if (!argument.empty() && (argument.front() == L'-' || argument.front() == L'/'))
        prefix = 1;
    Switch read;
    if (prefix == 0 || argument.size() == prefix)
        return read;
    std::wstring_view body = argument.substr(prefix);
    std::size_t equals = body.find(L'=');
    read.name = body.substr(0, equals);
    if (equals != std::wstring_view::npos) {
        read.value = body.substr(equals + 1);
        read.hasValue = true;
    }
    return read;
}

bool NamedIn(std::wstring_view name, const wchar_t* const* begin, const wchar_t* const* end) {
    for (const wchar_t* const* listed = begin; listed != end; ++listed) {
        if (EqualsIgnoringAsciiCase(name, *listed))
            return true;
    }
    return false;
}

// "C:\a\", "c:/A" and "C:\a" name the same folder.
std::wstring FolderKey(std::wstring_view folder) {
    std::wstring key;
    for (wchar_t c : folder)
        key.push_back(c == L'/' ? L'\\' : FoldAscii(c));
    while (!key.empty() && (key.back() == L'\\' || key.back() == L' '))
        key.pop_back();
    return key;
}

std::vector<std::wstring> FolderKeys(std::wstring_view folders) {
    std::vector<std::wstring> keys;
    for (std::size_t start = 0; start <= folders.size();) {
        std::size_t end = folders.find(L',', start);
        if (end == std::wstring_view::npos)
            end = folders.size();
        std::wstring key = FolderKey(folders.substr(start, end - start));
        if (!key.empty())
            keys.push_back(key);
        start = end + 1;
    }
    return keys;
}

// The role of a switch argument; Kept for one that changes nothing the review names.
ArgumentRole SwitchRole(const Switch& read, std::wstring* value) {
    if (!read.hasValue)
        return ArgumentRole::Kept;
    *value = std::wstring(read.value);
    if (EqualsIgnoringAsciiCase(read.name, L"load-extension"))
        return ArgumentRole::LoadExtension;
    if (NamedIn(read.name, std::begin(TRAFFIC_SWITCHES), std::end(TRAFFIC_SWITCHES)) && !read.value.empty())
        return ArgumentRole::TrafficSwitch;
    bool address = IsWebAddress(read.value);
    if (EqualsIgnoringAsciiCase(read.name, L"homepage") && address)
        return ArgumentRole::HomePage;
    if (EqualsIgnoringAsciiCase(read.name, L"app") && address)
        return ArgumentRole::App;
    value->clear();
    return ArgumentRole::Kept;
}

// A "--disable-extensions-except=" whose folders are all among those loaded by removed arguments goes with them.
void MarkOnlyLoadedExtensions(std::vector<BrowserArgument>* read) {
    std::vector<std::wstring> loaded;
    for (const BrowserArgument& argument : *read) {
        if (argument.role == ArgumentRole::LoadExtension) {
            std::vector<std::wstring> keys = FolderKeys(argument.value);
            loaded.insert(loaded.end(), keys.begin(), keys.end());
        }
    }
    for (BrowserArgument& argument : *read) {
        Switch except = ReadSwitch(argument.argument.text);
        if (argument.role != ArgumentRole::Kept || !EqualsIgnoringAsciiCase(except.name, L"disable-extensions-except"))
            continue;
        std::vector<std::wstring> named = FolderKeys(except.value);
        bool onlyLoaded = !named.empty();
        for (const std::wstring& folder : named)
            onlyLoaded &= std::find(loaded.begin(), loaded.end(), folder) != loaded.end();
        if (onlyLoaded) {
            argument.role = ArgumentRole::OnlyLoadedExtensions;
            argument.value = std::wstring(except.value);
        }
    }
}

}  // namespace

bool IsRemovedRole(ArgumentRole role) {
    return role != ArgumentRole::Kept && role != ArgumentRole::App;
}

ArgumentRole RoleOfArgument(std::wstring_view argument, std::wstring* value) {
    value->clear();
    Switch named = ReadSwitch(argument);
    if (!named.name.empty())
        return SwitchRole(named, value);
    if (!IsWebAddress(argument))
        return ArgumentRole::Kept;
    *value = std::wstring(argument);
    return ArgumentRole::WebAddress;
}

std::vector<BrowserArgument> ReadBrowserArguments(const BrowserEntry& browser, std::wstring_view arguments) {
    const bool firefox = browser.kind == BrowserKind::Firefox;
    std::vector<BrowserArgument> read;
    bool valueNext = false;    // the argument before was a switch that takes the next one
    bool addressNext = false;  // it was Firefox's -url, -new-tab or -new-window
    for (CommandArgument& argument : SplitArguments(arguments)) {
        BrowserArgument next;
        next.argument = std::move(argument);
        const std::wstring& text = next.argument.text;
        Switch named = ReadSwitch(text);
        // A quote that never closes swallows the rest of the line: no browser opens that as an address.
        if (next.argument.unclosedQuote) {
            valueNext = addressNext = false;
        } else if (!named.name.empty()) {
            next.role = SwitchRole(named, &next.value);
            valueNext = firefox && !named.hasValue &&
                        NamedIn(named.name, std::begin(FIREFOX_VALUE_SWITCHES), std::end(FIREFOX_VALUE_SWITCHES));
            addressNext = firefox && !named.hasValue &&
                          NamedIn(named.name, std::begin(FIREFOX_ADDRESS_SWITCHES), std::end(FIREFOX_ADDRESS_SWITCHES));
        } else if (valueNext) {
            valueNext = false;
        } else if (IsWebAddress(text)) {
            next.role = ArgumentRole::WebAddress;
            next.value = text;
            if (addressNext)
                read.back().role = ArgumentRole::AddressSwitch;
            addressNext = false;
        } else {
            addressNext = false;
        }
        read.push_back(std::move(next));
    }
    MarkOnlyLoadedExtensions(&read);
    return read;
}

std::wstring ArgumentsWithoutWebAddresses(std::wstring_view program,
                                          const std::wstring& arguments,
                                          std::vector<std::wstring>* removed) {
    const BrowserEntry* browser = BrowserOfProgram(program);
    if (!browser)
        return arguments;
    std::vector<BrowserArgument> read = ReadBrowserArguments(*browser, arguments);
    // Each argument kept brings the blanks that stood before it, except the first one kept.
    std::wstring kept;
    std::size_t previousEnd = 0;
    bool any = false;
    for (const BrowserArgument& argument : read) {
        const CommandArgument& at = argument.argument;
        if (IsRemovedRole(argument.role)) {
            if (argument.role != ArgumentRole::AddressSwitch)
                removed->push_back(at.text);
        } else {
            if (any)
                kept.append(arguments, previousEnd, at.begin - previousEnd);
            kept.append(arguments, at.begin, at.end - at.begin);
            any = true;
        }
        previousEnd = at.end;
    }
    if (!read.empty() && !IsRemovedRole(read.back().role))
        kept.append(arguments, read.back().argument.end, std::wstring::npos);
    return kept;
}
