#include "framework/core/qwf_block.h"

#include "framework/core/qwf_endian.h"
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "framework/core/qwf_string.h"
#include "platform/qw_memhint.h"

namespace {
using qwf::GetBE32;
using qwf::PutBE32;
const uint8_t kZipMagic[8] = {'Q', 'W', 'C', 'V', '2', '-', '0', '1'};

// Deflate cannot expand one input byte into more than 1032 output bytes (a 258-byte match coded
// in two bits); add room for the block and stream framing of a tiny stream.
constexpr uint64_t kMaxInflateRatio = 1032;
constexpr uint64_t kInflateSlack = 1024;


}  // namespace

// ---------------------------------------------------------------------------------------------
// CQWF_BlockProcessor

CQWF_BlockProcessor::CQWF_BlockProcessor() { UseOwnOutput(); }

CQWF_BlockProcessor::~CQWF_BlockProcessor()
{
    if (!m_outputBorrowed) delete m_output;
    m_output = nullptr;
}

bool CQWF_BlockProcessor::EnsureOutput()
{
    if (m_output) return true;
    return UseOwnOutput();
}

bool CQWF_BlockProcessor::OutputHoldsInput() const
{
    if (!m_output || !m_input || m_output->GetSize() == 0) return false;
    const uint8_t* begin = m_output->GetData();
    const uint8_t* end = begin + m_output->GetSize();
    return m_input < end && begin < m_input + m_inputLength;
}

bool CQWF_BlockProcessor::Process()
{
    if (!m_input || m_inputLength == 0) return false;
    if (!EnsureOutput()) return false;
    // When the caller passes one block as input and output, the copy goes into a fresh block.
    CQWF_Mem temp;
    CQWF_Mem* dst = OutputHoldsInput() ? &temp : m_output;
    if (!dst->Alloc(m_inputLength)) {
        SetError(dst->GetError());
        return false;
    }
    std::memcpy(dst->GetData(), m_input, m_inputLength);
    if (dst == &temp) {
        m_output->Swap(temp);
        SetInput(nullptr, 0);
    }
    return true;
}

bool CQWF_BlockProcessor::SetInputString(const char* text)
{
    size_t n = text ? std::strlen(text) : 0;
    if (!m_inputText.Alloc(n + 1)) {
        SetError(m_inputText.GetError());
        SetInput(nullptr, 0);
        return false;
    }
    if (n) std::memcpy(m_inputText.GetData(), text, n);
    m_inputText.GetData()[n] = 0;
    SetInput(m_inputText.GetData(), n);
    return true;
}

bool CQWF_BlockProcessor::SetInputString(const CQWF_String& text)
{
    return SetInputString(text.GetBuffer());
}

void CQWF_BlockProcessor::SetInputMem(const CQWF_Mem& block)
{
    SetInput(block.GetData(), block.GetSize());
}

void CQWF_BlockProcessor::SetInput(const void* pointer, size_t length)
{
    m_input = static_cast<const uint8_t*>(pointer);
    m_inputLength = pointer ? length : 0;
}

bool CQWF_BlockProcessor::UseOwnOutput()
{
    if (!m_outputBorrowed) delete m_output;
    m_output = new CQWF_Mem();
    m_outputBorrowed = 0;
    return true;
}

void CQWF_BlockProcessor::SetOutputMem(CQWF_Mem* block)
{
    if (!block) {
        UseOwnOutput();
        return;
    }
    if (!m_outputBorrowed) delete m_output;
    m_output = block;
    m_outputBorrowed = 1;
}

// ---------------------------------------------------------------------------------------------
// CQWF_ZipBlock

bool CQWF_ZipBlock::Process()
{
    if (!EnsureOutput()) return false;
    ClearError();
    switch (m_mode) {
    case 0: return Unpack();
    case 1: return Pack(9);
    case 2: return Pack(6);
    case 3: return Pack(1);
    default: SetError(QWF_ERR_ZIP_ARGUMENT); return false;
    }
}

bool CQWF_ZipBlock::Pack(int level)
{
    // The header stores the sizes in 32 bits.
    if (!m_input || m_inputLength == 0 || m_inputLength > 0xFFFFFFFFu) {
        SetError(QWF_ERR_ZIP_ARGUMENT);
        return false;
    }
    uint64_t capacity = static_cast<uint64_t>(m_inputLength) * 12 / 10 + 30;
    const uint64_t bound = compressBound(static_cast<uLong>(m_inputLength));
    capacity = std::max(capacity, bound + kHeaderSize);
    // Packing a block into itself works through a fresh block; the input stays intact.
    CQWF_Mem temp;
    CQWF_Mem* dst = OutputHoldsInput() ? &temp : m_output;
    if (!dst->Alloc(capacity)) {
        SetError(dst->GetError());
        return false;
    }
    uint8_t* out = dst->GetData();
    std::memcpy(out, kZipMagic, 8);
    PutBE32(out + 8, static_cast<uint32_t>(m_inputLength));
    uLongf packed = static_cast<uLongf>(capacity - kHeaderSize);
    int rc = compress2(out + kHeaderSize, &packed, m_input, static_cast<uLong>(m_inputLength),
                       level);
    if (rc != Z_OK) {
        if (rc == Z_MEM_ERROR) qwp::NoteAllocationFailure();
        SetError(rc == Z_STREAM_ERROR ? QWF_ERR_ZIP_ARGUMENT : QWF_ERR_ZIP_PACK);
        return false;
    }
    if (packed > 0xFFFFFFFFu) {
        SetError(QWF_ERR_ZIP_PACK);
        return false;
    }
    PutBE32(out + 12, static_cast<uint32_t>(packed));
    if (!dst->Resize(packed + kHeaderSize)) {
        SetError(dst->GetError());
        return false;
    }
    if (dst == &temp) {
        m_output->Swap(temp);
        SetInput(nullptr, 0);
    }
    return true;
}

