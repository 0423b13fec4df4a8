#include "cli/cli.h"

#include <new>

int wmain(int argc, wchar_t** argv) {
    // Memory exhaustion is the one failure the engine lets through: end with
    // the failure code rather than the runtime's abort.
    try {
        return RunConsoleProgram(argc, argv);
    } catch (const std::bad_alloc&) {
        return 1;
    }
}
