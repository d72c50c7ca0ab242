// Block processors: one input block in, one output block out.
//   CQWF_ZipBlock  packs into / unpacks from the compressed block "QWCV2-01" (zlib inside).
//   CQWF_MD5Block  computes the 16-byte MD5 digest (RFC 1321) of its input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_mem.h"

class CQWF_String;

class CQWF_BlockProcessor : public CQWF_FrameWork {
public:
    CQWF_BlockProcessor();
    ~CQWF_BlockProcessor() override;

    CQWF_BlockProcessor(const CQWF_BlockProcessor&) = delete;
    CQWF_BlockProcessor& operator=(const CQWF_BlockProcessor&) = delete;

    // The base copies the input into the output; fails without a code when there is no input.
    virtual bool Process();
    // Keeps a copy of the text; its characters (without the NUL) are the input.
    virtual bool SetInputString(const char* text);
    bool SetInputString(const CQWF_String& text);
    // The block's bytes are the input (not copied: the block must outlive Process).
    virtual void SetInputMem(const CQWF_Mem& block);
    virtual void SetInput(const void* pointer, size_t length);
    // Releases an owned output and makes a new empty one that the processor owns.
    virtual bool UseOwnOutput();
    // Results go into the caller's block from now on; the caller keeps ownership.
    virtual void SetOutputMem(CQWF_Mem* block);

    CQWF_Mem* GetOutput() const { return m_output; }
    size_t GetInputLength() const { return m_inputLength; }

protected:
    // Makes sure there is an output block (an owned one when the caller gave none).
    bool EnsureOutput();
    // True when the output block's bytes overlap the input (one block passed as both).
    bool OutputHoldsInput() const;

    const uint8_t* m_input = nullptr;
    size_t m_inputLength = 0;
    CQWF_Mem m_inputText;
    CQWF_Mem* m_output = nullptr;
    uint8_t m_outputBorrowed = 0;
};

// Compressed block layout (big-endian): "QWCV2-01", u32 unpacked size, u32 packed size, zlib
// stream of packed size bytes. Modes: 0 unpack, 1/2/3 pack at zlib level 9/6/1.
class CQWF_ZipBlock : public CQWF_BlockProcessor {
public:
    static constexpr size_t kHeaderSize = 16;

    CQWF_ZipBlock() = default;
    ~CQWF_ZipBlock() override = default;

    void SetMode(uint8_t mode) { m_mode = mode; }
    uint8_t GetMode() const { return m_mode; }

    bool Process() override;

private:
    bool Pack(int level);
    bool Unpack();

    uint8_t m_mode = 1;
};

// MD5 digest (RFC 1321). Each Process starts a fresh digest of the current input.
class CQWF_MD5Block : public CQWF_BlockProcessor {
public:
    static constexpr size_t kDigestSize = 16;

    CQWF_MD5Block();
    ~CQWF_MD5Block() override = default;

    bool Process() override;

    // Incremental use by the framework (packages digest files in pieces): Reset, Update..., Final.
    void Reset();
    void Update(const void* data, size_t length);
    void Final(uint8_t digest[kDigestSize]);

private:
    void Transform(const uint8_t block[64]);

    uint8_t m_buffer[64];
    uint32_t m_count[2];  // bit count, low word first
    uint32_t m_state[4];
};
