// The channel picker and the layer picker without their windows: the channel list of a document
// and how each entry is read, the covering test and the list of the layer picker, and the
// geometry and pixels of the layer picker's preview.
#pragma once

#include "framework/core/qwf_array.h"
#include "plugin/core/qw_8bfplugin.h"

#include <cstddef>
#include <cstdint>

namespace qwpick {

// ---- channel picker -----------------------------------------------------------------------------
// The list entries of a document: "- Current Selection" (-1) when it has a selection, then its
// named channels (each name's tag its identifier) when the host offers names, else the planes
// of its mode and "Layer Transparency" (the last plane) when it has transparency. Each entry's
// tag is its number. False when memory runs out.
bool BuildChannelList(const QWF_HostInfo& info, const CQWF_StringArray& names,
                      CQWF_StringArray& out);

// How an entry is read into the map.
enum ChannelRead : uint8_t {
    kReadSelection = 0,  // the selection mask of the filter rectangle
    kFillWhole,          // a selection the host does not let us read: 255 everywhere
    kReadAbsolute,       // a named channel in document coordinates
    kReadPlane,          // a plane of the filter rectangle
    kReadNothing,        // a number past the planes: the map stays as it is
};
ChannelRead ChannelReadFor(const QWF_HostInfo& info, int32_t number);

// The combine mode from the four radios (new, add, subtract, intersect), first checked wins.
uint8_t CombineMode(bool add, bool subtract, bool intersect);

// ---- layer picker -------------------------------------------------------------------------------
struct Rect {
    int32_t left, top, right, bottom;
    bool Empty() const { return right <= left || bottom <= top; }
};

// The layer's rectangle clipped to the target region equals the region (false for an empty
// clip).
bool CoversTarget(const QWF_LayerEntry& layer, const Rect& target);

// The picker's list: the table walked from its last entry to its first, a covering layer as
// "+\t| name", another as " \t| name" (left out when showFiltered); each item's tag its table
// index. selected is the item whose layer is chosenId, else the first item (chosenId then
// becoming -2), -1 for an empty list. False when memory runs out.
bool BuildLayerList(const QWF_LayerEntry* table, size_t count, const Rect& target,
                    bool showFiltered, int32_t& chosenId, CQWF_StringArray& out,
                    int32_t& selected);

// Where a source rectangle's picture stands in a preview of w x h: the larger side fills the
// preview, the other in proportion, centred. False (and an empty picture) for an empty source
// or preview: the preview then shows its failure picture.
bool PictureRect(const Rect& source, int32_t width, int32_t height, Rect& picture);

// Where the target region lies in the picture of a source (scaled like the picture, at least
// 2 pixels wide and high, clipped to the preview of w x h). False when that is empty.
bool MarkerRect(const Rect& target, const Rect& source, const Rect& picture, int32_t width,
                int32_t height, Rect& marker);

// A colour over its background at an alpha: (value x alpha + (255 - alpha) x background) >> 8.
inline uint8_t BlendOver(uint8_t value, uint8_t alpha, uint8_t background)
{
    return static_cast<uint8_t>((value * alpha + (255 - alpha) * background) >> 8);
}

}  // namespace qwpick
