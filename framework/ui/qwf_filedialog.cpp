#include "framework/ui/qwf_filedialog.h"

#include <cstring>
#include <string>

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_window.h"
#include "platform/qw_module.h"
#include "platform/qw_paths.h"

namespace {

const char* const kCannotAccess = "Can't access this file.";
const char* const kCannotWrite = "Can't Open file for writing.\nChoose another location.";

// The dialog's messages have no owner window.
void ShowError(const char* text)
{
    if (CQWF_App* app = CQWF_App::GetApp()) {
        app->MessageBox(text, "Error", nullptr);
        return;
    }
    qwp::MessageBoxRequest box;
    box.text = text;
    box.caption = "Error";
    qwp::WS().MessageBox(box);
}

}  // namespace

CQWF_PlatformFileDialog::CQWF_PlatformFileDialog() { m_filters.AllocZeroed(kFilterBufferSize); }

CQWF_PlatformFileDialog::~CQWF_PlatformFileDialog() = default;

void CQWF_PlatformFileDialog::AddFilter(const char* description, const CQWF_StringArray& extensions)
{
    const char* text = description ? description : "";
    size_t need = std::strlen(text) + 1;
    for (size_t i = 0; i < extensions.GetCount(); ++i) need += extensions.GetAt(i).GetLength() + 3;
    if (!m_filters.GetData() || m_filterUsed + need + 2 >= kFilterBufferSize) return;
    uint8_t* p = m_filters.GetData() + m_filterUsed;
    const size_t descriptionLength = std::strlen(text);
    std::memcpy(p, text, descriptionLength + 1);
    p += descriptionLength + 1;
    for (size_t i = 0; i < extensions.GetCount(); ++i) {
        const CQWF_String e = extensions.GetAt(i);
        if (i) *p++ = ';';
        *p++ = '*';
        *p++ = '.';
        std::memcpy(p, e.GetBuffer(), e.GetLength());
        p += e.GetLength();
    }
    *p++ = 0;
    *p = 0;  // the list's end, overwritten by the next filter
    m_filterUsed = static_cast<size_t>(p - m_filters.GetData());
    if (extensions.GetCount()) m_defaultExtension = extensions.GetAt(0);
}

void CQWF_PlatformFileDialog::AddFilter(const char* description, const char* extension)
{
    CQWF_StringArray list;
    if (extension) list.Add(extension);
    AddFilter(description, list);
}

bool CQWF_PlatformFileDialog::SetInitialDirToModule(const char* subfolder)
{
    const std::string module = qwp::ModuleFileName();
    const size_t slash = module.rfind('\\');
    if (slash == std::string::npos) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    std::string folder = module.substr(0, slash + 1) + (subfolder ? subfolder : "");
    if (folder.back() != '\\') folder += '\\';
    m_initialDir = folder.c_str();
    return true;
}

