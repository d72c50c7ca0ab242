#include "tools/skinc/skin_package.h"

#include <cstring>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_storage.h"
#include "platform/qw_paths.h"

namespace skinc {

namespace {

void PutBE16(std::vector<uint8_t>& out, int v)
{
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

std::vector<uint8_t> RectHeader(const Rect& r)
{
    std::vector<uint8_t> out;
    PutBE16(out, r.left);
    PutBE16(out, r.top);
    PutBE16(out, r.right);
    PutBE16(out, r.bottom);
    return out;
}

template <typename T>
std::vector<uint8_t> Native(T v)
{
    std::vector<uint8_t> out(sizeof v);
    std::memcpy(out.data(), &v, sizeof v);
    return out;
}

}  // namespace

std::vector<uint8_t> Pack(const std::vector<uint8_t>& bytes)
{
    CQWF_Mem out;
    CQWF_ZipBlock zip;
    zip.SetMode(1);
    zip.SetInput(bytes.data(), bytes.size());
    zip.SetOutputMem(&out);
    if (!zip.Process()) return {};
    return std::vector<uint8_t>(out.GetData(), out.GetData() + out.GetSize());
}

PackageEntry* PackageBuilder::Add(const std::string& key, uint8_t kind, const Where& where)
{
    if (key.empty() || key.front() == '>' || key.back() == '>' || key.find(">>") != std::string::npos) {
        m_diag.Error(where, "\"" + key + "\" is not a package key (names joined by >)");
        return nullptr;
    }
    // Parent folders first.
    const size_t cut = key.rfind('>');
    if (cut != std::string::npos) Folder(key.substr(0, cut), where);
    auto it = m_index.find(key);
    if (it != m_index.end()) {
        PackageEntry& e = m_entries[it->second];
        if (kind == 0 && e.kind == 0) return nullptr;  // folders are shared
        m_diag.Error(where, "\"" + key + "\" is written twice (also at " + e.where.Text() + ")");
        return nullptr;
    }
    m_index[key] = m_entries.size();
    m_entries.push_back(PackageEntry{});
    PackageEntry& e = m_entries.back();
    e.key = key;
    e.kind = kind;
    e.where = where;
    return &e;
}

void PackageBuilder::Folder(const std::string& key, const Where& where)
{
    Add(key, 0, where);
}

void PackageBuilder::Byte(const std::string& key, uint8_t v, const Where& where)
{
    if (PackageEntry* e = Add(key, 1, where)) e->value = Native(v);
}

void PackageBuilder::Word(const std::string& key, uint16_t v, const Where& where)
{
    if (PackageEntry* e = Add(key, 2, where)) e->value = Native(v);
}

void PackageBuilder::DWord(const std::string& key, uint32_t v, const Where& where)
{
    if (PackageEntry* e = Add(key, 3, where)) e->value = Native(v);
}

void PackageBuilder::Double(const std::string& key, double v, const Where& where)
{
    if (PackageEntry* e = Add(key, 6, where)) e->value = Native(v);
}

void PackageBuilder::Text(const std::string& key, const std::string& text, const Where& where)
{
    if (PackageEntry* e = Add(key, 4, where)) {
        e->value.assign(text.begin(), text.end());
        e->value.push_back(0);
    }
}

void PackageBuilder::Blob(const std::string& key, const std::vector<uint8_t>& bytes, bool compress, const Where& where)
{
    if (PackageEntry* e = Add(key, 5, where)) {
        e->value = compress ? Pack(bytes) : bytes;
        if (compress && e->value.empty()) m_diag.Error(where, "\"" + key + "\" cannot be packed (empty)");
    }
}

void PackageBuilder::Element(const std::string& key, const Canvas& canvas, const Where& where)
{
    Element(key, canvas.Area(), canvas.Planes(), where);
}

void PackageBuilder::Element(const std::string& key, const Rect& rect, const std::vector<uint8_t>& planes,
                             const Where& where)
{
    if (rect.Empty() || rect.left < 0 || rect.top < 0 || rect.right > 65535 || rect.bottom > 65535) {
        m_diag.Error(where, "\"" + key + "\": the image rectangle is empty or outside 0..65535");
        return;
    }
    std::vector<uint8_t> bytes = RectHeader(rect);
    bytes.insert(bytes.end(), planes.begin(), planes.end());
    if (PackageEntry* e = Add(key, 5, where)) {
        e->value = Pack(bytes);
        e->image = true;
        e->rect = rect;
        e->planes = planes;
    }
}

void PackageBuilder::MaskElement(const std::string& key, const Rect& rect, const std::vector<uint8_t>& mask,
                                 const Where& where)
{
    if (rect.Empty() || rect.left < 0 || rect.top < 0) {
        m_diag.Error(where, "\"" + key + "\": the mask rectangle is empty or outside the window");
        return;
    }
    std::vector<uint8_t> bytes = RectHeader(rect);
    bytes.insert(bytes.end(), mask.begin(), mask.end());
    if (PackageEntry* e = Add(key, 5, where)) {
        e->value = Pack(bytes);
        e->rect = rect;
    }
}

const PackageEntry* PackageBuilder::Find(const std::string& key) const
{
    auto it = m_index.find(key);
    return it == m_index.end() ? nullptr : &m_entries[it->second];
}

bool PackageBuilder::Write(const std::string& hostPath)
{
    const std::string temp = hostPath + ".part";
    const std::string winTemp = qwp::ToWindowsPath(temp.c_str());
    const std::string winPath = qwp::ToWindowsPath(hostPath.c_str());
    qwp::RemoveFile(winTemp.c_str());
    CQWF_Storage out;
    if (!out.OpenFile(winTemp.c_str(), CQWF_Storage::kModeCreate)) {
        m_diag.Error("cannot create " + temp + " (error " + std::to_string(out.GetError()) + ")");
        return false;
    }
    for (const PackageEntry& e : m_entries) {
        const bool ok = e.kind == 0 ? out.CreateFolder(e.key.c_str())
                                    : out.SetValue(e.key.c_str(), e.kind, e.value.data(), e.value.size());
        if (!ok) {
            m_diag.Error(e.where, "cannot write \"" + e.key + "\" (package error " + std::to_string(out.GetError()) + ")");
            out.Close();
            qwp::RemoveFile(winTemp.c_str());
            return false;
        }
    }
    if (!out.Close()) {
        m_diag.Error("cannot finish " + temp + " (error " + std::to_string(out.GetError()) + ")");
        qwp::RemoveFile(winTemp.c_str());
        return false;
    }
    qwp::RemoveFile(winPath.c_str());
    if (!qwp::RenamePath(winTemp.c_str(), winPath.c_str())) {
        m_diag.Error("cannot rename " + temp + " to " + hostPath);
        qwp::RemoveFile(winTemp.c_str());
        return false;
    }
    return true;
}

}  // namespace skinc
