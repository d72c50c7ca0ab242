// Cloning the Cutter's knife shape onto the Splitter's knives, with a random mutation of the
// smoothness S, the depth H and the position U of every renewed node. The Cutter keeps the mode
// and the three amounts; the main window does the cloning itself, one knife at a time.
#pragma once

#include <cstdint>

class CLayoutModel;
class CQWF_Storage;

// The main window's side of a clone request. Amounts come in the order S, H, U.
class CShapeCloneTarget {
public:
    virtual ~CShapeCloneTarget() = default;
    // Every knife in scope takes the Cutter's shape; with selectedOnly only the nodes selected in
    // the Cutter are renewed.
    virtual void ApplyKnifeShape(float s, float h, float u, bool selectedOnly, bool recordUndo) = 0;
    // After the Cutter negated its heights / reversed its nodes: the knives follow.
    virtual void ApplyKnifeShapeFlipH(float s, float h, float u) = 0;
    virtual void ApplyKnifeShapeFlipU(float s, float h, float u) = 0;
};

// The layout model as the clone target (each request records its undo state there): the model
// must read the Cutter's state (CLayoutModel::SetCutter) for the shape it clones.
class CLayoutCloneTarget : public CShapeCloneTarget {
public:
    explicit CLayoutCloneTarget(CLayoutModel& model) : m_model(model) {}
    void ApplyKnifeShape(float s, float h, float u, bool selectedOnly, bool recordUndo) override;
    void ApplyKnifeShapeFlipH(float s, float h, float u) override;
    void ApplyKnifeShapeFlipU(float s, float h, float u) override;

private:
    CLayoutModel& m_model;
};

class CShapeCloning {
public:
    enum Mode : int32_t {
        kNoCloning = 0,
        kWithoutMutation = 1,
        kLow = 2,
        kMedium = 3,
        kHigh = 4,
        kExtreme = 5,
        kCustom = 6,
    };
    // Menu ids of the cloning menu: kMenuFirst + mode.
    static constexpr int kMenuFirst = 16;

    int32_t GetMode() const { return m_mode; }
    bool IsCloningOn() const { return m_mode != kNoCloning; }
    float GetAmountS() const { return m_amountS; }
    float GetAmountU() const { return m_amountU; }
    float GetAmountH() const { return m_amountH; }

    // Modes 1-5 take their fixed amounts; 0 and 6 keep the current ones. Values outside 0..6
    // change nothing (false).
    bool SetMode(int32_t mode);
    // Custom amounts, each held to 0..1; the mode becomes 6.
    void SetCustom(float s, float u, float h);
    // Back to the state of a new Cutter: mode 1, amounts 0.
    void Reset();

    // "Cloning with LOW mutation" and the others, of a mode SetMode accepts.
    static const char* GetModeText(int32_t mode);
    // "Clone With Low Mutation" and the others (the menu item of a mode SetMode accepts).
    static const char* GetMenuText(int32_t mode);

    // The stored custom amounts ("Custom Mutations Settings>MutS", ">MutU", ">MutH", doubles);
    // each missing value keeps what is in s, u, h.
    static void LoadCustomAmounts(CQWF_Storage* prefs, float& s, float& u, float& h);
    static bool SaveCustomAmounts(CQWF_Storage* prefs, float s, float u, float h);

private:
    int32_t m_mode = kWithoutMutation;
    float m_amountS = 0.0f;
    float m_amountU = 0.0f;
    float m_amountH = 0.0f;
};
