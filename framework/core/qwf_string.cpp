#include "framework/core/qwf_string.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "platform/qw_format.h"

namespace {
char g_emptyText[1] = {0};

size_t MaxSize(size_t a, size_t b) { return a > b ? a : b; }
size_t MinSize(size_t a, size_t b) { return a < b ? a : b; }

uint8_t UpperAscii(uint8_t c) { return (c >= 0x61 && c <= 0x7A) ? static_cast<uint8_t>(c - 0x20) : c; }

// +1 when a sorts before b, -1 when after, 0 when equal.
int CompareBytes(const char* a, size_t na, const char* b, size_t nb, bool noCase)
{
    size_t n = MinSize(na, nb);
    const uint8_t* pa = reinterpret_cast<const uint8_t*>(a);
    const uint8_t* pb = reinterpret_cast<const uint8_t*>(b);
    for (size_t i = 0; i < n; ++i) {
        uint8_t ca = noCase ? UpperAscii(pa[i]) : pa[i];
        uint8_t cb = noCase ? UpperAscii(pb[i]) : pb[i];
        const int order = (ca < cb) - (ca > cb);
        if (order != 0) return order;
    }
    return (na < nb) - (na > nb);
}
}  // namespace

CQWF_String::CQWF_String()
{
    ClearError();
    if (!m_buffer.AllocZeroed(kMinCapacity)) SetError(QWF_ERR_MEMORY);
}

CQWF_String::CQWF_String(const char* text)
{
    if (!text) text = "";
    AssignRaw(text, std::strlen(text));
}

CQWF_String::CQWF_String(const CQWF_String& other) : CQWF_FrameWork()
{
    m_tag = other.m_tag;
    size_t capacity = other.m_buffer.GetSize();
    if (capacity == 0) return;
    if (!m_buffer.Alloc(capacity)) { SetError(QWF_ERR_MEMORY); return; }
    std::memcpy(m_buffer.GetData(), other.m_buffer.GetData(), capacity);
    m_length = other.m_length;
}

CQWF_String& CQWF_String::operator=(const CQWF_String& other)
{
    if (this == &other) return *this;
    ClearError();
    AssignRaw(other.GetBuffer(), other.m_length);
    return *this;
}

