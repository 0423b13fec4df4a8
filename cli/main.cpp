#include "cli/cli.h"

#include <new>

int wmain(int argc, wchar_t** argv) {
    // Whatever escapes the program ends it with one line on standard error and
    // the failure code, never with the runtime's abort or a silent exit.
    try {
        return RunConsoleProgram(argc, argv);
    } catch (const std::bad_alloc&) {
        WriteErrorText(L"PopSwat stopped: out of memory.\n");
    } catch (...) {
        WriteErrorText(L"PopSwat stopped after an unexpected error.\n");
    }
    return 1;
}
