// Helpers shared by the review's own files.
#pragma once

#include <string>

#include "review/review.h"

// Notes the profile's file as unreadable when the reason is neither Done nor Missing.
void NoteUnreadable(const ProfilePlace& place, const std::wstring& file, JsonLoad reason, ReviewFindings* findings);
