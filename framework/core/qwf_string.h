// The one text type of the framework: 8-bit NUL-terminated text in an owned buffer, with a
// 32-bit tag that travels with copies.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_mem.h"

class CQWF_String : public CQWF_FrameWork {
public:
    // Smallest capacity of a string that holds a buffer; also the least growth step.
    static constexpr size_t kMinCapacity = 20;

    CQWF_String();
    CQWF_String(const char* text);  // NOLINT: implicit on purpose, texts pass as strings
    CQWF_String(const CQWF_String& other);
    ~CQWF_String() override = default;

    // Assigns the text only; the tag of this string stays (use AssignString to copy the tag).
    CQWF_String& operator=(const CQWF_String& other);
    CQWF_String& operator=(const char* text) { return Assign(text); }

    CQWF_String& Assign(const char* text);
    CQWF_String& AssignString(const CQWF_String& other);
    // Makes the text n spaces; returns the buffer or null.
    char* SetLength(size_t n);
    // The bytes of a block up to its first NUL, cut to maxCount when that is not 0 and smaller.
    char* AssignBytes(const CQWF_Mem& block, size_t maxCount = 0);
    // 2n upper-case hexadecimal digits, high nibble first.
    char* AssignHex(const void* pointer, size_t n);
    // Over the first n bytes of the block, the whole block when n is 0 or not below its size.
    char* AssignHex(const CQWF_Mem& block, size_t n = 0);
    static char DigitChar(int value);

    // Pointer to the characters; "" (never null) when the string has no buffer.
    char* GetBuffer() const;
    char* GetData() const { return GetBuffer(); }
    size_t GetLength() const { return m_length; }
    size_t GetCapacity() const { return m_buffer.GetSize(); }
    CQWF_Mem& GetMem() { return m_buffer; }
    const CQWF_Mem& GetMem() const { return m_buffer; }
    // Character at the position, 0 at or past the length.
    int8_t GetAt(size_t position) const;

    uint32_t GetTag() const { return m_tag; }
    void SetTag(uint32_t tag) { m_tag = tag; }

    char* Append(const CQWF_String& other, size_t growBy);
    char* Append(const char* text);
    char* AppendChar(char c);
    char* operator+=(const char* text) { return Append(text); }
    CQWF_String& operator+=(const CQWF_String& other);
    CQWF_String& operator+=(char c);

    static CQWF_String Concat(const CQWF_String& a, const CQWF_String& b);
    static CQWF_String Concat(const char* a, const CQWF_String& b);
    static CQWF_String Concat(const CQWF_String& a, const char* b);
    static CQWF_String Concat(const CQWF_String& a, char b);

    char* Insert(size_t position, const CQWF_String& other);
    char* InsertChar(size_t position, char c);
    void Delete(size_t position, size_t count);

    CQWF_String Left(size_t n) const;
    CQWF_String Right(size_t n) const;
    // fromLeft false: the characters end `start` characters before the end.
    CQWF_String Mid(size_t start, size_t count, bool fromLeft = true) const;

    char* Reverse();
    char* MakeUpper();
    char* TrimLeft();
    char* TrimRight();
    char* Trim();

    // printf-style formatting in the C locale; arguments may point into this string.
    char* Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // +1 when this string sorts before the other, -1 when after, 0 when equal (byte-wise,
    // unsigned; a proper prefix sorts first). The non-const forms also clear the error.
    int Compare(const CQWF_String& other);
    int Compare(const char* text);
    int Compare(char c);
    int Compare(const CQWF_String& other) const;
    int Compare(const char* text) const;
    int Compare(char c) const;
    int CompareNoCase(const CQWF_String& other);
    int CompareNoCase(const char* text);
    int CompareNoCase(const CQWF_String& other) const;
    int CompareNoCase(const char* text) const;
    bool operator==(const char* text) const { return Compare(text) == 0; }
    bool operator!=(const char* text) const { return Compare(text) != 0; }

    // Position of the first occurrence at or after start, or -1. Backward searches run in the
    // reversed text: the answer counts from the end of the text to the match's last character.
    int64_t Find(const CQWF_String& other, size_t start = 0, bool forward = true) const;
    int64_t Find(const char* text, size_t start = 0, bool forward = true) const;
    int64_t FindChar(char c, size_t start = 0, bool forward = true) const;

private:
    bool AssignRaw(const char* text, size_t n);

    uint32_t m_tag = 0;
    CQWF_Mem m_buffer;
    size_t m_length = 0;
};

CQWF_String operator+(const CQWF_String& a, const CQWF_String& b);
CQWF_String operator+(const char* a, const CQWF_String& b);
CQWF_String operator+(const CQWF_String& a, const char* b);
CQWF_String operator+(const CQWF_String& a, char b);
