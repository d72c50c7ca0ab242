#include "platform/qw_format.h"

#include <clocale>
#include <cstdio>
#include <locale.h>

namespace qwp {
namespace {
locale_t CLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}
}  // namespace

int FormatV(char* buffer, size_t size, const char* format, va_list args)
{
    if (!format) return -1;
    locale_t c = CLocale();
    locale_t old = c ? uselocale(c) : static_cast<locale_t>(nullptr);
    int n = std::vsnprintf(buffer, size, format, args);
    if (c) uselocale(old);
    return n;
}

int Format(char* buffer, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = FormatV(buffer, size, format, args);
    va_end(args);
    return n;
}
}  // namespace qwp