bool CQWF_String::AssignRaw(const char* text, size_t n)
{
    // The text may point into this string's own buffer, so the new buffer is filled before the
    // old one goes.
    CQWF_Mem fresh;
    m_length = 0;
    if (n == SIZE_MAX || !fresh.AllocZeroed(MaxSize(n + 1, kMinCapacity))) {
        m_buffer.Free();
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    if (n) std::memcpy(fresh.GetData(), text, n);
    m_buffer.Swap(fresh);
    m_length = n;
    return true;
}

CQWF_String& CQWF_String::Assign(const char* text)
{
    ClearError();
    if (!text) text = "";
    AssignRaw(text, std::strlen(text));
    return *this;
}

CQWF_String& CQWF_String::AssignString(const CQWF_String& other)
{
    if (this == &other) return *this;
    ClearError();
    m_length = 0;
    m_buffer.Free();
    m_tag = other.m_tag;
    size_t capacity = other.m_buffer.GetSize();
    if (capacity == 0) return *this;
    if (!m_buffer.Alloc(capacity)) { SetError(QWF_ERR_MEMORY); return *this; }
    std::memcpy(m_buffer.GetData(), other.m_buffer.GetData(), capacity);
    m_length = other.m_length;
    return *this;
}

char* CQWF_String::SetLength(size_t n)
{
    // n + 1 bytes must not wrap; any other length too large fails in the allocation.
    if (n == SIZE_MAX) { SetError(QWF_ERR_MEMORY); return nullptr; }
    size_t capacity = m_buffer.GetSize();
    if (capacity < n + 1) {
        if (!m_buffer.Resize(capacity + MaxSize(kMinCapacity, n + 1 - capacity))) {
            SetError(m_buffer.GetError());
            return nullptr;
        }
    }
    if (!m_buffer.Fill(0x20)) { SetError(m_buffer.GetError()); return nullptr; }
    m_buffer.GetData()[n] = 0;
    m_length = n;
    return GetBuffer();
}

char* CQWF_String::AssignBytes(const CQWF_Mem& block, size_t maxCount)
{
    ClearError();
    const char* data = reinterpret_cast<const char*>(block.GetData());
    size_t n = data ? strnlen(data, block.GetSize()) : 0;
    if (maxCount != 0 && maxCount < n) n = maxCount;
    if (!AssignRaw(data ? data : "", n)) return nullptr;
    return GetBuffer();
}

char CQWF_String::DigitChar(int value)
{
    if (value >= 0 && value <= 9) return static_cast<char>('0' + value);
    if (value >= 10 && value <= 15) return static_cast<char>('A' + value - 10);
    return '0';
}

char* CQWF_String::AssignHex(const void* pointer, size_t n)
{
    if (n > (SIZE_MAX - 2 * kMinCapacity) / 2) { SetError(QWF_ERR_MEMORY); return nullptr; }
    if (!pointer && n != 0) { SetError(QWF_ERR_ARGUMENT); return nullptr; }
    // Build aside so that a pointer into this string's own buffer stays valid while reading.
    CQWF_String hex;
    if (!hex.SetLength(2 * n)) { SetError(hex.GetError()); return nullptr; }
    const uint8_t* bytes = static_cast<const uint8_t*>(pointer);
    char* out = hex.GetBuffer();
    for (size_t i = 0; i < n; ++i) {
        out[2 * i] = DigitChar(bytes[i] >> 4);
        out[2 * i + 1] = DigitChar(bytes[i] & 0x0F);
    }
    m_buffer.Swap(hex.m_buffer);
    m_length = hex.m_length;
    return GetBuffer();
}

char* CQWF_String::AssignHex(const CQWF_Mem& block, size_t n)
{
    if (n == 0 || n >= block.GetSize()) n = block.GetSize();
    return AssignHex(block.GetData(), n);
}

char* CQWF_String::GetBuffer() const
{
    uint8_t* data = m_buffer.GetData();
    if (!data || m_buffer.GetSize() == 0) {
        g_emptyText[0] = 0;
        return g_emptyText;
    }
    return reinterpret_cast<char*>(data);
}

int8_t CQWF_String::GetAt(size_t position) const
{
    if (position >= m_length) return 0;
    return static_cast<int8_t>(GetBuffer()[position]);
}

char* CQWF_String::Append(const CQWF_String& other, size_t growBy)
{
    const size_t otherLength = other.m_length;
    const size_t needed = m_length + otherLength + 1;
    const size_t capacity = m_buffer.GetSize();
    if (capacity < needed) {
        // At least the shortfall and 20, or growBy (too large a growBy fails in the resize).
        const size_t grow = MaxSize(MinSize(growBy, SIZE_MAX / 4), MaxSize(needed - capacity, kMinCapacity));
        if (!m_buffer.Resize(capacity + grow)) {
            SetError(m_buffer.GetError());
            return nullptr;
        }
    }
    char* data = reinterpret_cast<char*>(m_buffer.GetData());
    // The other string may be this one: its bytes are read after the resize, from the new buffer.
    std::memmove(data + m_length, other.GetBuffer(), otherLength);
    data[m_length + otherLength] = 0;
    m_length += otherLength;
    return data;
}

char* CQWF_String::Append(const char* text)
{
    CQWF_String temporary(text);
    if (temporary.HasError()) { SetError(temporary.GetError()); return nullptr; }
    return Append(temporary, 0);
}

char* CQWF_String::AppendChar(char c)
{
    char text[2] = {c, 0};
    return Append(text);
}

CQWF_String& CQWF_String::operator+=(const CQWF_String& other)
{
    Append(other, 0);
    return *this;
}

CQWF_String& CQWF_String::operator+=(char c)
{
    AppendChar(c);
    return *this;
}

CQWF_String CQWF_String::Concat(const CQWF_String& a, const CQWF_String& b)
{
    CQWF_String result(a);
    result.Append(b, 0);
    return result;
}

CQWF_String CQWF_String::Concat(const char* a, const CQWF_String& b)
{
    CQWF_String result(a);
    result.Append(b, 0);
    return result;
}

CQWF_String CQWF_String::Concat(const CQWF_String& a, const char* b)
{
    CQWF_String result(a);
    result.Append(b);
    return result;
}

CQWF_String CQWF_String::Concat(const CQWF_String& a, char b)
{
    CQWF_String result(a);
    result.AppendChar(b);
    return result;
}

CQWF_String operator+(const CQWF_String& a, const CQWF_String& b) { return CQWF_String::Concat(a, b); }
CQWF_String operator+(const char* a, const CQWF_String& b) { return CQWF_String::Concat(a, b); }
CQWF_String operator+(const CQWF_String& a, const char* b) { return CQWF_String::Concat(a, b); }
CQWF_String operator+(const CQWF_String& a, char b) { return CQWF_String::Concat(a, b); }

char* CQWF_String::Insert(size_t position, const CQWF_String& other)
{
    const size_t otherLength = other.m_length;
    // A position past the end pads with spaces; one too far for any string fails in SetLength.
    const size_t newLength = otherLength + MinSize(MaxSize(position, m_length), SIZE_MAX / 2);
    CQWF_String temporary;
    if (!temporary.SetLength(newLength)) { SetError(temporary.GetError()); return nullptr; }
    char* out = temporary.GetBuffer();
    const char* own = GetBuffer();
    size_t head = MinSize(m_length, position);
    std::memcpy(out, own, head);
    std::memcpy(out + position, other.GetBuffer(), otherLength);
    std::memcpy(out + position + otherLength, own + head, m_length - head);
    m_buffer.Swap(temporary.m_buffer);
    m_length = newLength;
    return GetBuffer();
}

char* CQWF_String::InsertChar(size_t position, char c)
{
    char text[2] = {c, 0};
    CQWF_String temporary(text);
    if (temporary.HasError()) { SetError(temporary.GetError()); return nullptr; }
    return Insert(position, temporary);
}

void CQWF_String::Delete(size_t position, size_t count)
{
    // At most what lies from the position to the end.
    const size_t n = MinSize(count, m_length - MinSize(position, m_length));
    if (n == 0) return;
    char* data = GetBuffer();
    std::memmove(data + position, data + position + n, m_length - position - n + 1);
    m_length -= n;
}

CQWF_String CQWF_String::Left(size_t n) const
{
    CQWF_String result;
    result.AssignRaw(GetBuffer(), MinSize(n, m_length));
    return result;
}

CQWF_String CQWF_String::Right(size_t n) const
{
    size_t count = MinSize(n, m_length);
    CQWF_String result;
    result.AssignRaw(GetBuffer() + (m_length - count), count);
    return result;
}

CQWF_String CQWF_String::Mid(size_t start, size_t count, bool fromLeft) const
{
    CQWF_String result;
    if (start > m_length) start = m_length;
    size_t n = MinSize(count, m_length - start);
    size_t first = fromLeft ? start : m_length - start - n;
    result.AssignRaw(GetBuffer() + first, n);
    return result;
}

char* CQWF_String::Reverse()
{
    char* data = GetBuffer();
    std::reverse(data, data + m_length);
    return data;
}

char* CQWF_String::MakeUpper()
{
    ClearError();
    char* data = GetBuffer();
    for (size_t i = 0; i < m_length; ++i)
        data[i] = static_cast<char>(UpperAscii(static_cast<uint8_t>(data[i])));
    return data;
}

char* CQWF_String::TrimLeft()
{
    ClearError();
    char* data = GetBuffer();
    size_t n = 0;
    while (n < m_length && data[n] == ' ') ++n;
    if (n) {
        std::memmove(data, data + n, m_length - n + 1);
        m_length -= n;
    }
    return data;
}

char* CQWF_String::TrimRight()
{
    ClearError();
    char* data = GetBuffer();
    while (m_length > 0 && data[m_length - 1] == ' ') --m_length;
    if (m_buffer.GetSize() > m_length) data[m_length] = 0;
    return data;
}

char* CQWF_String::Trim()
{
    TrimRight();
    return TrimLeft();
}

char* CQWF_String::Format(const char* format, ...)
{
    if (!format) { SetError(QWF_ERR_ARGUMENT); return nullptr; }
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int n = qwp::FormatV(nullptr, 0, format, measure);
    va_end(measure);
    if (n < 0) {
        va_end(args);
        SetError(QWF_ERR_ARGUMENT);
        return nullptr;
    }
    // Formatted aside first: an argument may point into this string's own buffer.
    CQWF_Mem text;
    if (!text.Alloc(static_cast<size_t>(n) + 1)) {
        va_end(args);
        SetError(text.GetError());
        return nullptr;
    }
    qwp::FormatV(reinterpret_cast<char*>(text.GetData()), static_cast<size_t>(n) + 1, format, args);
    va_end(args);
    if (!SetLength(static_cast<size_t>(n))) return nullptr;
    std::memcpy(GetBuffer(), text.GetData(), static_cast<size_t>(n) + 1);
    return GetBuffer();
}

int CQWF_String::Compare(const CQWF_String& other) const
{
    return CompareBytes(GetBuffer(), m_length, other.GetBuffer(), other.m_length, false);
}

int CQWF_String::Compare(const char* text) const
{
    if (!text) text = "";
    return CompareBytes(GetBuffer(), m_length, text, std::strlen(text), false);
}

int CQWF_String::Compare(char c) const
{
    char text[2] = {c, 0};
    return Compare(text);
}

int CQWF_String::Compare(const CQWF_String& other)
{
    ClearError();
    return static_cast<const CQWF_String&>(*this).Compare(other);
}

int CQWF_String::Compare(const char* text)
{
    ClearError();
    return static_cast<const CQWF_String&>(*this).Compare(text);
}

int CQWF_String::Compare(char c)
{
    ClearError();
    return static_cast<const CQWF_String&>(*this).Compare(c);
}

int CQWF_String::CompareNoCase(const CQWF_String& other) const
{
    return CompareBytes(GetBuffer(), m_length, other.GetBuffer(), other.m_length, true);
}

int CQWF_String::CompareNoCase(const char* text) const
{
    if (!text) text = "";
    return CompareBytes(GetBuffer(), m_length, text, std::strlen(text), true);
}

int CQWF_String::CompareNoCase(const CQWF_String& other)
{
    ClearError();
    return static_cast<const CQWF_String&>(*this).CompareNoCase(other);
}

int CQWF_String::CompareNoCase(const char* text)
{
    ClearError();
    return static_cast<const CQWF_String&>(*this).CompareNoCase(text);
}

int64_t CQWF_String::Find(const char* text, size_t start, bool forward) const
{
    if (!text) text = "";
    if (start >= m_length) return -1;
    const char* data = GetBuffer();
    if (forward) {
        const char* hit = std::strstr(data + start, text);
        return hit ? static_cast<int64_t>(hit - data) : -1;
    }
    // Search the reversed text from `start` without building reversed copies: a match at
    // reversed position r covers the characters [length - r - m, length - r).
    size_t m = std::strlen(text);
    for (size_t r = start; r + m <= m_length; ++r) {
        if (std::memcmp(data + (m_length - r - m), text, m) == 0) return static_cast<int64_t>(r);
    }
    return -1;
}

int64_t CQWF_String::Find(const CQWF_String& other, size_t start, bool forward) const
{
    return Find(other.GetBuffer(), start, forward);
}

int64_t CQWF_String::FindChar(char c, size_t start, bool forward) const
{
    char text[2] = {c, 0};
    return Find(text, start, forward);
}
