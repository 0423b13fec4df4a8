// The audit's reading of JSON text: plain text search, no parse tree, so that a
// damaged or hostile file still yields what can be found in it. Private to
// audit/; tests include it. Positions are byte offsets; std::string::npos stands
// for no match. Plain C++ with no Windows headers, so it can also be built natively.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/base.h"

// ---- JSON value lookup -----------------------------------------------------------

// Offset of the opening quote of the first "key" (ASCII letters compared without
// regard to case) at or after start, or npos.
std::size_t FindJsonKey(const std::string& text, const std::string& key, std::size_t start);
// The string value after the first "key" at or after start, still UTF-8, its
// escapes decoded in full: \uXXXX to its character (a surrogate pair to one
// character, a lone surrogate to U+FFFD), \n \r \t \b \f to their control
// characters, any other escaped byte to itself. The four bytes after \u are read
// as a number as strtol reads them; fewer than four before the end of the text
// leave the \u out. Empty when that occurrence is not followed by a colon and a string.
std::string GetJsonString(const std::string& text, const std::string& key, std::size_t start);

// Offset of the quote that closes the string whose content starts at i, or the
// size of the text when none does; a backslash always takes the byte after it along.
std::size_t FindJsonStringEnd(const std::string& text, std::size_t i);
// Where a key's value starts, i being just past the key's closing quote: the
// offset after white space, a colon and white space (the size of the text when
// it ends there), or npos when no colon follows.
std::size_t FindJsonValue(const std::string& text, std::size_t i);
// Where a key's object value opens, i being just past the key's closing quote: the
// offset of the "{" after white space, a colon and white space, or npos.
std::size_t FindJsonObjectValue(const std::string& text, std::size_t i);
// True when the text, after a UTF-8 byte-order mark and white space, opens an
// object: it may be a JSON object, however damaged. Binary bytes, blanks, UTF-16
// text or anything else that opens no object cannot be one.
bool OpensJsonObject(const std::string& text);
// Where the value of the root object's member named exactly key starts, for the
// last such member (the browser keeps the last of a repeated name): a member of
// a nested object or array does not count, nor does anything in a string or in a
// // or /* */ comment, which the browser skips in a manifest. A text cut short or
// damaged further on still gives the members before the damage. npos for none.
std::size_t FindRootMemberValue(const std::string& text, const std::string& key);
// That member's string value, decoded as GetJsonString decodes; "" when the
// member is absent or its value is not a string.
std::string GetRootJsonString(const std::string& text, const std::string& key);
// True when that member's value is an object.
bool HasRootObjectMember(const std::string& text, const std::string& key);

// ---- Manifests ------------------------------------------------------------------------

// The display name of the extension whose manifest text this is, its "name"
// and "default_locale" the root object's own (GetRootJsonString; see
// ResolveExtensionName).
std::wstring ManifestDisplayName(const std::wstring& versionFolder, const std::string& manifest);

// ---- Firefox add-on records --------------------------------------------------------------

// One add-on record of "extensions.json", values still UTF-8.
struct FirefoxAddonRecord {
    std::string name;          // the own "name" of the object that is the record's "defaultLocale"
    std::string type;          // the record object's own "type"
    std::string location;      // the record object's own "location"
    std::string id = {};       // the record object's own "id"
    std::string version = {};  // the record object's own "version"
};

// Every record of an "extensions.json" text, in file order, one per "defaultLocale" key.
std::vector<FirefoxAddonRecord> ScanFirefoxAddonRecords(const std::string& text);
// True for records that have a name and were installed in the profile
// ("profile" in their location) or placed for every profile by another program
// (app-global, app-system-share, app-system-local, app-system-user,
// winreg-app-global, winreg-app-user), as the review names them.
bool IsListedFirefoxAddon(const FirefoxAddonRecord& record);
