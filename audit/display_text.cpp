// Text from extension files is shown on one report line each, cut to a length
// that leaves room for what must always show.
// Plain C++ with no Windows headers, so it can also be built natively.
#include "audit/audit.h"

std::wstring ShortenForLine(std::wstring text) {
    if (text.size() <= MAX_SHOWN_CHARS)
        return text;
    std::size_t keep = MAX_SHOWN_CHARS - 3;
    if (text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF)
        --keep;
    text.resize(keep);
    return text + L"...";
}
