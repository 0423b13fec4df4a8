#include "audit/audit.h"

#include <windows.h>

#include <fstream>
#include <iterator>

std::string ReadWholeFile(const std::wstring& path) {
    // The runtime opens with read and write sharing, so a browser holding the file
    // open for writing does not stop us; binary mode keeps CR, ^Z and NUL bytes.
    std::ifstream file(path.c_str(), std::ios::in | std::ios::binary);
    if (!file)
        return std::string();
    std::string bytes;
    // The size is only a hint: the file may grow or shrink while it is read.
    std::streamoff size = file.rdbuf()->pubseekoff(0, std::ios::end, std::ios::in);
    file.rdbuf()->pubseekoff(0, std::ios::beg, std::ios::in);
    if (size > 0)
        bytes.reserve(static_cast<std::size_t>(size));
    char chunk[64 * 1024];
    while (file.read(chunk, sizeof(chunk)) || file.gcount() > 0)
        bytes.append(chunk, static_cast<std::size_t>(file.gcount()));
    return bytes;
}
