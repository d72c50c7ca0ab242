// How the knife-shape files, the shape library and the shape sets report a failure: at once,
// with a short text under the caption "Error!". The windows route the text to the application's
// message box; tests record it.
#pragma once

class CShapeMessageSink {
public:
    virtual ~CShapeMessageSink() = default;
    virtual void ShowError(const char* text) = 0;
    // Progress of a longer write ("Writing shape 2 of 5") for the window's status line.
    virtual void ShowStatus(const char* /*text*/) {}
};

// Failure texts, used as they stand.
namespace shape_text {
inline constexpr const char* kCaption = "Error!";
inline constexpr const char* kEmptyFile = "File corrupt... (0-length file)";
inline constexpr const char* kMemory = "Memory allocation problem...";
inline constexpr const char* kReadError = "Error reading data file...";
inline constexpr const char* kUnknownFormat = "Unknow file format or file corrupt...";
inline constexpr const char* kCannotWrite = "Cannot write file...";
inline constexpr const char* kCannotUpdate = "Cannot update presets file...";
}  // namespace shape_text
