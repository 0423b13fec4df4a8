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

// ---- Manifests ------------------------------------------------------------------------

// The display name of the extension whose manifest text this is, its "name"
// and "default_locale" read as ReadManifest reads them (see ResolveExtensionName).
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
