#include "plugin/main/postscript_text.h"

#include <cstdarg>
#include <cstring>

#include "platform/qw_format.h"

namespace {
struct Procset {
    const char* name;
    const char* version;
};
constexpr Procset kProcsets[5] = {
    {"Adobe_packedarray", "2.0 0"}, {"Adobe_cshow", "1.1 0"},
    {"Adobe_customcolor", "1.0 0"}, {"Adobe_pattern_AI3", "1.0 0"},
    {"Adobe_Illustrator_AI3", "1.0 1"},
};
}  // namespace

bool CPostScriptText::Reserve(size_t extra)
{
    if (m_used + extra <= m_text.GetSize()) return true;
    size_t size = m_text.GetSize() * 2;
    if (size < 4096) size = 4096;
    if (size < m_used + extra) size = m_used + extra;
    if (!m_text.Resize(size)) m_ok = false;
    return m_ok;
}

void CPostScriptText::Raw(const char* text, size_t n)
{
    if (n == 0 || !m_ok || !Reserve(n)) return;
    std::memcpy(m_text.GetData() + m_used, text, n);
    m_used += n;
}

void CPostScriptText::Add(const char* text) { Raw(text, std::strlen(text)); }

void CPostScriptText::Format(const char* format, ...)
{
    if (!m_ok) return;
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int n = qwp::FormatV(nullptr, 0, format, measure);
    va_end(measure);
    if (n < 0 || !Reserve(static_cast<size_t>(n) + 1)) {
        m_ok = false;
        va_end(args);
        return;
    }
    qwp::FormatV(reinterpret_cast<char*>(m_text.GetData()) + m_used, static_cast<size_t>(n) + 1,
                 format, args);
    va_end(args);
    m_used += static_cast<size_t>(n);
}

namespace qwps {

void IllustratorProlog(CPostScriptText& out)
{
    for (int i = 0; i < 5; ++i)
        out.Format("%s procset %s %s\r", i == 0 ? "%%DocumentNeededResources:" : "%%+",
                   kProcsets[i].name, kProcsets[i].version);
    out.Add("%%DocumentProcessColors: Black\r%%EndComments\r%%BeginProlog\r");
    for (const Procset& p : kProcsets)
        out.Format("%%%%IncludeResource: procset %s %s\r", p.name, p.version);
    out.Add("%%EndProlog\r%%BeginSetup\r");
    for (const Procset& p : kProcsets) out.Format("%s /initialize get exec\r", p.name);
    out.Add("%%EndSetup\r");
}

void IllustratorTrailer(CPostScriptText& out)
{
    out.Add("%%PageTrailer\rgsave annotatepage grestore showpage\r%%Trailer\r");
    for (int i = 4; i >= 0; --i) out.Format("%s /terminate get exec\r", kProcsets[i].name);
}

}  // namespace qwps
