#include "plugin/main/export_files.h"

#include <cstring>

#include "framework/core/qwf_file.h"

namespace qwexport {

void SplitFileName(const char* path, const char* defaultExtension, CQWF_String& base,
                   CQWF_String& extension)
{
    const char* text = path ? path : "";
    const size_t n = std::strlen(text);
    size_t folderEnd = 0;  // just after the last separator
    for (size_t i = 0; i < n; ++i)
        if (text[i] == '\\' || text[i] == '/') folderEnd = i + 1;
    size_t dot = n;
    for (size_t i = n; i > folderEnd; --i)
        if (text[i - 1] == '.') {
            dot = i - 1;
            break;
        }
    const CQWF_String whole(text);
    base = whole.Left(dot);
    if (dot < n) {
        extension = whole.Mid(dot, n - dot);
    } else {
        extension = ".";
        extension.Append(defaultExtension ? defaultExtension : "");
    }
}

void Tell(CUserMessageSink* sink, const char* text, const char* caption)
{
    if (sink) sink->ShowMessage(text, caption);
}

namespace {

// Runs one writer on a new file that replaces the one at path once written whole; see WriteFile.
template <typename Run>
bool WriteOne(const CQWF_String& path, Run run, CUserMessageSink* sink)
{
    auto call = [](CQWF_StdFile& file, void* self) { return (*static_cast<Run*>(self))(&file); };
    switch (CQWF_StdFile::WriteReplacing(path, CQWF_StdFile::kModeWrite, call, &run)) {
    case QWF_FileWrite::kWritten: return true;
    case QWF_FileWrite::kNotCreated: Tell(sink, kCannotOpen, "Error"); return false;
    // The writer has shown its own failure; bytes that did not reach the disk have not.
    case QWF_FileWrite::kNotStored: Tell(sink, kCannotWrite); return false;
    case QWF_FileWrite::kWriterFailed: return false;
    }
    return false;
}

}  // namespace

bool WriteFile(const CQWF_String& path, FileWriter writer, void* context, CUserMessageSink* sink)
{
    if (!writer) return false;
    return WriteOne(path, [&](CQWF_StdFile* f) { return writer(f, context); }, sink);
}

bool WriteFileSeries(const CQWF_String& path, const char* defaultExtension,
                     const CQWF_StringArray& suffixes, SeriesWriter writer, void* context,
                     CUserMessageSink* sink, uint32_t* written)
{
    if (written) *written = 0;
    if (!writer) return false;
    // One file after the other, on this thread.
    class Callback : public CQWF_FileSeriesJob {
    public:
        Callback(SeriesWriter w, void* c) : m_writer(w), m_context(c) {}
        bool WriteFile(CQWF_StdFile& file, uint32_t index, uint32_t) override { return m_writer(&file, m_context, index); }

    private:
        SeriesWriter m_writer;
        void* m_context;
    } job(writer, context);
    return WriteFileSeries(path, defaultExtension, suffixes, job, sink, written);
}

bool WriteFileSeries(const CQWF_String& path, const char* defaultExtension,
                     const CQWF_StringArray& suffixes, CQWF_FileSeriesJob& job,
                     CUserMessageSink* sink, uint32_t* written)
{
    if (written) *written = 0;
    CQWF_String base, extension;
    SplitFileName(path.GetBuffer(), defaultExtension, base, extension);
    CQWF_StringArray paths;
    CQWF_String suffix;
    for (size_t i = 0; i < suffixes.GetCount(); ++i) {
        suffixes.GetAtInto(i, suffix);
        if (paths.Add(base + suffix + extension) < 0) {
            Tell(sink, kNoMemory);
            return false;
        }
    }
    const QWF_SeriesEnd end = QWF_WriteFileSeries(paths, CQWF_StdFile::kModeWrite, job);
    if (written) *written = end.written;
    if (end.written == paths.GetCount()) return true;
    if (!end.heldBack) {
        // The writer has shown its own failure; bytes that did not reach the disk have not.
        if (end.outcome == QWF_FileWrite::kNotCreated) Tell(sink, kCannotOpen, "Error");
        if (end.outcome == QWF_FileWrite::kNotStored) Tell(sink, kCannotWrite);
    }
    return false;
}

}  // namespace qwexport
