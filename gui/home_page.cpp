#include "gui/gui.h"

// Generated from the CMake cache variable POPSWAT_HOME_PAGE_URL.
#include "home_page_url.h"

const wchar_t* const HOME_PAGE_URL = POPSWAT_HOME_PAGE_URL;
