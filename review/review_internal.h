// Helpers shared by the review's own files.
#pragma once

#include <string>

#include "review/review.h"

// Notes the profile's file as unreadable when the reason is neither Done nor Missing.
void NoteUnreadable(const ProfilePlace& place, const std::wstring& file, JsonLoad reason, ReviewFindings* findings);

// True for a page or search address on the browser maker's own site in the
// shapes the browsers write: Google's sites (any country's) in Chrome, Bing and
// MSN (or the "{bing:baseURL}" template) in Edge, Brave Search in Brave; http or
// https, no port; and Chromium's own Google template ("{google:baseURL}...") in
// every browser of the family. False when it carries
// another company's partner code (Google's client, channel or cx other than
// Chrome's own "client=chrome"; Bing's and MSN's pc), and for every other browser.
bool IsBrowsersOwnAddress(const std::wstring& browser, const std::wstring& url);
