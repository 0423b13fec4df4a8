#include "gui/gui.h"

#include <climits>

int LeadingInteger(const wchar_t* text) {
    const wchar_t* p = text;
    // The white space _wtoi skips: space, tab, line feed, vertical tab, form feed, carriage return.
    while (*p == L' ' || (*p >= L'\t' && *p <= L'\r'))
        ++p;
    bool negative = false;
    if (*p == L'+' || *p == L'-')
        negative = *p++ == L'-';
    long long value = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        // Saturate: a wrapped value of a long digit string could land inside the accepted range.
        if (value <= INT_MAX)
            value = value * 10 + (*p - L'0');
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

int ChooseDpi(int measuredDpi, DWORD reportedLength, const wchar_t* buffer) {
    // 0: absent or empty. FORCED_DPI_BUFFER_CHARS or more: the value did not fit and the
    // buffer holds nothing of it, so it counts as absent too.
    if (reportedLength == 0 || reportedLength >= FORCED_DPI_BUFFER_CHARS)
        return measuredDpi;
    int forced = LeadingInteger(buffer);
    if (forced >= MIN_FORCED_DPI && forced <= MAX_FORCED_DPI)
        return forced;
    return measuredDpi;
}
