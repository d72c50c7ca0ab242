#include "plugin/windows/picker_models.h"

#include "framework/core/qwf_string.h"

namespace qwpick {

namespace {
bool AddItem(CQWF_StringArray& out, const char* text, int32_t number)
{
    CQWF_String s;
    s = text;
    return out.Add(s, static_cast<uint32_t>(number)) >= 0;
}
}  // namespace

bool BuildChannelList(const QWF_HostInfo& info, const CQWF_StringArray& names,
                      CQWF_StringArray& out)
{
    out.RemoveAll();
    if (info.selection && !AddItem(out, "- Current Selection", -1))
        return false;
    if (info.channelNamesPresent) {
        for (size_t i = 0; i < names.GetCount(); ++i) {
            const CQWF_String* name = names.GetStringPtr(i);
            if (!name)
                continue;
            if (out.Add(*name, name->GetTag()) < 0)
                return false;
        }
        return true;
    }
    static const char* const kGray[] = {"Gray"};
    static const char* const kRGB[] = {"Red", "Green", "Blue"};
    static const char* const kCMYK[] = {"Cyan", "Magenta", "Yellow", "Black"};
    const char* const* list = info.layout == 0 ? kGray : (info.layout == 2 ? kCMYK : kRGB);
    const int n = info.layout == 0 ? 1 : (info.layout == 2 ? 4 : 3);
    for (int i = 0; i < n; ++i)
        if (!AddItem(out, list[i], i))
            return false;
    if (info.transparencyPresent && info.planes > 0 &&
        !AddItem(out, "Layer Transparency", info.planes - 1))
        return false;
    return true;
}

ChannelRead ChannelReadFor(const QWF_HostInfo& info, int32_t number)
{
    if (number == -1 && info.selection)
        return info.hostMask ? kReadSelection : kFillWhole;
    if (info.channelNamesPresent)
        return number >= 0 ? kReadAbsolute : kReadNothing;
    return number >= 0 && number < info.planes ? kReadPlane : kReadNothing;
}

uint8_t CombineMode(bool add, bool subtract, bool intersect)
{
    return add ? 1 : (subtract ? 2 : (intersect ? 3 : 0));
}

bool CoversTarget(const QWF_LayerEntry& layer, const Rect& target)
{
    Rect clip = {layer.left > target.left ? layer.left : target.left,
                 layer.top > target.top ? layer.top : target.top,
                 layer.right < target.right ? layer.right : target.right,
                 layer.bottom < target.bottom ? layer.bottom : target.bottom};
    if (clip.Empty())
        return false;
    return clip.left == target.left && clip.top == target.top && clip.right == target.right &&
           clip.bottom == target.bottom;
}

bool BuildLayerList(const QWF_LayerEntry* table, size_t count, const Rect& target,
                    bool showFiltered, int32_t& chosenId, CQWF_StringArray& out,
                    int32_t& selected)
{
    out.RemoveAll();
    selected = -1;
    for (size_t k = count; table && k-- > 0;) {
        const QWF_LayerEntry& layer = table[k];
        const bool covers = CoversTarget(layer, target);
        if (showFiltered && !covers)
            continue;
        // The name is a fixed field of the host's table: never read past it.
        char name[sizeof layer.name + 1];
        size_t n = 0;
        while (n < sizeof layer.name && layer.name[n])
            name[n] = layer.name[n], ++n;
        name[n] = 0;
        CQWF_String text;
        text.Format("%s\t| %s", covers ? "+" : " ", name);
        const int64_t index = out.Add(text, static_cast<uint32_t>(k));
        if (index < 0)
            return false;
        if (selected < 0 && layer.id == chosenId)
            selected = static_cast<int32_t>(index);
    }
    if (selected < 0) {
        chosenId = -2;
        if (out.GetCount() > 0)
            selected = 0;
    }
    return true;
}

bool PictureRect(const Rect& source, int32_t width, int32_t height, Rect& picture)
{
    picture = {0, 0, 0, 0};
    if (source.Empty() || width <= 0 || height <= 0)
        return false;
    const int64_t sw = int64_t(source.right) - source.left;
    const int64_t sh = int64_t(source.bottom) - source.top;
    int64_t pw = width, ph = height;
    if (sw * height >= sh * width)
        ph = sh * width / sw;  // wider than the preview: the width fills it
    else
        pw = sw * height / sh;
    if (pw < 1) pw = 1;
    if (ph < 1) ph = 1;
    picture.left = static_cast<int32_t>((width - pw) / 2);
    picture.top = static_cast<int32_t>((height - ph) / 2);
    picture.right = picture.left + static_cast<int32_t>(pw);
    picture.bottom = picture.top + static_cast<int32_t>(ph);
    return true;
}

bool MarkerRect(const Rect& target, const Rect& source, const Rect& picture, int32_t width,
                int32_t height, Rect& marker)
{
    marker = {0, 0, 0, 0};
    if (source.Empty() || picture.Empty() || width <= 0 || height <= 0)
        return false;
    const double sx = double(picture.right - picture.left) / (double(source.right) - source.left);
    const double sy = double(picture.bottom - picture.top) / (double(source.bottom) - source.top);
    auto mapX = [&](int32_t x) { return picture.left + (double(x) - source.left) * sx; };
    auto mapY = [&](int32_t y) { return picture.top + (double(y) - source.top) * sy; };
    double l = mapX(target.left), r = mapX(target.right);
    double t = mapY(target.top), b = mapY(target.bottom);
    if (r - l < 2) r = l + 2;
    if (b - t < 2) b = t + 2;
    auto clip = [](double v, int32_t hi) {
        return v < 0 ? 0 : (v > hi ? hi : static_cast<int32_t>(v));
    };
    marker = {clip(l, width), clip(t, height), clip(r, width), clip(b, height)};
    return !marker.Empty();
}

}  // namespace qwpick
