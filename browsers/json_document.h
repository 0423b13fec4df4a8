// The browsers' JSON settings files as RapidJSON documents. Private to browsers/:
// only its own files and the tests include it; everything else gets plain records
// from browsers/browsers.h.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "browsers/browsers.h"
#include "rapidjson/document.h"

using JsonDocument = rapidjson::Document;
using JsonValue = rapidjson::Value;

// Parses a whole JSON text (a leading UTF-8 byte-order mark allowed) into
// *document without recursion; Done only when the root is an object.
JsonLoad ParseJsonObject(const std::string& bytes, JsonDocument* document);
// The same for a document that will be written back: every number is read
// exactly, and text that is not valid UTF-8 is refused (NotJson).
JsonLoad ParseJsonObjectExactly(const std::string& bytes, JsonDocument* document);
// Reads a file of at most maxBytes (see ReadFileBytes) and parses it as above.
JsonLoad LoadJsonObjectFile(const std::wstring& path, std::size_t maxBytes, JsonDocument* document);

// The value of the member called name, the last one when the name repeats (the
// browsers keep the last); nullptr when there is none or object is not an object.
const JsonValue* FindJsonMember(const JsonValue& object, std::string_view name);
// Follows the names from object to object: FindJsonPath(root, {"session", "startup_urls"}).
const JsonValue* FindJsonPath(const JsonValue& root, std::initializer_list<std::string_view> path);
// The text of a JSON string value, decoded to UTF-16; "" for anything else.
std::wstring JsonText(const JsonValue* value);
// The same as UTF-8, as stored.
std::string JsonUtf8(const JsonValue* value);
// True when the value is there and is the JSON literal true.
bool IsJsonTrue(const JsonValue* value);

// Compact UTF-8, as the browsers write it; false for text that cannot be written
// back as it was read (a lone surrogate escape).
bool SerializeJson(const JsonValue& value, std::string* bytes);
// Every value equal and every member in its place, repeated names included.
bool SameJson(const JsonValue& a, const JsonValue& b);

// The grants of a parsed Preferences document: per permission the default when
// it allows, then every exception whose setting is 1 (allow), in file order.
std::vector<SitePermissionGrant> FindSitePermissionGrants(const JsonValue& preferences);
// Removes from a parsed Preferences document exactly what FindSitePermissionGrants
// finds (see TakeBackSitePermissions), or of that only the grants chosen.
void RemoveSitePermissionGrants(JsonValue* preferences, const std::vector<SitePermissionGrant>* chosen = nullptr);

// One extension record of a profile's settings, read as ChromiumExtension says.
ChromiumExtension ReadChromiumExtension(const std::wstring& profileFolder,
                                        const std::string& id,
                                        const JsonValue& record);
