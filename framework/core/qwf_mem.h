// Root classes of the framework and the owned heap block.
#pragma once

#include <cstddef>
#include <cstdint>

// Every class carries one signed 16-bit last-error code; 0 means no error.
class CQWF_ErrorManager {
public:
    CQWF_ErrorManager() = default;
    virtual ~CQWF_ErrorManager() = default;

    int16_t SetError(int16_t code) { m_error = code; return code; }
    int16_t GetError() const { return m_error; }
    void ClearError() { m_error = 0; }
    bool HasError() const { return m_error != 0; }

private:
    int16_t m_error = 0;
};

class CQWF_FrameWork : public CQWF_ErrorManager {
public:
    ~CQWF_FrameWork() override = default;
};

// Error codes shared by the framework classes.
enum QWF_Error : int16_t {
    QWF_ERR_ARGUMENT = 1,
    QWF_ERR_EMPTY = 2,
    QWF_ERR_MEMORY = 17,
    QWF_ERR_FILE_OPEN = 32,
    QWF_ERR_FILE_WRITE = 33,
    QWF_ERR_FILE_READ = 34,
    QWF_ERR_FILE_DIRECTION = 35,
    QWF_ERR_FILE_SEEK = 36,
    QWF_ERR_FILE_NOT_OPEN = 37,
    QWF_ERR_IMAGE_FORMAT = 48,
    QWF_ERR_IMAGE_FORMAT2 = 49,
    QWF_ERR_ZIP_MALFORMED = 64,
    QWF_ERR_ZIP_PACK = 65,
    QWF_ERR_ZIP_ARGUMENT = 66,
    QWF_ERR_MD5_INPUT = 80,
    QWF_ERR_STORAGE_DIGEST = 112,
    QWF_ERR_STORAGE_HEADER = 113,
    QWF_ERR_STORAGE_NO_KEY = 114,
    QWF_ERR_STORAGE_READ_ONLY = 115,
    QWF_ERR_STORAGE_EXISTS = 116,
    QWF_ERR_STORAGE_PARENT = 117,
    QWF_ERR_STORAGE_KIND = 118,
    QWF_ERR_BITMAP_CONTEXT = 128,
    QWF_ERR_BITMAP_COPY = 129,
    QWF_ERR_FONT_MALFORMED = 176,
    QWF_ERR_FONT_RANGE = 177,
};

// One owned heap block. Sizes are 64-bit so that large planar images never wrap.
class CQWF_Mem : public CQWF_FrameWork {
public:
    CQWF_Mem() = default;
    explicit CQWF_Mem(size_t n) { Alloc(n); }
    ~CQWF_Mem() override;

    CQWF_Mem(const CQWF_Mem&) = delete;
    CQWF_Mem& operator=(const CQWF_Mem&) = delete;

    void Free();
    void* Alloc(size_t n);
    void* AllocZeroed(size_t n);

    uint8_t* GetData() const { return m_data; }
    size_t GetSize() const { return m_size; }

    bool Fill(uint8_t value);
    bool FillRange(uint8_t value, size_t offset, size_t count);
    bool Zero() { return Fill(0); }
    size_t CopyFrom(const CQWF_Mem& source, size_t sourceOffset = 0, size_t maxCount = 0);
    size_t CopyRange(size_t offset, const CQWF_Mem& source, size_t sourceOffset = 0,
                     size_t maxCount = 0);
    size_t Write(size_t offset, const void* pointer, size_t count);
    bool Resize(size_t n);
    // At least n bytes: a block that holds them stays as it is (contents kept); a smaller one
    // gives way to a fresh block of n bytes, contents not kept. False (error 17) when that fails.
    bool Reserve(size_t n);

    // Takes over the other block's memory, leaving the other empty.
    void Swap(CQWF_Mem& other);

private:
    size_t m_size = 0;
    uint8_t* m_data = nullptr;
};

namespace qwf {
// Test hook: the next `n` allocations of CQWF_Mem succeed, the one after fails (-1: off).
void SetAllocFailureAfter(long n);
}
