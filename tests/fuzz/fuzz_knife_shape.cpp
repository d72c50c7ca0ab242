// Loads arbitrary bytes as a knife-shape file (the current package form, and the older 53-byte
// form) the way the Cutter and the presets manager load one, then uses what loaded as they do:
// the Cutter's editor shows it, the shape is exported as EPS and Illustrator text, added to the
// shape library, and saved and loaded again unchanged.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "framework/core/qwf_file.h"
#include "plugin/windows/knife_shape_editor.h"
#include "plugin/windows/knife_shape_files.h"
#include "plugin/windows/shape_library.h"
#include "tests/fuzz/fuzz_support.h"

using qwfuzz::Check;

namespace {
struct Messages : CShapeMessageSink {
    int errors = 0;
    void ShowError(const char*) override { ++errors; }
};

bool Load(const std::string& name, KnifeShape& shape, Messages& messages)
{
    CQWF_StdFile file;
    Check(file.Open(CQWF_String(qwfuzz::WindowsPath(name).c_str()), CQWF_StdFile::kModeRead));
    return LoadKnifeShapeFile(file, shape, &messages);
}

bool SameValues(const KnifeShape& a, const KnifeShape& b)
{
    if (a.nodeCount != b.nodeCount) return false;
    for (int i = 0; i < a.nodeCount; ++i)
        if (std::memcmp(&a.H[i], &b.H[i], sizeof(double)) != 0 ||
            std::memcmp(&a.U[i], &b.U[i], sizeof(double)) != 0 ||
            std::memcmp(&a.S[i], &b.S[i], sizeof(double)) != 0)
            return false;
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    qwfuzz::SealPackage(bytes);
    Check(qwfuzz::WriteFile(qwfuzz::HostPath("shape.qwjh"), bytes.data(), bytes.size()));

    // A shape that was there before: a failed load leaves it as it was.
    KnifeShape shape;
    std::memset(&shape, 0x5A, sizeof shape);
    shape.nodeCount = 3;
    const KnifeShape before = shape;
    Messages messages;
    if (!Load("shape.qwjh", shape, messages)) {
        Check(messages.errors == 1);
        Check(std::memcmp(&shape, &before, sizeof shape) == 0);
        return 0;
    }
    Check(messages.errors == 0);
    Check(shape.nodeCount <= kKnifeMaxNodes);
    for (int i = 0; i < shape.nodeCount; ++i)
        Check(std::isfinite(shape.H[i]) && std::isfinite(shape.U[i]) && std::isfinite(shape.S[i]));
    // The selection flags are not the file's.
    Check(std::memcmp(shape.selected, before.selected, sizeof shape.selected) == 0);
    const bool older = size == knife_file::kOldSize && std::memcmp(data, knife_file::kOldMagic, knife_file::kOldMagicLength) == 0;
    if (older) {
        Check(shape.nodeCount == 5);
        for (int i = 0; i < 5; ++i)
            Check(shape.H[i] >= -3 && shape.H[i] <= 3 && shape.U[i] >= 0 && shape.U[i] <= 1 && shape.S[i] >= 0 &&
                  shape.S[i] <= 1);
    }

    // Saved and loaded again: the same values.
    {
        CQWF_StdFile out;
        Check(out.Open(CQWF_String(qwfuzz::WindowsPath("copy.qwjh").c_str()), CQWF_StdFile::kModeCreateReadWrite));
        Check(SaveKnifeShapeFile(out, shape, &messages));
        Check(out.Close());
        KnifeShape again = before;
        Check(Load("copy.qwjh", again, messages));
        Check(SameValues(again, shape));
    }

    // The Cutter shows it at each zoom.
    CKnifeShapeEditor editor;
    editor.SetPreviewSize(232, 292);
    for (int zoom = 0; zoom < 3; ++zoom) {
        editor.SetZoom(zoom);
        editor.SetShape(shape, false);
        Check(editor.GetNodeCount() == shape.nodeCount);
    }

    // Exported as a drawing.
    for (bool eps : {true, false}) {
        CQWF_Mem text;
        size_t length = 0;
        if (BuildKnifeShapeDrawing(shape, eps, text, length)) Check(length > 0 && length <= text.GetSize());
    }

    // Added to the shape library under a name, and read back from it.
    const CQWF_String library(qwfuzz::WindowsPath("ckss.data").c_str());
    qwp::RemoveFile(library.GetBuffer());
    Check(AppendCustomShape(library, "Loaded", shape, &messages));
    CQWF_Mem records;
    size_t count = 0;
    Check(ReadCustomShapes(library, records, count) == LibraryRead::kOk && count == 1);
    KnifeShape fromLibrary;
    // A shape a file may hold is a sound library entry (narrowing to floats keeps the bounds).
    Check(RecordToShape(records.GetData(), fromLibrary));
    Check(fromLibrary.nodeCount == shape.nodeCount);
    return 0;
}
