// Bridges between the layout model and the plug-in core: the host's scripting parameters and the
// data folder for the last layout, and the cutting engine's piece table for Puzzle-mode blobs.
#pragma once

#include "plugin/main/layout_model.h"

class CQWF_8BFPluginVirtual;
class CJigcrafter;

// The host and file services of CLayoutModelSink over the plug-in object. The main window's sink
// derives from it and adds the window services (controls, Cutter, messages, redraw, close).
class CLayoutPluginSink : public CLayoutModelSink {
public:
    explicit CLayoutPluginSink(CQWF_8BFPluginVirtual* plugin = nullptr) : m_pPlugin(plugin) {}
    void SetPlugin(CQWF_8BFPluginVirtual* plugin) { m_pPlugin = plugin; }

    bool ReadScriptParameters(CQWF_Mem& blob) override;
    bool WriteScriptParameters(const uint8_t* data, size_t size) override;
    // Files of the plug-in object's data folder.
    bool ReadWholeFile(CQWF_Mem& blob, const char* name) override;
    bool WriteWholeFile(const uint8_t* data, size_t size, const char* name) override;

private:
    CQWF_8BFPluginVirtual* m_pPlugin;
};

// The engine's piece table as the source of the Puzzle-mode piece records, in table order.
class CJigcrafterPieceSource : public CPieceRecordSource {
public:
    explicit CJigcrafterPieceSource(const CJigcrafter* engine = nullptr) : m_pEngine(engine) {}
    void SetEngine(const CJigcrafter* engine) { m_pEngine = engine; }
    size_t GetPieceRecordCount() const override;
    void GetPieceRecord(size_t i, PieceEffectRecord& out) const override;

private:
    const CJigcrafter* m_pEngine;
};
