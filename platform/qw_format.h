// printf-style formatting that always uses the C locale, whatever locale the host program set.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace qwp {
// As vsnprintf, in the C locale: writes at most size bytes (NUL included) and returns the length
// the full result needs, or a negative value on a bad format.
int FormatV(char* buffer, size_t size, const char* format, va_list args);
int Format(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
}  // namespace qwp
