#include "plugin/main/layout_document.h"

#include <cstring>

#include "framework/core/qwf_file.h"
#include "plugin/main/layout_model.h"

namespace qwdoc {

bool WriteDocumentFile(CQWF_StdFile* file, CLayoutModel* model, CUserMessageSink* messages)
{
    if (!file || !model) return false;
    CQWF_Mem blob;
    size_t length = 0;
    if (!model->SerializeLayout(blob, length)) return false;
    if (file->Write(kMagic30, kMagicSize) != static_cast<int64_t>(kMagicSize) ||
        file->Write(blob.GetData(), length) != static_cast<int64_t>(length) || !file->Flush()) {
        qwexport::Tell(messages, qwexport::kCannotWrite);
        return false;
    }
    return true;
}

bool ReadDocumentFile(CQWF_StdFile& file, LayoutDocument& document, CUserMessageSink* messages)
{
    document.size = 0;
    document.version2 = false;
    const int64_t size = file.GetSize();
    if (size < static_cast<int64_t>(kMinimumSize)) {
        qwexport::Tell(messages, kUnknownFormat);
        return false;
    }
    char magic[kMagicSize];
    if (file.Read(magic, kMagicSize) != static_cast<int64_t>(kMagicSize)) {
        qwexport::Tell(messages, kReadError);
        return false;
    }
    const bool v3 = std::memcmp(magic, kMagic30, kMagicSize) == 0;
    const bool v2 = std::memcmp(magic, kMagic20, kMagicSize) == 0;
    if (!v3 && !v2) {
        qwexport::Tell(messages, kUnknownFormat);
        return false;
    }
    const auto rest = static_cast<size_t>(size) - kMagicSize;
    if (!document.blob.Alloc(rest)) {
        qwexport::Tell(messages, qwexport::kNoMemory);
        return false;
    }
    if (file.Read(document.blob.GetData(), rest) != static_cast<int64_t>(rest)) {
        qwexport::Tell(messages, kReadError);
        return false;
    }
    document.size = rest;
    document.version2 = v2;
    return true;
}

bool ReadDocument(const CQWF_String& path, LayoutDocument& document, CUserMessageSink* messages)
{
    CQWF_StdFile file;
    if (!file.Open(path, CQWF_StdFile::kModeRead)) return false;
    const bool ok = ReadDocumentFile(file, document, messages);
    file.Close();
    return ok;
}

bool CheckDocument(CLayoutModel& model, const LayoutDocument& document, CUserMessageSink* messages)
{
    if (model.AcceptsBlob(document.blob.GetData(), document.size, document.version2)) return true;
    qwexport::Tell(messages, kReadError);
    return false;
}

bool ApplyDocument(CLayoutModel& model, LayoutDocument& document, uint8_t** records,
                   uint32_t* count, CUserMessageSink* messages)
{
    uint8_t* first = nullptr;
    uint32_t n = 0;
    const bool ok =
        document.version2
            ? model.ReadLayoutV2(document.blob.GetData(), document.size, &first, &n, true)
            : model.ReadLayoutV3(document.blob.GetData(), document.size, &first, &n, true);
    if (records) *records = ok ? first : nullptr;
    if (count) *count = ok ? n : 0;
    if (!ok) qwexport::Tell(messages, kReadError);
    return ok;
}

}  // namespace qwdoc
