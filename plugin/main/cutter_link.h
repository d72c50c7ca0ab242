// The meeting point of the main window and the Cutter, which live in different layers: the main
// window implements CCutterOwner (what the Cutter asks of it), the Cutter implements CCutterLink
// (what the main window asks of the Cutter), and the main window makes its Cutter through the
// factory the windows layer installs.
#pragma once

#include "plugin/core/jigcrafter.h"
#include "plugin/main/layout_model.h"

#include <cstdint>

class CQWF_Window;
class CPluginMain;

class CCutterOwner {
public:
    virtual ~CCutterOwner() = default;
    virtual CQWF_Window* GetOwnerWindow() = 0;
    virtual CPluginMain* GetPlugin() = 0;
    virtual CLayoutModel& GetLayout() = 0;
    // Grid parameters the Cutter forwards.
    virtual bool ResizeGrid(int rows, int columns) = 0;
    virtual void PreviewGridSize(int rows, int columns) = 0;
    virtual void SetKnifeThickness(int thickness, bool razor) = 0;
    virtual void SetTipsSize(int tips) = 0;
    virtual void SetAntiAliasing(bool on) = 0;
    // The hand-over of the knives to the engine, and the picture the Cut cuts.
    virtual bool TransferKnives() = 0;
    virtual bool GetCutPicture(int32_t& width, int32_t& height, const uint8_t*& mask,
                               int64_t& maskStride, const uint8_t* planes[3]) = 0;
    // The Cutter closed: back to Puzzle mode.
    virtual void LeaveLayoutMode() = 0;
    // No Puzzle-mode undo state after a cut.
    virtual void ForgetPiecesUndo() = 0;
    virtual void PumpOwnerMessages() = 0;
};

class CCutterLink {
public:
    virtual ~CCutterLink() = default;
    // Values before the window is created.
    virtual void SetGrid(int rows, int columns, bool antiAliasing) = 0;
    virtual void ShowTipsSize(int value, bool mixed) = 0;
    virtual void ShowKnifeThickness(int value, bool mixed, bool razor) = 0;
    // Effect records (92 bytes each, host order) handed over; false when memory runs out.
    virtual bool SetHandedRecords(const uint8_t* records, uint32_t count) = 0;
    // The effect records of a layout document loaded while the Cutter is open; they win over the
    // handed ones at the next cut. False when memory runs out.
    virtual bool SetLoadedRecords(const uint8_t* records, uint32_t count) = 0;
    // Sliders, edit lines and check boxes shown again from the values set.
    virtual void RefreshControls() = 0;
    virtual bool Open(int32_t x, int32_t y) = 0;
    virtual CQWF_Window* GetWindow() = 0;
    virtual const CutterState* GetCutterState() const = 0;
    virtual void SetShape(const KnifeShape& shape) = 0;
    virtual bool SaveLastShape() = 0;
    virtual void SavePosition() = 0;
    virtual bool GetCutDone() const = 0;
    virtual bool GetLayoutChanged() const = 0;
};

// Installed by the windows layer; null until then.
using CutterFactory = CCutterLink* (*)(CCutterOwner* owner);
void SetCutterFactory(CutterFactory factory);
CutterFactory GetCutterFactory();
