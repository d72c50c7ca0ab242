// The one-level undo of Puzzle mode: the state of every piece (its rendered effect settings,
// selected and shown flags) before a change, kept when the change altered something, and
// exchanged with the pieces' current state by Undo, so that a second Undo redoes.
#pragma once

#include "framework/core/qwf_mem.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/core/piece_effect_record.h"

#include <cstdint>

// Whether the piece's settings to apply differ from the settings it was rendered with in a way
// that changes its pixels (hue/saturation counts on RGB images only).
bool PieceNeedsRender(const JigPiece& piece, bool rgb);

class CPiecesUndo {
public:
    // Told of every piece as Swap exchanges it; answering false ends the exchange (a failed
    // render).
    class CVisitor {
    public:
        virtual ~CVisitor() = default;
        virtual bool OnPieceSwapped(int32_t index, bool selectionChanged, bool shownChanged,
                                    bool needsRender) = 0;
    };

    // Before a change: the state of every piece and the current piece. False when memory runs
    // out; the undo state is then absent.
    bool Begin(const CJigcrafter& engine, int32_t currentPiece);
    // After the change: the state from before it becomes the undo state when some piece
    // changed (always, without onlyIfChanged). True when it did.
    bool End(const CJigcrafter& engine, bool onlyIfChanged);
    // Exchanges the undo state with the pieces' state: the stored settings become the pieces'
    // settings to apply (pieces whose pixels would not change take them as rendered too), and
    // the current piece is exchanged with the one kept. Nothing without an undo state of this
    // piece table; false when the visitor ended it.
    bool Swap(CJigcrafter& engine, bool rgb, int32_t& currentPiece, CVisitor* visitor);

    bool HasState() const { return m_valid; }
    // The records Begin took (one per piece), null when no change is under way.
    const PieceEffectRecord* GetSnapshot(int32_t& count) const
    {
        count = m_snapCount < 0 ? 0 : m_snapCount;
        return m_snapCount < 0 ? nullptr
                               : reinterpret_cast<const PieceEffectRecord*>(m_snapshot.GetData());
    }
    void Invalidate() { m_valid = false; }

private:
    CQWF_Mem m_snapshot;  // PieceEffectRecord per piece (host order)
    CQWF_Mem m_state;
    int32_t m_snapCount = -1;
    int32_t m_stateCount = 0;
    int32_t m_snapCurrent = -1;
    int32_t m_stateCurrent = -1;
    bool m_valid = false;
};
