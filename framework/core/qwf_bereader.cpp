#include "framework/core/qwf_bereader.h"

#include "framework/core/qwf_endian.h"

#include <cmath>
#include <cstring>

void CQW_BEReader::Reset(const uint8_t* data, size_t size)
{
    m_data = data;
    m_size = data ? size : 0;
    m_pos = 0;
    m_fault = false;
}

bool CQW_BEReader::Need(size_t n)
{
    if (m_fault)
        return false;
    if (n > m_size - m_pos)
        return Fail();
    return true;
}

bool CQW_BEReader::NeedItems(uint64_t count, size_t itemSize)
{
    if (m_fault)
        return false;
    if (itemSize != 0 && count > (m_size - m_pos) / itemSize)
        return Fail();
    return true;
}

bool CQW_BEReader::Skip(size_t n)
{
    if (!Need(n))
        return false;
    m_pos += n;
    return true;
}

const uint8_t* CQW_BEReader::Take(size_t n)
{
    if (!Need(n))
        return nullptr;
    const uint8_t* p = m_data + m_pos;
    m_pos += n;
    return p;
}

uint8_t CQW_BEReader::U8()
{
    if (!Need(1))
        return 0;
    return m_data[m_pos++];
}

uint16_t CQW_BEReader::U16()
{
    if (!Need(2))
        return 0;
    uint16_t v = qwf::GetBE16(m_data + m_pos);
    m_pos += 2;
    return v;
}

uint32_t CQW_BEReader::U32()
{
    if (!Need(4))
        return 0;
    uint32_t v = qwf::GetBE32(m_data + m_pos);
    m_pos += 4;
    return v;
}

float CQW_BEReader::F32()
{
    if (!Need(4))
        return 0.0f;
    float v = qwf::GetBEF32(m_data + m_pos);
    m_pos += 4;
    return v;
}

float CQW_BEReader::FiniteF32()
{
    float v = F32();
    if (!std::isfinite(v)) {
        Fail();
        return 0.0f;
    }
    return v;
}

bool CQW_BEReader::F32Array(float* out, size_t n)
{
    if (!NeedItems(n, 4))
        return false;
    const uint8_t* p = m_data + m_pos;
    for (size_t i = 0; i < n; ++i, p += 4)
        out[i] = qwf::GetBEF32(p);
    m_pos += n * 4;
    return true;
}
