#include "audit/audit.h"

std::string ReadWholeFile(const std::wstring& path) {
    std::string bytes;
    ReadFileBytes(path, EXTENSIONS_JSON_MAX_BYTES, &bytes);
    return bytes;
}
