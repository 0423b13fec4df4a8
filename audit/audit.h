// The extension audit: a read-only inventory of the extensions installed in
// every browser profile, read from the browsers' JSON files by plain text search
// (audit/json_lookup.h).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "browsers/browsers.h"
#include "engine/engine.h"

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
    bool sideLoaded = false;  // no "update_url" in the manifest; never said of Firefox add-ons
    // No version's manifest could be read, or the one read opens no JSON object
    // (ManifestFields::opened): name and version are not known.
    bool manifestUnreadable = false;
};

// A Firefox "extensions.json", or its "profiles.ini", that exists but could not be read.
struct UnreadableAddonList {
    std::wstring browser;  // as the report names it: "Firefox"
    std::wstring path;
    FileRead reason;  // Unreadable or TooLarge
};

struct AuditFindings {
    std::vector<AuditedExtension> extensions;
    std::vector<UnreadableAddonList> unreadable;
};

// The extensions of one Chromium-family profile folder, in listing order, named
// as browser's profile.
AuditFindings InventoryChromiumProfile(const std::wstring& browser,
                                       const std::wstring& profile,
                                       const std::wstring& profileFolder);
// The add-ons that one Firefox profile's "extensions.json" lists, named as
// browser's, or the file when it exists but cannot be read.
AuditFindings InventoryFirefoxProfile(const std::wstring& browser, const std::wstring& profileFolder);

// ---- The report ------------------------------------------------------------------------

// One line per extension, masked and shortened, then one per unreadable add-on list.
void WriteAuditLines(const CleanupOptions& options, const AuditFindings& findings);
// Calls take with what each profile holds (BrowserProfiles), browser after
// browser in catalogue order, and for Firefox with an unread profiles.ini
// (UnreadFirefoxProfileList), whose profiles are not known.
void ForEachAuditedProfile(const std::function<void(const AuditFindings&)>& take);
// Everything ForEachAuditedProfile finds, in its order.
AuditFindings CollectAudit();

// Heading, the extension lines of every browser in catalogue order, closing advice.
void RunAudit(const CleanupOptions& options);
// {"schema": "popswat.audit/1", "extensions": [...], "unreadable": [...]}: UTF-8
// without a byte-order mark, texts as found. A name or version is null where the
// manifest could not be read, "" where it holds none.
std::string AuditJson(const AuditFindings& findings);
