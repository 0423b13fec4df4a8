// The extension audit: a read-only inventory of the extensions installed in
// every browser profile, read from the browsers' JSON files by plain text search.
#pragma once

#include <cstddef>
#include <functional>
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
// True when the root object of the text has a member named exactly key (a member
// of a nested object does not count) whose value is an object. Braces in strings
// and in // or /* */ comments do not count.
bool HasRootObjectMember(const std::string& text, const std::string& key);

// ---- Showing text taken from files -------------------------------------------------

// The longest name or version a report line shows, in UTF-16 units.
constexpr std::size_t MAX_SHOWN_CHARS = 200;
// Text of at most MAX_SHOWN_CHARS units: a longer one is cut, without splitting
// a surrogate pair, and ends with "...". Lines are cut at 1023 characters, and
// what must always show (the side-loaded mark) comes after the name and version.
std::wstring ShortenForLine(std::wstring text);

// ---- What the audit finds ---------------------------------------------------------
// The report's lines and the JSON document are both made from these records, so
// the two cannot disagree. Texts are as found: neither masked nor shortened.

struct AuditedExtension {
    std::wstring browser;        // as the report names it: "Google Chrome", "Opera GX", "Firefox"
    std::wstring profile;        // the profile folder's name; "" for Firefox and for a user-data folder that is one
    std::wstring id;             // the extension's folder name; for Firefox the record's own "id"
    std::wstring name;           // "" when none was found
    std::wstring version;        // the manifest's or the record's own "version"; "" when none was found
    std::wstring versionFolder;  // Chromium family: the name of the version folder read (or that could not be)
    bool firefox = false;
    bool theme = false;
    bool sideLoaded = false;          // no "update_url" in the manifest; never said of Firefox add-ons
    bool manifestUnreadable = false;  // no version's manifest could be read: name and version are not known
};

// A Firefox "extensions.json" that exists but could not be read.
struct UnreadableAddonList {
    std::wstring path;
    FileRead reason;  // Unreadable or TooLarge
};

struct AuditFindings {
    std::vector<AuditedExtension> extensions;
    std::vector<UnreadableAddonList> unreadable;
};

// ---- Chromium-family extensions -----------------------------------------------------

// The extensions of one profile folder, in listing order, named as browser's profile.
AuditFindings InventoryChromiumProfile(const std::wstring& browser,
                                       const std::wstring& profile,
                                       const std::wstring& profileFolder);
// Calls take with the extensions of each profile under one browser's user-data folder.
void ForEachChromiumProfile(const std::wstring& displayName,
                            const std::wstring& userDataFolder,
                            const std::function<void(const AuditFindings&)>& take);

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
    std::string name;          // the own "name" of the object that is the record's "defaultLocale"
    std::string type;          // the record object's own "type"
    std::string location;      // the record object's own "location"
    std::string id = {};       // the record object's own "id"
    std::string version = {};  // the record object's own "version"
};

// Every record of an "extensions.json" text, in file order, one per "defaultLocale" key.
std::vector<FirefoxAddonRecord> ScanFirefoxAddonRecords(const std::string& text);
// True for records installed in the profile with a usable name.
bool IsListedFirefoxAddon(const FirefoxAddonRecord& record);

// The add-ons that one profile's "extensions.json" lists, or the file when it
// exists but cannot be read.
AuditFindings InventoryFirefoxProfile(const std::wstring& profileFolder);
// Lists the add-ons of every Firefox profile (FirefoxProfileFolders).
void AuditFirefox(const CleanupOptions& options);
void AuditFirefoxProfile(const CleanupOptions& options, const std::wstring& profileFolder);

// ---- The report ------------------------------------------------------------------------

// One line per extension, masked and shortened, then one per unreadable add-on list.
void WriteAuditLines(const CleanupOptions& options, const AuditFindings& findings);
// Calls take with what each profile holds, browser after browser in catalogue order.
void ForEachAuditedProfile(const std::function<void(const AuditFindings&)>& take);
// Everything ForEachAuditedProfile finds, in its order.
AuditFindings CollectAudit();

// Heading, the extension lines of every browser in catalogue order, closing advice.
void RunAudit(const CleanupOptions& options);
// {"schema": "popswat.audit/1", "extensions": [...], "unreadable": [...]}: UTF-8
// without a byte-order mark, texts as found. A name or version is null where the
// manifest could not be read, "" where it holds none.
std::string AuditJson(const AuditFindings& findings);
