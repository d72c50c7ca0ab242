// The module's single plug-in object: runs About and Start over the host layer, owns the cutting
// engine, the host progress sink and the selection mask of the working rectangle, and writes a
// result back into the host's planes.
#pragma once

#include <cstdint>

#include "framework/core/qwf_mem.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/core/qw_8bfplugin.h"
#include "plugin/core/qw_hostprogress.h"

class CQWF_Image;

class CPluginMain : public CQWF_8BFPluginVirtual {
public:
    CPluginMain();
    ~CPluginMain() override;

    void About() override;
    void Prepare() override {}
    void Start() override { DoStart(); }

    void DoAbout();
    void DoStart();
    // The dialog path of Start: the main window runs and its result is written back.
    void RunDialog();

    // Saved window position, clamped to -100..7000 and -10..6000; (-32000, -32000) when the
    // settings store is not open or a value is missing.
    void GetWindowPosition(const char* group, const char* name, int32_t& x, int32_t& y);
    // Stores a window position under "Windows Positions>GROUP>NAME>Left" and ">Top".
    void SaveWindowPosition(const char* group, const char* name, int32_t x, int32_t y);

    // Narrows the working rectangle to the opaque pixels of a transparent layer and, when asked,
    // reads the mask of the working rectangle (transparency, selection or both).
    bool ReadMask(bool readMask);

    // The three writers of a result.
    bool ApplyLayoutMode();
    bool ApplyRenderedImage(CQWF_Image* image);
    bool ApplyPieces(uint32_t count, const uint8_t* records);

    CJigcrafter& GetEngine() { return m_engine; }
    CHostProgress& GetHostProgress() { return m_hostProgress; }
    // The mask of the working rectangle; its row stride is 0 when it is 255 everywhere (one row
    // of it is kept), else the working width.
    const uint8_t* GetMask() const { return m_maskPtr; }
    int64_t GetMaskStride() const { return m_maskStride; }
    int32_t GetWorkingWidth() const { return m_workWidth; }
    int32_t GetWorkingHeight() const { return m_workHeight; }

protected:
    // Replays a layout blob without a dialog and writes the result into the host's planes;
    // false ends the run with the result already set (the blob is converted in place).
    virtual bool ReplayLayout(const CQWF_Mem& blob);

private:
    // The result of a failed engine step: -128 after a cancel, -108 after a memory failure,
    // else -128.
    void SetEngineFailure();
    // RunApp; a window that could not be made for want of memory shows the memory message.
    int32_t RunWindow(CQWF_App& app);
    // The skin package opened; the message of a damaged installation, or of too little
    // memory, when it does not.
    bool OpenSkinPackage(CQWF_App& app);
    // "Memory allocation problem..." under "Error!", unless the engine has just said so.
    void TellMemoryFailure();
    // A step that did not succeed while allocations failed since `failures`
    // (qwp::AllocationFailures) tells the memory failure, unless the host's user cancelled.
    // The step's success.
    bool TellIfMemoryRanOut(bool succeeded, long failures);

    CJigcrafter m_engine;
    bool m_layersFlag = false;
    CHostProgress m_hostProgress{this};
    CQWF_Mem m_mask;
    uint8_t* m_maskPtr = nullptr;
    int64_t m_maskStride = 0;
    int32_t m_workWidth = 0;
    int32_t m_workHeight = 0;
    CQWF_Mem m_planes;  // colour planes and the rendered alpha of the piece write-back
};

// The one plug-in object of the module, built by static initialisation.
CPluginMain& ThePluginMain();
