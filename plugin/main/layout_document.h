// Layout documents (".qwjd"): the magic "QWJW30" and the version-3.0 layout blob; documents of
// the older format ("QWJW20" and the version-2.0 blob) are read too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"
#include "plugin/main/export_files.h"

class CLayoutModel;
class CQWF_StdFile;

namespace qwdoc {

inline constexpr char kMagic30[] = "QWJW30";
inline constexpr char kMagic20[] = "QWJW20";
inline constexpr size_t kMagicSize = 6;
inline constexpr size_t kMinimumSize = 10;

inline constexpr const char* kUnknownFormat = "Unknow file format or file corrupt...";
inline constexpr const char* kReadError = "Error reading data file...";

// A document read from its file: the blob after the magic.
struct LayoutDocument {
    CQWF_Mem blob;
    size_t size = 0;
    bool version2 = false;  // "QWJW20": the older blob
};

// The writer of the document save dialog: the magic and the model's blob, flushed. A write that
// stores less than asked shows "Cannot write file..."; a blob that cannot be built was already
// reported by the model.
bool WriteDocumentFile(CQWF_StdFile* file, CLayoutModel* model, CUserMessageSink* messages);

// Reads a document from a file opened for reading; every refusal shows its message (a file under
// 10 bytes or with neither magic, exact case: kUnknownFormat; a short read: kReadError; no memory
// for the blob: "Memory allocation problem...").
bool ReadDocumentFile(CQWF_StdFile& file, LayoutDocument& document, CUserMessageSink* messages);
// The same from a path; a file that cannot be opened is refused without a message.
bool ReadDocument(const CQWF_String& path, LayoutDocument& document, CUserMessageSink* messages);

// Whether the reader of the document's version takes its blob; a damaged blob shows kReadError.
bool CheckDocument(CLayoutModel& model, const LayoutDocument& document, CUserMessageSink* messages);

// Reads the document's blob into the model with the reader of its version, redrawing. A damaged
// blob, or a grid that cannot be allocated, shows kReadError; a damaged one leaves the layout as
// it was. In Puzzle mode records and count give the effect records inside the document's blob,
// which the caller copies before the document goes.
bool ApplyDocument(CLayoutModel& model, LayoutDocument& document, uint8_t** records,
                   uint32_t* count, CUserMessageSink* messages);

}  // namespace qwdoc