bool CQWF_PlatformFileDialog::RunDialog(bool save, CQWF_Window* window)
{
    m_chosen = "";
    if (!m_filters.GetData()) {
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    qwp::FileChoiceRequest request;
    request.owner = window ? window->GetHWND() : 0;
    request.save = save;
    request.title = m_title.GetBuffer();
    request.folder = m_initialDir.GetBuffer();
    if (save) {
        request.fileName = std::string(m_fileName.GetBuffer()).substr(0, kMaxFileName);
        request.defaultExtension = m_defaultExtension.GetBuffer();
    }
    // The filter list read back from the system's format: description, patterns, ..., an empty
    // description.
    const char* p = reinterpret_cast<const char*>(m_filters.GetData());
    const char* end = p + m_filterUsed;
    while (p < end && *p) {
        qwp::FileFilter filter;
        filter.description = p;
        p += filter.description.size() + 1;
        const std::string patterns = p < end ? p : "";
        p += patterns.size() + 1;
        size_t at = 0;
        while (at < patterns.size()) {
            size_t next = patterns.find(';', at);
            if (next == std::string::npos) next = patterns.size();
            std::string pattern = patterns.substr(at, next - at);
            if (pattern.compare(0, 2, "*.") == 0) pattern.erase(0, 2);
            filter.extensions.push_back(pattern);
            at = next + 1;
        }
        request.filters.push_back(filter);
    }
    CQWF_PtrArray disabled;
    if (window) window->EnableOtherWindows(false, disabled);
    std::string path;
    const bool chosen = qwp::WS().ChooseFile(request, path);
    if (window) window->EnableOtherWindows(true, disabled);
    if (!chosen || path.empty()) return false;
    m_chosen = path.c_str();
    return true;
}

bool CQWF_PlatformFileDialog::Open(CQWF_Window* window, uint32_t, uint32_t)
{
    ClearError();
    if (!RunDialog(false, window)) return false;
    if (!qwp::PathExists(m_chosen.GetBuffer())) {
        ShowError(kCannotAccess);
        return false;
    }
    return true;
}

bool CQWF_PlatformFileDialog::OpenChosenFile(CQWF_StdFile& file, int mode)
{
    ClearError();
    if (file.Open(m_chosen, mode)) return true;
    SetError(file.GetError());
    return false;
}

namespace {
struct DialogWrite {
    QWF_FileWriter writer;
    void* context;
    static bool Run(CQWF_StdFile& file, void* self)
    {
        const auto* w = static_cast<const DialogWrite*>(self);
        return w->writer(&file, w->context);
    }
};

// A writer of one file after the other as a series job.
class CallbackSeries : public CQWF_FileSeriesJob {
public:
    CallbackSeries(QWF_FileSeriesWriter writer, void* context) : m_writer(writer), m_context(context) {}
    bool WriteFile(CQWF_StdFile& file, uint32_t index, uint32_t) override
    {
        return m_writer(&file, m_context, static_cast<int32_t>(index));
    }

private:
    QWF_FileSeriesWriter m_writer;
    void* m_context;
};
}  // namespace

bool CQWF_PlatformFileDialog::WriteOne(const CQWF_String& path, QWF_FileWriter writer, void* context)
{
    DialogWrite write{writer, context};
    const QWF_FileWrite outcome = CQWF_StdFile::WriteReplacing(path, m_writeMode, &DialogWrite::Run, &write);
    if (outcome == QWF_FileWrite::kWritten) return true;
    if (outcome == QWF_FileWrite::kWriterFailed) return false;
    // A file that cannot be made, or whose bytes did not all reach the disk (a full disk shows
    // when the data is written out): the earlier file of that name stays as it was.
    SetError(outcome == QWF_FileWrite::kNotCreated ? QWF_ERR_FILE_OPEN : QWF_ERR_FILE_WRITE);
    ShowError(kCannotWrite);
    return false;
}

bool CQWF_PlatformFileDialog::Save(QWF_FileWriter writer, void* context, CQWF_Window* window, uint32_t, uint32_t)
{
    ClearError();
    if (!writer) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    if (!RunDialog(true, window)) return false;
    return WriteOne(m_chosen, writer, context);
}

bool CQWF_PlatformFileDialog::SaveMultiple(const CQWF_StringArray& suffixes, QWF_FileSeriesWriter writer,
                                           void* context, CQWF_Window* window, uint32_t type, uint32_t creator)
{
    ClearError();
    if (!writer) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    CallbackSeries job(writer, context);
    return SaveMultiple(suffixes, job, window, type, creator);
}

bool CQWF_PlatformFileDialog::SaveMultiple(const CQWF_StringArray& suffixes, CQWF_FileSeriesJob& job,
                                           CQWF_Window* window, uint32_t, uint32_t)
{
    ClearError();
    if (!RunDialog(true, window)) return false;
    // The extension starts at the last '.' after the last '\'; without one the default extension
    // is used.
    const std::string chosen = m_chosen.GetBuffer();
    const size_t slash = chosen.rfind('\\');
    const size_t dot = chosen.rfind('.');
    std::string base = chosen, extension;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        base = chosen.substr(0, dot);
        extension = chosen.substr(dot);
    } else if (m_defaultExtension.GetLength()) {
        extension = std::string(".") + m_defaultExtension.GetBuffer();
    }
    CQWF_StringArray paths;
    for (size_t i = 0; i < suffixes.GetCount(); ++i)
        if (paths.Add(CQWF_String((base + suffixes.GetAt(i).GetBuffer() + extension).c_str())) < 0) {
            SetError(QWF_ERR_MEMORY);
            return false;
        }
    if (paths.GetCount() == 0) return false;
    const QWF_SeriesEnd end = QWF_WriteFileSeries(paths, m_writeMode, job);
    if (end.written == paths.GetCount()) return true;
    if (!end.heldBack && end.outcome != QWF_FileWrite::kWriterFailed) {
        SetError(end.outcome == QWF_FileWrite::kNotCreated ? QWF_ERR_FILE_OPEN : QWF_ERR_FILE_WRITE);
        ShowError(kCannotWrite);
    }
    return false;
}