bool CQWF_ZipBlock::Unpack()
{
    if (!m_input || m_inputLength < kHeaderSize || std::memcmp(m_input, kZipMagic, 8) != 0) {
        SetError(QWF_ERR_ZIP_MALFORMED);
        return false;
    }
    uint64_t unpacked = GetBE32(m_input + 8);
    uint64_t packed = GetBE32(m_input + 12);
    if (packed + kHeaderSize > m_inputLength) {
        SetError(QWF_ERR_ZIP_MALFORMED);
        return false;
    }
    // Refuse sizes no stream of this length can reach before allocating for them.
    if (unpacked > packed * kMaxInflateRatio + kInflateSlack) {
        SetError(QWF_ERR_ZIP_MALFORMED);
        return false;
    }
    CQWF_Mem temp;
    CQWF_Mem* dst = OutputHoldsInput() ? &temp : m_output;
    if (!dst->Alloc(unpacked)) {
        SetError(dst->GetError());
        return false;
    }
    uLongf produced = static_cast<uLongf>(unpacked);
    int rc = uncompress(dst->GetData(), &produced, m_input + kHeaderSize,
                        static_cast<uLong>(packed));
    if (rc == Z_MEM_ERROR) {
        qwp::NoteAllocationFailure();
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    // A stream that holds more or fewer bytes than declared is malformed.
    if (rc != Z_OK || produced != unpacked) {
        SetError(QWF_ERR_ZIP_MALFORMED);
        return false;
    }
    if (dst == &temp) {
        m_output->Swap(temp);
        SetInput(nullptr, 0);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// CQWF_MD5Block (RFC 1321)

namespace {
const uint32_t kMD5T[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
const int kMD5S[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

inline uint32_t Rotl(uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }
}  // namespace

CQWF_MD5Block::CQWF_MD5Block() { Reset(); }

void CQWF_MD5Block::Reset()
{
    std::memset(m_buffer, 0, sizeof(m_buffer));
    m_count[0] = m_count[1] = 0;
    m_state[0] = 0x67452301;
    m_state[1] = 0xefcdab89;
    m_state[2] = 0x98badcfe;
    m_state[3] = 0x10325476;
}

void CQWF_MD5Block::Transform(const uint8_t block[64])
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        x[i] = static_cast<uint32_t>(block[i * 4]) | (static_cast<uint32_t>(block[i * 4 + 1]) << 8) |
               (static_cast<uint32_t>(block[i * 4 + 2]) << 16) |
               (static_cast<uint32_t>(block[i * 4 + 3]) << 24);
    }
    uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        int round = i >> 4;
        switch (round) {
        case 0: f = (b & c) | (~b & d); g = i; break;
        case 1: f = (b & d) | (c & ~d); g = (5 * i + 1) & 15; break;
        case 2: f = b ^ c ^ d; g = (3 * i + 5) & 15; break;
        default: f = c ^ (b | ~d); g = (7 * i) & 15; break;
        }
        uint32_t t = d;
        d = c;
        c = b;
        b = b + Rotl(a + f + kMD5T[i] + x[g], kMD5S[round][i & 3]);
        a = t;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

void CQWF_MD5Block::Update(const void* data, size_t length)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    size_t used = (m_count[0] >> 3) & 63;
    uint64_t bits = (static_cast<uint64_t>(m_count[1]) << 32 | m_count[0]) +
                    (static_cast<uint64_t>(length) << 3);
    m_count[0] = static_cast<uint32_t>(bits);
    m_count[1] = static_cast<uint32_t>(bits >> 32);
    if (used) {
        size_t take = 64 - used;
        if (length < take) {
            std::memcpy(m_buffer + used, p, length);
            return;
        }
        std::memcpy(m_buffer + used, p, take);
        Transform(m_buffer);
        p += take;
        length -= take;
    }
    while (length >= 64) {
        Transform(p);
        p += 64;
        length -= 64;
    }
    if (length) std::memcpy(m_buffer, p, length);
}

void CQWF_MD5Block::Final(uint8_t digest[kDigestSize])
{
    static const uint8_t kPadding[64] = {0x80};
    uint8_t bits[8];
    for (int i = 0; i < 4; ++i) {
        bits[i] = static_cast<uint8_t>(m_count[0] >> (8 * i));
        bits[4 + i] = static_cast<uint8_t>(m_count[1] >> (8 * i));
    }
    size_t used = (m_count[0] >> 3) & 63;
    size_t pad = used < 56 ? 56 - used : 120 - used;
    Update(kPadding, pad);
    Update(bits, 8);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) digest[i * 4 + j] = static_cast<uint8_t>(m_state[i] >> (8 * j));
    }
}

bool CQWF_MD5Block::Process()
{
    if (!m_input || m_inputLength == 0) {
        SetError(QWF_ERR_MD5_INPUT);
        return false;
    }
    if (!EnsureOutput()) return false;
    ClearError();
    Reset();
    Update(m_input, m_inputLength);
    uint8_t digest[kDigestSize];
    Final(digest);
    // The input may live in the output block: digest first, then resize.
    bool overlap = OutputHoldsInput();
    if (!m_output->Resize(kDigestSize)) {
        SetError(m_output->GetError());
        return false;
    }
    if (overlap) SetInput(nullptr, 0);
    std::memcpy(m_output->GetData(), digest, kDigestSize);
    return true;
}
