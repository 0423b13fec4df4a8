#include "gui/gui.h"

#include <string_view>

namespace {

constexpr std::wstring_view LOCKED_LINE_PREFIX = L"  (locked/failed) ";

}  // namespace

WPARAM RunAndClassify(const std::function<void(const CleanupOptions&)>& run) {
    try {
        bool anyLocked = false;
        CleanupOptions options;
        // The lines themselves are not shown; the sink only notes whether a file stayed behind.
        options.log = [&anyLocked](const std::wstring& line) {
            if (std::wstring_view(line).substr(0, LOCKED_LINE_PREFIX.size()) == LOCKED_LINE_PREFIX)
                anyLocked = true;
        };
        run(options);
        return anyLocked ? CLEANUP_FILES_LOCKED : CLEANUP_FINISHED;
    } catch (...) {
        return CLEANUP_FAILED;
    }
}
