// The extension audit: a read-only inventory of the extensions installed in
// every browser profile, read from the browsers' JSON files by plain text search.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/engine.h"

static_assert(sizeof(std::size_t) == 8, "JSON positions are 64-bit offsets");

// ---- Text files --------------------------------------------------------------

// The most the audit reads of one file. A larger file is reported and not read,
// so no file can exhaust memory or time (a sparse file of 100 GB costs no disk).
constexpr std::size_t MANIFEST_MAX_BYTES = std::size_t{4} << 20;           // an extension's manifest.json
constexpr std::size_t LOCALE_FILE_MAX_BYTES = std::size_t{4} << 20;        // one of its messages.json
constexpr std::size_t EXTENSIONS_JSON_MAX_BYTES = std::size_t{256} << 20;  // Firefox's extensions.json

// The whole file as raw bytes; empty when it cannot be read or holds more than
// EXTENSIONS_JSON_MAX_BYTES.
std::string ReadWholeFile(const std::wstring& path);

// ---- JSON value lookup -----------------------------------------------------------
// Plain text search, no parse tree. Positions are byte offsets; std::string::npos
// stands for no match.

// Offset of the opening quote of the first "key" (ASCII letters compared without
// regard to case) at or after start, or npos.
std::size_t FindJsonKey(const std::string& text, const std::string& key, std::size_t start);
// The string value after the first "key" at or after start, escapes resolved,
// still UTF-8; empty when that occurrence is not followed by a colon and a string.
std::string GetJsonString(const std::string& text, const std::string& key, std::size_t start);

// ---- Showing text taken from files -------------------------------------------------

// The longest name or version a report line shows, in UTF-16 units.
constexpr std::size_t MAX_SHOWN_CHARS = 200;
// Text of at most MAX_SHOWN_CHARS units: a longer one is cut, without splitting
// a surrogate pair, and ends with "...". Lines are cut at 1023 characters, and
// what must always show (the side-loaded mark) comes after the name and version.
std::wstring ShortenForLine(std::wstring text);

// ---- Chromium-family extensions -----------------------------------------------------

// Lists the extensions of every profile under one browser's user-data folder.
void AuditChromiumBrowser(const CleanupOptions& options,
                          const std::wstring& displayName,
                          const std::wstring& userDataFolder);
// Lists the extensions of one profile folder, each line labelled with label.
void AuditChromiumProfile(const CleanupOptions& options, const std::wstring& label, const std::wstring& profileFolder);
// The extension's display name: the manifest's "name", or for a "__MSG_x__"
// reference the message x of the first locale file that has it.
std::wstring ResolveExtensionName(const std::wstring& versionFolder, const std::string& manifest);

// ---- Firefox add-ons -------------------------------------------------------------------

// One add-on record of "extensions.json", values still UTF-8.
struct FirefoxAddonRecord {
    std::string name;      // the own "name" of the object that is the record's "defaultLocale"
    std::string type;      // the record object's own "type"
    std::string location;  // the record object's own "location"
};

// Every record of an "extensions.json" text, in file order, one per "defaultLocale" key.
std::vector<FirefoxAddonRecord> ScanFirefoxAddonRecords(const std::string& text);
// True for records installed in the profile with a usable name.
bool IsListedFirefoxAddon(const FirefoxAddonRecord& record);

// Lists the add-ons of every Firefox profile (FirefoxProfileFolders).
void AuditFirefox(const CleanupOptions& options);
void AuditFirefoxProfile(const CleanupOptions& options, const std::wstring& profileFolder);

// ---- The report ------------------------------------------------------------------------

// Heading, the extension lines of every browser in catalogue order, closing advice.
void RunAudit(const CleanupOptions& options);
