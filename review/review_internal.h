// Helpers shared by the review's own files.
#pragma once

#include <string>

#include "rapidjson/fwd.h"
#include "review/review.h"

// Notes the profile's file as unreadable when the reason is neither Done nor Missing.
void NoteUnreadable(const ProfilePlace& place, const wchar_t* file, JsonLoad reason, ReviewFindings* findings);
// Loads the profile's JSON file name into *document; true when it holds an
// object. Otherwise *document is null, and a file that exists is noted unreadable.
bool LoadProfileJson(const ProfilePlace& place,
                     const std::wstring& folder,
                     const wchar_t* name,
                     rapidjson::Document* document,
                     ReviewFindings* findings);

// True when the value is there and is the JSON literal true.
bool IsTrue(const rapidjson::Value* value);

// Largest manifest.json read.
constexpr std::size_t MAX_MANIFEST_BYTES = 1024 * 1024;

// Fills *finding from one extensions.settings record of a Chromium-family
// profile (and, when the record holds no manifest, from the extension's
// manifest.json); true when the extension takes over a page or was not
// installed from a store or with the browser.
bool JudgeChromiumExtension(const std::wstring& profileFolder,
                            const std::string& id,
                            const rapidjson::Value& record,
                            ExtensionFinding* finding);
