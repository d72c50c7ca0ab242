// The skin compiler: readable skin sources in, the application's skin package out.
// The language is described in skin/README.md.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/skinc/skin_package.h"
#include "tools/skinc/skin_source.h"
#include "tools/skinc/skin_style.h"

namespace skinc {

struct SourceText {
    std::string path;  // as shown in messages; blob files are found relative to its folder
    std::string text;
};

// What the compiler made of one window, for previews and checks.
struct WindowSummary {
    std::string name;
    int width = 0, height = 0;
    // Keys of the image elements that show the window at rest, bottom to top: Background,
    // Caption_Active, then each control's first state image in the order written.
    std::vector<std::string> restingLayers;
};

class Compiler {
public:
    Compiler();
    ~Compiler();

    // Parses and builds every source (the order of files does not matter). False when any
    // error was found; the messages are in Diag().
    bool Compile(const std::vector<SourceText>& sources);

    Diagnostics& Diag() { return m_diag; }
    PackageBuilder& Package() { return *m_package; }
    const std::vector<WindowSummary>& Windows() const { return m_windows; }
    // Files read besides the sources (font faces, blob files), for build dependencies.
    const std::vector<std::string>& ExtraInputs() const { return m_extraInputs; }

    // The screen every window must fit on, shadow included.
    static constexpr int kScreenWidth = 1366;
    static constexpr int kScreenHeight = 768;
    // What the toolkit's drop shadow adds to a window's width and height (4 x 4 + 6).
    static constexpr int kShadowExtra = 22;
    // Runs of opaque pixels a window shape may have (the toolkit falls back to a rectangle above).
    static constexpr int kMaxShapeRuns = 3999;

private:
    friend class WindowBuilder;
    void BuildEntry(const Node& node, const std::string& sourcePath);

    Diagnostics m_diag;
    std::unique_ptr<Style> m_style;
    std::unique_ptr<PackageBuilder> m_package;
    std::vector<WindowSummary> m_windows;
    std::vector<std::string> m_extraInputs;
    std::map<std::string, Where> m_controlFolders;
};

// Reads the sources under a folder (every *.skin file, in name order) or the given files.
bool ReadSources(const std::vector<std::string>& paths, std::vector<SourceText>& out, Diagnostics& diag);

}  // namespace skinc
