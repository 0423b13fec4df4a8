// Cuts Firefox's "extensions.json" into add-on records and judges each record by
// the keys of its own objects: "type", "location", "id" and "version" of the
// record object, "name" of the record's "defaultLocale" object. Firefox has
// written "location" both before and after the "defaultLocale" object of a
// record, so nearness in the text proves nothing; and a record without a name
// must not take the next one's.
// Plain C++ with no Windows headers, so it can also be built natively.
#include "audit/json_lookup.h"

namespace {

const char ANCHOR_KEY[] = "defaultLocale";
constexpr std::size_t ANCHOR_KEY_LENGTH = sizeof(ANCHOR_KEY) - 1;
constexpr std::size_t ABSENT = std::string::npos;

// What the scan knows of one object: the first "type", "location", "id", "version"
// and "name" keys that belong to the object itself, the records whose anchor lies
// directly in it, and the record whose "defaultLocale" value it is, if any.
struct ObjectKeys {
    std::size_t type = ABSENT;
    std::size_t location = ABSENT;
    std::size_t id = ABSENT;
    std::size_t version = ABSENT;
    std::size_t name = ABSENT;
    std::size_t firstRecord = ABSENT;
    std::size_t lastRecord = ABSENT;
    std::size_t localeOfRecord = ABSENT;
};

template <std::size_t N>
bool EqualsKey(const std::string& text, std::size_t begin, std::size_t end, const char (&key)[N]) {
    if (end - begin != N - 1)  // most strings are not keys of interest: tell them by length
        return false;
    for (std::size_t i = 0; i + 1 < N; ++i) {
        if (FOLD_TABLE[static_cast<unsigned char>(text[begin + i])] != static_cast<unsigned char>(key[i]))
            return false;
    }
    return true;
}

}  // namespace

std::vector<FirefoxAddonRecord> ScanFirefoxAddonRecords(const std::string& text) {
    std::vector<FirefoxAddonRecord> records;
    std::size_t nextAnchor = FindJsonKey(text, ANCHOR_KEY, 0);
    if (nextAnchor == ABSENT)
        return records;

    // One pass over the text: braces outside strings open and close objects, and a
    // quoted "type", "location", "id", "version" or "name" followed by a colon is a
    // key of the innermost one. Each anchor belongs to the object innermost at its
    // offset; the object whose brace follows the anchor and its colon is the
    // record's locale object. Anchors are found just ahead of the pass and records
    // are completed when their objects close, so every byte is read while it is
    // still in the cache. Only open objects are kept: a closed object has completed
    // its records.
    std::vector<ObjectKeys> openObjects;
    std::vector<std::size_t> nextRecordOfObject;
    // Where the locale object of the latest anchor would open: after the key, a
    // colon and a brace, with white space between them.
    std::size_t expectedLocaleBrace = ABSENT;

    auto completeObject = [&](const ObjectKeys& keys) {
        if (keys.localeOfRecord != ABSENT && keys.name != ABSENT)
            records[keys.localeOfRecord].name = GetJsonString(text, "name", keys.name);
        if (keys.firstRecord == ABSENT)
            return;
        auto value = [&](const char* key, std::size_t at) {
            return at == ABSENT ? std::string() : GetJsonString(text, key, at);
        };
        FirefoxAddonRecord own = {std::string(), value("type", keys.type), value("location", keys.location),
                                  value("id", keys.id), value("version", keys.version)};
        for (std::size_t r = keys.firstRecord; r != ABSENT; r = nextRecordOfObject[r]) {
            own.name = std::move(records[r].name);  // from the locale object, which closed first
            if (nextRecordOfObject[r] == ABSENT)
                records[r] = std::move(own);  // the last (usually the only) record of the object
            else
                records[r] = own;
        }
    };
    auto takeAnchorsBefore = [&](std::size_t offset) {
        for (; nextAnchor != ABSENT && nextAnchor < offset;
             nextAnchor = FindJsonKey(text, ANCHOR_KEY, nextAnchor + ANCHOR_KEY_LENGTH)) {
            std::size_t r = records.size();
            records.emplace_back();
            nextRecordOfObject.push_back(ABSENT);
            expectedLocaleBrace = FindJsonObjectValue(text, nextAnchor + ANCHOR_KEY_LENGTH + 2);
            if (openObjects.empty())
                continue;  // outside every object: no type, no location
            ObjectKeys& keys = openObjects.back();
            if (keys.firstRecord == ABSENT)
                keys.firstRecord = r;
            else
                nextRecordOfObject[keys.lastRecord] = r;
            keys.lastRecord = r;
        }
    };

    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        char c = text[i];
        if (c == '{') {
            takeAnchorsBefore(i);
            openObjects.emplace_back();
            if (i == expectedLocaleBrace)
                openObjects.back().localeOfRecord = records.size() - 1;
            ++i;
        } else if (c == '}') {
            takeAnchorsBefore(i);
            if (!openObjects.empty()) {
                completeObject(openObjects.back());
                openObjects.pop_back();
            }
            ++i;
        } else if (c == '"') {
            std::size_t begin = i + 1;
            std::size_t end = FindJsonStringEnd(text, begin);
            if (end >= n)
                break;
            i = end + 1;
            if (openObjects.empty())
                continue;
            std::size_t* slot = nullptr;
            ObjectKeys& keys = openObjects.back();
            if (EqualsKey(text, begin, end, "type"))
                slot = &keys.type;
            else if (EqualsKey(text, begin, end, "location"))
                slot = &keys.location;
            else if (EqualsKey(text, begin, end, "id"))
                slot = &keys.id;
            else if (EqualsKey(text, begin, end, "version"))
                slot = &keys.version;
            else if (keys.localeOfRecord != ABSENT && EqualsKey(text, begin, end, "name"))
                slot = &keys.name;
            if (slot && *slot == ABSENT && FindJsonValue(text, i) != ABSENT)
                *slot = begin - 1;
        } else {
            ++i;
        }
    }
    // A text cut off inside its records: the objects still open end with it.
    takeAnchorsBefore(ABSENT);
    for (; !openObjects.empty(); openObjects.pop_back())
        completeObject(openObjects.back());
    return records;
}

bool IsListedFirefoxAddon(const FirefoxAddonRecord& record) {
    // Where other programs put add-ons for every profile: the system-wide folders
    // and the registry's lists. Firefox's own (app-builtin, app-system-defaults, ...) are not listed.
    static const char* const PLACED_BY_OTHERS[] = {"app-global",      "app-system-share",  "app-system-local",
                                                   "app-system-user", "winreg-app-global", "winreg-app-user"};
    if (record.name.empty())
        return false;
    if (record.location.find("profile") != std::string::npos)
        return true;  // installed in the profile itself
    for (const char* location : PLACED_BY_OTHERS) {
        if (record.location == location)
            return true;
    }
    return false;
}
