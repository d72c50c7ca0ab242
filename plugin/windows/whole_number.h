// The whole number typed into a numeric edit line: leading blanks, an optional sign and decimal
// digits; text that is no number reads as 0, and very long numbers are held to the 32-bit range.
#pragma once

#include <cstdint>

inline int32_t ReadWholeNumber(const char* text)
{
    if (!text)
        return 0;
    while (*text == ' ' || *text == '\t')
        ++text;
    bool negative = false;
    if (*text == '-' || *text == '+')
        negative = *text++ == '-';
    int64_t v = 0;
    while (*text >= '0' && *text <= '9') {
        v = v * 10 + (*text++ - '0');
        if (v > INT32_MAX)
            v = INT64_C(1) + INT32_MAX;
    }
    if (negative)
        v = -v;
    return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v));
}
