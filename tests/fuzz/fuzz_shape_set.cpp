// Loads arbitrary bytes as a shape set the way the presets manager's "Append Set..." and
// "Replace Set..." do (the first byte chooses), over a library of two shapes. A refused set
// leaves the library file as it was; an accepted one is in the library, every shape of it shows
// in the Cutter's editor, and the library saved as a set reads back to the same records.
//
// Input: one byte (bit 0: replace), then the set file.
#include <cmath>
#include <cstring>
#include <vector>

#include "framework/core/qwf_file.h"
#include "plugin/windows/knife_shape_editor.h"
#include "plugin/windows/presets_model.h"
#include "plugin/windows/shape_library.h"
#include "tests/fuzz/fuzz_support.h"

using qwfuzz::Check;
using shape_library::kRecordSize;

namespace {
struct Messages : CShapeMessageSink {
    int errors = 0;
    void ShowError(const char*) override { ++errors; }
};

// The library before the set comes: two named shapes.
std::vector<uint8_t> Library()
{
    std::vector<uint8_t> records(2 * kRecordSize);
    KnifeShape shape;
    CKnifeShapeEditor::MakeDefaultShape(shape);
    ShapeToRecord(shape, "Classic", records.data());
    shape.nodeCount = 0;
    ShapeToRecord(shape, "Straight", records.data() + kRecordSize);
    return records;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const bool replace = data[0] & 1;
    std::vector<uint8_t> set(data + 1, data + size);
    qwfuzz::SealPackage(set);

    static const std::vector<uint8_t> library = Library();
    const std::string libraryFile = qwfuzz::HostPath("ckss.data");
    Check(qwfuzz::WriteFile(libraryFile, library.data(), library.size()));

    Messages messages;
    CPresetsManagerModel model;
    model.SetMessages(&messages);
    model.SetLibraryPath(CQWF_String(qwfuzz::WindowsPath("ckss.data").c_str()));
    model.Open(nullptr, 0);
    Check(model.GetCount() == 2 && messages.errors == 0);

    // The window reads the whole file and hands its bytes over.
    if (!model.ReadShapeSet(set.data(), set.size(), replace)) {
        // Told at most once (a sound package of another kind is refused without a word).
        Check(messages.errors <= 1);
        std::vector<uint8_t> now;
        Check(qwfuzz::ReadFile(libraryFile, now) && now == library);
        Check(model.GetCount() == 2 && std::memcmp(model.GetRecord(0), library.data(), library.size()) == 0);
        return 0;
    }
    Check(messages.errors == 0);
    const size_t count = model.GetCount();
    if (!replace) Check(count >= 2 && std::memcmp(model.GetRecord(0), library.data(), library.size()) == 0);
    std::vector<uint8_t> file;
    Check(qwfuzz::ReadFile(libraryFile, file) && file.size() == count * kRecordSize);

    // Every shape as the Cutter takes it from the library.
    CKnifeShapeEditor editor;
    editor.SetPreviewSize(232, 292);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* record = model.GetRecord(i);
        Check(record[shape_library::kNameMax] == 0 && record[shape_library::kCountOffset] <= kKnifeMaxNodes);
        KnifeShape shape;
        Check(model.GetShape(i, shape));
        Check(shape.nodeCount <= kKnifeMaxNodes);
        for (int k = 0; k < shape.nodeCount; ++k)
            Check(std::isfinite(shape.H[k]) && std::isfinite(shape.U[k]) && std::isfinite(shape.S[k]));
        editor.SetShape(shape, false);
    }

    // "Save Set As..." of the whole library, then read back: the same records.
    model.SelectAll();
    {
        CQWF_StdFile out;
        Check(out.Open(CQWF_String(qwfuzz::WindowsPath("copy.qwjk").c_str()), CQWF_StdFile::kModeCreateReadWrite));
        Check(model.WriteShapeSetFile(out));
        out.Close();
    }
    std::vector<uint8_t> saved;
    Check(qwfuzz::ReadFile(qwfuzz::HostPath("copy.qwjk"), saved));
    CQWF_Mem records;
    size_t again = 0;
    Check(ParseShapeSet(saved.data(), saved.size(), records, again, &messages));
    Check(again == count);
    for (size_t i = 0; i < count; ++i) {
        // The names and the values of the nodes in use; the bytes after them are not the set's.
        const uint8_t* a = model.GetRecord(i);
        const uint8_t* b = records.GetData() + i * kRecordSize;
        CQWF_String na, nb;
        GetRecordName(a, na);
        GetRecordName(b, nb);
        Check(na.Compare(nb) == 0);
        const int n = a[shape_library::kCountOffset];
        Check(b[shape_library::kCountOffset] == n);
        for (size_t offset : {shape_library::kUOffset, shape_library::kHOffset, shape_library::kSOffset})
            Check(std::memcmp(a + offset, b + offset, 4 * size_t(n)) == 0);
    }
    return 0;
}
