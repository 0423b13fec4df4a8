#include "audit/audit.h"

namespace {

const char MESSAGE_PREFIX[] = "__MSG_";
constexpr std::size_t MESSAGE_PREFIX_LENGTH = sizeof(MESSAGE_PREFIX) - 1;
// "__MSG_", at least one character of message name, and the two closing bytes.
constexpr std::size_t SHORTEST_REFERENCE = MESSAGE_PREFIX_LENGTH + 3;

bool IsMessageReference(const std::string& rawName) {
    return rawName.size() >= SHORTEST_REFERENCE && rawName.compare(0, MESSAGE_PREFIX_LENGTH, MESSAGE_PREFIX) == 0;
}

// "de", "pt_BR", "zh-Hant", "es_419": two or three ASCII letters, then optionally
// "_" or "-" and two to four ASCII letters or digits. Anything else, such as
// "../../x" or a name holding a NUL byte, could lead the read outside the extension.
bool IsLocaleName(const std::wstring& name) {
    std::size_t language = 0;
    while (language < name.size() && IsAsciiLetter(name[language]))
        ++language;
    if (language < 2 || language > 3)
        return false;
    if (language == name.size())
        return true;
    std::size_t region = name.size() - language - 1;
    if ((name[language] != L'_' && name[language] != L'-') || region < 2 || region > 4)
        return false;
    for (std::size_t i = language + 1; i < name.size(); ++i) {
        if (!IsAsciiLetter(name[i]) && (name[i] < L'0' || name[i] > L'9'))
            return false;
    }
    return true;
}

// The "message" text of the entry keyed messageName in one locale file, or "".
std::string FindLocaleMessage(const std::wstring& localeFile, const std::string& messageName) {
    // A locale file that is missing, unreadable or too large is passed over.
    std::string messages;
    ReadFileBytes(localeFile, LOCALE_FILE_MAX_BYTES, &messages);
    if (messages.empty())
        return std::string();
    std::size_t entry = FindJsonKey(messages, messageName, 0);
    if (entry == std::string::npos)
        return std::string();
    return GetJsonString(messages, "message", entry);
}

}  // namespace

std::wstring ResolveExtensionName(const std::wstring& versionFolder, const std::string& manifest) {
    std::string rawName = GetJsonString(manifest, "name", 0);
    if (!IsMessageReference(rawName))
        return Utf8ToWide(rawName);
    // The closing "__" is dropped without being checked, as the browser does.
    std::string messageName = rawName.substr(MESSAGE_PREFIX_LENGTH, rawName.size() - MESSAGE_PREFIX_LENGTH - 2);

    std::wstring defaultLocale = Utf8ToWide(GetJsonString(manifest, "default_locale", 0));
    if (!IsLocaleName(defaultLocale))
        defaultLocale.clear();
    const std::wstring locales[] = {defaultLocale, L"en", L"en_US"};
    for (const std::wstring& locale : locales) {
        if (locale.empty())
            continue;
        std::string message =
            FindLocaleMessage(versionFolder + L"\\_locales\\" + locale + L"\\messages.json", messageName);
        if (!message.empty())
            return Utf8ToWide(message);
    }
    return Utf8ToWide(messageName);
}
