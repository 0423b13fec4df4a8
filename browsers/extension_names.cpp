// An extension's "__MSG_x__" name, looked up in its locale files the way the
// browser does it: the message x of the first locale that has one.
#include "browsers/json_document.h"

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

// The "message" text of the first entry named messageName (ASCII case ignored)
// in one locale file; "" when the file cannot be read or the entry holds none.
std::wstring FindLocaleMessage(const std::wstring& localeFile, const std::string& messageName) {
    // A locale file that is missing, unreadable, too large or not JSON is passed over.
    JsonDocument messages;
    if (LoadJsonObjectFile(localeFile, MaxBytes(BrowserFile::LocaleMessages), &messages) != JsonLoad::Done)
        return std::wstring();
    for (auto entry = messages.MemberBegin(); entry != messages.MemberEnd(); ++entry) {
        std::string_view name(entry->name.GetString(), entry->name.GetStringLength());
        if (EqualsIgnoringAsciiCase(name, messageName))
            return JsonText(FindJsonMember(entry->value, "message"));
    }
    return std::wstring();
}

}  // namespace

std::wstring ResolveExtensionName(const std::wstring& versionFolder,
                                  const std::string& rawName,
                                  const std::string& defaultLocale) {
    if (!IsMessageReference(rawName))
        return Utf8ToWide(rawName);
    // The closing "__" is dropped without being checked, as the browser does.
    std::string messageName = rawName.substr(MESSAGE_PREFIX_LENGTH, rawName.size() - MESSAGE_PREFIX_LENGTH - 2);
    // Without a full path, "\_locales\..." would name a folder at the root of the
    // current drive, or below the current folder: wherever that is, not the extension's.
    if (!IsFullPath(versionFolder))
        return Utf8ToWide(messageName);

    std::wstring firstLocale = Utf8ToWide(defaultLocale);
    if (!IsLocaleName(firstLocale))
        firstLocale.clear();
    const std::wstring locales[] = {firstLocale, L"en", L"en_US"};
    for (const std::wstring& locale : locales) {
        if (locale.empty())
            continue;
        std::wstring message =
            FindLocaleMessage(versionFolder + L"\\_locales\\" + locale + L"\\messages.json", messageName);
        if (!message.empty())
            return message;
    }
    return Utf8ToWide(messageName);
}
