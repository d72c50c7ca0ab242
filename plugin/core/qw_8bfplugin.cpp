// Host layer: selectors, host information, strips, callbacks, layers, colours, properties.
#include "plugin/core/qw_8bfplugin.h"

#include <cstring>

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_window.h"
#include "platform/qw_memhint.h"
#include "platform/qw_threads.h"
#include "platform/qw_winsys.h"

namespace {

constexpr int32_t kNoValue = -32000;
constexpr size_t kLayerScanBuffer = 1048576;
constexpr char kCompositeName[] = "--COMPOSITE--";

enum TransferKind { kReadRelative, kReadAbsolute, kWrite, kFill };

}  // namespace

CQWF_8BFPluginVirtual::CQWF_8BFPluginVirtual() = default;

CQWF_8BFPluginVirtual::~CQWF_8BFPluginVirtual()
{
    if (m_channelPorts && m_portsBasic && m_portsBasic->ReleaseSuite)
        m_portsBasic->ReleaseSuite(kPSChannelPortsSuite, kPSChannelPortsSuiteVersion2);
    m_channelPorts = nullptr;
    m_portsBasic = nullptr;
    if (m_settingsOpen) m_settings.Close();
}

void CQWF_8BFPluginVirtual::SetHostPointers(FilterRecord* record, intptr_t* data, int16_t* result)
{
    m_record = record;
    m_data = data;
    m_result = result;
}

void CQWF_8BFPluginVirtual::Finish()
{
    ClearRects();
    m_showDialog = 0;
}

void CQWF_8BFPluginVirtual::ClearRects()
{
    if (!m_record) return;
    m_record->inRect = QWH_Rect{0, 0, 0, 0};
    m_record->outRect = QWH_Rect{0, 0, 0, 0};
    m_record->maskRect = QWH_Rect{0, 0, 0, 0};
}

// ---------------------------------------------------------------------------------------------
// Host callbacks

bool CQWF_8BFPluginVirtual::AdvanceState()
{
    SetResult(noErr);
    if (!m_record) return false;
    if (!m_record->advanceState) {
        SetResultBadParameters();
        return false;
    }
    if (m_record->advanceState() != noErr) {
        SetResultCanceled();
        return false;
    }
    return true;
}

bool CQWF_8BFPluginVirtual::HostAbort()
{
    if (!m_record || !m_record->abortProc) return false;
    return m_record->abortProc() != 0;
}

bool CQWF_8BFPluginVirtual::HostProgress(int32_t total, int32_t done)
{
    if (!m_record || !m_record->progressProc) return false;
    m_record->progressProc(done, total);
    return true;
}

bool CQWF_8BFPluginVirtual::HasHandleProcs() const
{
    const HandleProcs* h = m_record ? m_record->handleProcs : nullptr;
    return h && h->newProc && h->disposeProc && h->getSizeProc && h->lockProc && h->unlockProc;
}

// ---------------------------------------------------------------------------------------------
// Host information

bool CQWF_8BFPluginVirtual::GetPropertyText(uint32_t key, int32_t index, CQWF_String& out)
{
    if (!m_record || !m_record->propertyProcs || !m_record->propertyProcs->getPropertyProc)
        return false;
    const HandleProcs* hp = m_record->handleProcs;
    if (!hp || !hp->getSizeProc || !hp->lockProc || !hp->unlockProc || !hp->disposeProc)
        return false;
    Handle h = nullptr;
    intptr_t simple = 0;
    if (m_record->propertyProcs->getPropertyProc(kPhotoshopSignature, key, index, &simple, &h) !=
            noErr ||
        !h)
        return false;
    bool ok = true;
    int32_t size = hp->getSizeProc(h);
    char* p = hp->lockProc(h, 0);
    if (size <= 0) {
        out = "";
    } else if (!p) {
        ok = false;
    } else {
        char* dst = out.SetLength(size_t(size));
        if (!dst) {
            ok = false;
        } else {
            std::memcpy(dst, p, size_t(size));
        }
    }
    hp->unlockProc(h);
    hp->disposeProc(h);
    return ok;
}

bool CQWF_8BFPluginVirtual::ReadHostInfo()
{
    ClearError();
    if (!m_record) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    FilterRecord& r = *m_record;
    std::memset(&m_info, 0, sizeof m_info);
    m_channelNames.RemoveAll();
    QWF_HostInfo& in = m_info;

    in.left = r.filterRect.left;
    in.top = r.filterRect.top;
    in.right = r.filterRect.right;
    in.bottom = r.filterRect.bottom;
    int32_t fw = in.right - in.left, fh = in.bottom - in.top;
    if (r.wholeSize.h != 0 && r.wholeSize.v != 0) {
        in.wholeWidth = r.wholeSize.h;
        in.wholeHeight = r.wholeSize.v;
        in.imageWidth = r.imageSize.h;
        in.imageHeight = r.imageSize.v;
        in.floatX = r.floatCoord.h;
        in.floatY = r.floatCoord.v;
    } else {
        in.wholeWidth = in.imageWidth = fw;
        in.wholeHeight = in.imageHeight = fh;
    }

    switch (r.imageMode) {
    case plugInModeGrayScale: in.layout = 0; in.planes = 1; break;
    case plugInModeRGBColor: in.layout = 1; in.planes = 3; break;
    case plugInModeCMYKColor: in.layout = 2; in.planes = 4; break;
    default: SetError(kErrBadMode); return false;
    }
    in.depth = 8;
    in.hostMask = r.haveMask ? 1 : 0;

    struct Case { uint8_t present, editable, selection; };
    static const Case cases[8] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 1}, {1, 1, 1},
                                  {1, 1, 0}, {1, 1, 1}, {1, 0, 0}, {1, 0, 1}};
    if (r.filterCase < 0 || r.filterCase > 7) {
        SetError(kErrBadMode);
        return false;
    }
    const Case& c = cases[r.filterCase];
    in.transparencyPresent = c.present;
    in.transparencyEditable = c.editable;
    in.selection = r.filterCase == 0 ? in.hostMask : c.selection;
    if (r.filterCase >= 1 && r.hostSig != kPhotoshopSignature) {
        if (!in.transparencyPresent && r.inTransparencyMask > 0) in.transparencyPresent = 1;
        if (!in.transparencyEditable && r.outTransparencyMask > 0) in.transparencyEditable = 1;
    }
    if (in.transparencyPresent) ++in.planes;

    std::memcpy(in.foreground, r.foreColor, 4);
    std::memcpy(in.background, r.backColor, 4);

    in.hResolution = double(r.imageHRes) / 65536.0;
    in.vResolution = double(r.imageVRes) / 65536.0;
    if (in.hResolution <= 0 && in.vResolution > 0) in.hResolution = in.vResolution;
    if (in.vResolution <= 0 && in.hResolution > 0) in.vResolution = in.hResolution;

    GetPropertyProc prop = r.propertyProcs ? r.propertyProcs->getPropertyProc : nullptr;
    in.rulerUnits = 0;
    if (prop) {
        intptr_t unit = 0;
        Handle none = nullptr;
        if (prop(kPhotoshopSignature, propRulerUnits, 0, &unit, &none) == noErr) {
            if (unit >= 0 && unit <= 3) in.rulerUnits = uint8_t(unit);
            else if (unit == 6) in.rulerUnits = 4;
        }
    }

    if (r.supportsAbsolute && prop) {
        intptr_t count = 0;
        Handle none = nullptr;
        if (prop(kPhotoshopSignature, propNumberOfChannels, 0, &count, &none) == noErr &&
            count > 0) {
            // The count comes from the host; a channel index is 32 bits wide.
            if (count > 0x7fffffff) count = 0x7fffffff;
            in.channelNamesPresent = 1;
            in.channelCount = int32_t(count);
            for (int32_t i = 0; i < in.channelCount; ++i) {
                CQWF_String name;
                if (!GetPropertyText(propChannelName, i, name)) name.Format("Channel %d", i + 1);
                // The tag is the channel's identifier, its index in the host's order.
                if (m_channelNames.Add(name, uint32_t(i)) < 0) {
                    SetError(QWF_ERR_MEMORY);
                    return false;
                }
            }
        }
    }

    const HandleProcs* hp = r.handleProcs;
    if (hp && hp->lockProc && hp->unlockProc && r.canUseICCProfiles && r.iCCprofileData &&
        r.iCCprofileSize > 0) {
        size_t size = size_t(r.iCCprofileSize);
        // Never copy more than the handle holds.
        if (hp->getSizeProc) {
            int32_t have = hp->getSizeProc(r.iCCprofileData);
            if (have >= 0 && size_t(have) < size) size = size_t(have);
        }
        if (size && m_profile.GetSize() < size && !m_profile.Resize(size)) {
            SetError(QWF_ERR_MEMORY);
            return false;
        }
        const char* p = hp->lockProc(r.iCCprofileData, 0);
        if (p && size) {
            std::memcpy(m_profile.GetData(), p, size);
            in.profile = m_profile.GetData();
            in.profileSize = int32_t(size);
        }
        hp->unlockProc(r.iCCprofileData);
    }

    in.layersAvailable = (r.sSPBasic && r.sSPBasic->AcquireSuite && r.documentInfo &&
                          r.documentInfo->maxVersion > 1 && r.documentInfo->layersDescriptor &&
                          AcquireChannelPorts())
                             ? 1
                             : 0;

    in.docLeft = in.floatX + in.left;
    in.docTop = in.floatY + in.top;
    in.docRight = in.floatX + in.right;
    in.docBottom = in.floatY + in.bottom;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Strips

namespace {

// Rows [begin, end) of one strip of a transfer between the host's buffer and the plug-in's.
struct StripRows {
    int kind;
    bool reading;
    uint8_t* host;
    int32_t hostRow;
    uint8_t* buffer;
    int64_t stride;
    int64_t first;  // the strip's first row in the plug-in's rows
    int64_t width;
    uint8_t value;
    CQWF_8BFPluginVirtual::RowMaker rowMaker;
    void* context;
};

void CopyStripRows(void* context, int64_t begin, int64_t end)
{
    const StripRows& s = *static_cast<const StripRows*>(context);
    for (int64_t row = begin; row < end; ++row) {
        uint8_t* h = s.host + row * int64_t(s.hostRow);
        uint8_t* c = s.buffer ? s.buffer + (s.first + row) * s.stride : nullptr;
        const size_t n = size_t(s.width);
        if (s.reading) std::memcpy(c, h, n);
        else if (s.kind == kWrite && s.rowMaker) s.rowMaker(s.context, s.first + row, h, s.width);
        else if (s.kind == kWrite) std::memcpy(h, c, n);
        else std::memset(h, s.value, n);
    }
}

}  // namespace

bool CQWF_8BFPluginVirtual::Transfer(int kind, int plane, int32_t left, int32_t top,
                                     int32_t right, int32_t bottom, uint8_t* buffer,
                                     int64_t stride, uint8_t value, RowMaker rowMaker,
                                     void* context)
{
    ClearError();
    SetResult(noErr);
    if (!m_record) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    FilterRecord& r = *m_record;
    if (kind == kReadAbsolute) {
        if (!r.supportsAbsolute) {
            SetError(QWF_ERR_ARGUMENT);
            return false;
        }
        r.wantsAbsolute = 1;
    } else if (kind == kReadRelative) {
        r.wantsAbsolute = 0;
    }
    ClearRects();
    if (r.maxSpace <= 0) {
        SetResultBadParameters();
        return false;
    }
    if (left >= right || top >= bottom || (kind != kFill && !buffer && !rowMaker)) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    int64_t width = int64_t(right) - left, height = int64_t(bottom) - top;
    int64_t rows = int64_t(r.maxSpace) / width;
    if (rows > height) rows = height;
    if (rows <= 0) {
        SetError(QWF_ERR_ARGUMENT);
        SetResultBadParameters();
        return false;
    }
    bool reading = kind == kReadRelative || kind == kReadAbsolute;
    bool mask = reading && plane == -1;
    for (int64_t y = top; y < bottom; y += rows) {
        int32_t stripBottom = int32_t(y + rows < bottom ? y + rows : bottom);
        QWH_Rect strip{left, int32_t(y), right, stripBottom};
        if (mask) {
            r.maskRect = strip;
        } else if (reading) {
            r.inLoPlane = r.inHiPlane = int16_t(plane);
            r.inRect = strip;
        } else {
            r.outLoPlane = r.outHiPlane = int16_t(plane);
            r.outRect = strip;
        }
        if (!AdvanceState()) return false;
        void* data = mask ? r.maskData : reading ? r.inData : r.outData;
        int32_t hostRow = mask ? r.maskRowBytes : reading ? r.inRowBytes : r.outRowBytes;
        // A buffer whose rows are shorter than the strip cannot be what was asked for.
        if (!data || hostRow < width) {
            SetResultBadParameters();
            return false;
        }
        // The strip's rows, on several threads when it is large (none calls the host). A strip
        // read goes into our own memory, often new and given in large pages: each thread takes
        // rows of whole such pages, so that no two threads meet in one page's first write.
        StripRows rows{kind, reading, static_cast<uint8_t*>(data), hostRow, buffer, stride,
                       y - top, width, value, rowMaker, context};
        const int64_t grainBytes = reading ? static_cast<int64_t>(qwp::kLargePageBytes) : int64_t{64} << 10;
        qwp::ParallelFor(stripBottom - y, grainBytes / width + 1, CopyStripRows, &rows);
    }
    ClearRects();
    return true;
}

bool CQWF_8BFPluginVirtual::ReadPlane(int plane, int32_t left, int32_t top, int32_t right,
                                      int32_t bottom, uint8_t* buffer, int64_t stride)
{
    return Transfer(kReadRelative, plane, left, top, right, bottom, buffer, stride, 0);
}

bool CQWF_8BFPluginVirtual::ReadPlaneAbsolute(int plane, int32_t left, int32_t top, int32_t right,
                                              int32_t bottom, uint8_t* buffer, int64_t stride)
{
    return Transfer(kReadAbsolute, plane, left, top, right, bottom, buffer, stride, 0);
}

bool CQWF_8BFPluginVirtual::WritePlane(int plane, int32_t left, int32_t top, int32_t right,
                                       int32_t bottom, const uint8_t* buffer, int64_t stride)
{
    return Transfer(kWrite, plane, left, top, right, bottom, const_cast<uint8_t*>(buffer), stride,
                    0);
}

bool CQWF_8BFPluginVirtual::WritePlaneRows(int plane, int32_t left, int32_t top, int32_t right,
                                           int32_t bottom, RowMaker row, void* context)
{
    if (!row) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    return Transfer(kWrite, plane, left, top, right, bottom, nullptr, 0, 0, row, context);
}

bool CQWF_8BFPluginVirtual::FillPlane(int plane, int32_t left, int32_t top, int32_t right,
                                      int32_t bottom, uint8_t value)
{
    return Transfer(kFill, plane, left, top, right, bottom, nullptr, 0, value);
}

// ---------------------------------------------------------------------------------------------
// Layers

bool CQWF_8BFPluginVirtual::AcquireChannelPorts()
{
    if (m_channelPorts) return true;
    if (!m_record || !m_record->documentInfo || !m_record->sSPBasic ||
        !m_record->sSPBasic->AcquireSuite)
        return false;
    const void* suite = nullptr;
    if (m_record->sSPBasic->AcquireSuite(kPSChannelPortsSuite, kPSChannelPortsSuiteVersion2,
                                         &suite) != 0 ||
        !suite) {
        m_channelPorts = nullptr;
        return false;
    }
    m_channelPorts = static_cast<const PSChannelPortsSuite2*>(suite);
    m_portsBasic = m_record->sSPBasic;
    return true;
}

namespace {

bool ReadChannel(const PSChannelPortsSuite2* ports, const ReadChannelDesc* ch, uint8_t* data,
                 int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (!ports || !ports->ReadPixelsFromLevel || !ch || !ch->port) return false;
    int64_t rowBits = (int64_t(right) - left) * 8;
    if (rowBits <= 0 || rowBits > 0x7fffffff || bottom <= top) return false;
    PixelMemoryDesc desc{data, int32_t(rowBits), 8, 0, 8};
    QWH_Rect rect{left, top, right, bottom};
    return ports->ReadPixelsFromLevel(ch->port, 0, &desc, &rect) == 0;
}

}  // namespace

bool CQWF_8BFPluginVirtual::BuildLayerTable(int32_t left, int32_t top, int32_t right,
                                            int32_t bottom, bool rebuild)
{
    if (!AcquireChannelPorts()) return false;
    if (m_layerCount && !rebuild) return true;
    m_layers.Free();
    m_layerCount = 0;
    const ReadImageDocumentDesc* doc = m_record->documentInfo;
    size_t count = 0;
    for (const ReadLayerDesc* l = doc->layersDescriptor; l; l = l->next)
        if (l->isPixelBased) ++count;
    if (!m_layers.AllocZeroed((count + 1) * sizeof(QWF_LayerEntry))) {
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    auto* table = reinterpret_cast<QWF_LayerEntry*>(m_layers.GetData());
    bool whole = left == kNoValue && top == kNoValue && right == kNoValue && bottom == kNoValue;
    CQWF_Mem scan;
    const ReadLayerDesc* layer = doc->layersDescriptor;
    for (size_t i = 0; i <= count; ++i) {
        QWF_LayerEntry& e = table[i];
        const ReadChannelDesc* first;
        const ReadChannelDesc* transparency;
        if (i < count) {
            while (layer && !layer->isPixelBased) layer = layer->next;
            e.id = layer->layerID;
            std::strncpy(e.name, layer->name ? layer->name : "", sizeof e.name - 1);
            first = layer->compositeChannelsList;
            transparency = layer->transparency;
            layer = layer->next;
        } else {
            e.id = -1;
            std::strncpy(e.name, kCompositeName, sizeof e.name - 1);
            first = doc->mergedCompositeChannels;
            transparency = doc->mergedTransparency;
        }
        if (!first) {
            e.left = e.top = e.right = e.bottom = kNoValue;
            continue;
        }
        e.left = first->bounds.left;
        e.top = first->bounds.top;
        e.right = first->bounds.right;
        e.bottom = first->bounds.bottom;
        if (!whole) {
            if (e.left < left) e.left = left;
            if (e.top < top) e.top = top;
            if (e.right > right) e.right = right;
            if (e.bottom > bottom) e.bottom = bottom;
        }
        if (e.left >= e.right || e.top >= e.bottom) {
            e.left = e.top = e.right = e.bottom = kNoValue;
            continue;
        }
        if (!transparency) continue;
        int64_t width = int64_t(e.right) - e.left;
        int64_t rows = int64_t(kLayerScanBuffer) / width - 1;
        if (rows < 1 || (!scan.GetSize() && !scan.Alloc(kLayerScanBuffer))) {
            m_layers.Free();
            return false;
        }
        int32_t bl = e.right, bt = e.bottom, br = e.left, bb = e.top;
        for (int64_t y = e.top; y < e.bottom; y += rows) {
            int32_t yEnd = int32_t(y + rows < e.bottom ? y + rows : e.bottom);
            if (!ReadChannel(m_channelPorts, transparency, scan.GetData(), e.left, int32_t(y),
                             e.right, yEnd)) {
                m_layers.Free();
                return false;
            }
            for (int32_t row = int32_t(y); row < yEnd; ++row) {
                const uint8_t* p = scan.GetData() + size_t(row - y) * size_t(width);
                for (int64_t x = 0; x < width; ++x) {
                    if (!p[x]) continue;
                    int32_t px = int32_t(e.left + x);
                    if (px < bl) bl = px;
                    if (px + 1 > br) br = px + 1;
                    if (row < bt) bt = row;
                    if (row + 1 > bb) bb = row + 1;
                }
            }
        }
        if (bl >= br) {
            e.left = e.top = e.right = e.bottom = kNoValue;
        } else {
            e.left = bl;
            e.top = bt;
            e.right = br;
            e.bottom = bb;
        }
    }
    m_layerCount = count + 1;
    return true;
}

bool CQWF_8BFPluginVirtual::ReadLayerPlanes(int32_t id, uint8_t** planes, int32_t width,
                                            int32_t height, int n, int32_t left, int32_t top,
                                            int32_t right, int32_t bottom)
{
    // Up to four colour planes (CMYK) and the transparency plane.
    if (!AcquireChannelPorts() || !planes || n < 1 || n > 5) return false;
    if (width != right - left || height != bottom - top || width <= 0 || height <= 0)
        return false;
    const ReadImageDocumentDesc* doc = m_record->documentInfo;
    const ReadChannelDesc* channels = nullptr;
    const ReadChannelDesc* transparency = nullptr;
    if (id == -1) {
        channels = doc->mergedCompositeChannels;
        transparency = doc->mergedTransparency;
    } else {
        const ReadLayerDesc* l = doc->layersDescriptor;
        while (l && !(l->isPixelBased && l->layerID == id)) l = l->next;
        if (!l) return false;
        channels = l->compositeChannelsList;
        transparency = l->transparency;
    }
    if (!channels) return false;
    int read = 0;
    for (const ReadChannelDesc* ch = channels; ch && read < n && read < 4; ch = ch->next, ++read)
        if (!ReadChannel(m_channelPorts, ch, planes[read], left, top, right, bottom)) return false;
    size_t size = size_t(width) * size_t(height);
    if (n == 4 && read != 3) {
        if (read == 1) {
            std::memcpy(planes[1], planes[0], size);
            std::memcpy(planes[2], planes[0], size);
        } else if (read == 4) {
            for (int c = 0; c < 3; ++c)
                for (size_t i = 0; i < size; ++i)
                    planes[c][i] = uint8_t((planes[c][i] * planes[3][i]) >> 8);
        } else {
            return false;
        }
    }
    uint8_t* last = planes[n - 1];
    if (transparency) {
        if (!ReadChannel(m_channelPorts, transparency, last, left, top, right, bottom))
            return false;
    } else {
        std::memset(last, 255, size);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Colours

namespace {

ColorServicesInfo ColorRequest(int16_t selector, int16_t resultSpace, int r, int g, int b)
{
    ColorServicesInfo info;
    std::memset(&info, 0, sizeof info);
    info.infoSize = int32_t(sizeof info);
    info.selector = selector;
    info.sourceSpace = plugIncolorServicesRGBSpace;
    info.resultSpace = resultSpace;
    info.colorComponents[0] = int16_t(r);
    info.colorComponents[1] = int16_t(g);
    info.colorComponents[2] = int16_t(b);
    info.pickerPrompt = nullptr;
    return info;
}

}  // namespace

bool CQWF_8BFPluginVirtual::PickColorRGB(uint8_t rgba[4])
{
    if (m_record && m_record->colorServices) {
        ColorServicesInfo info = ColorRequest(plugIncolorServicesChooseColor,
                                              plugIncolorServicesRGBSpace, rgba[0], rgba[1], rgba[2]);
        if (m_record->colorServices(&info) != noErr) return false;
        rgba[0] = uint8_t(info.colorComponents[0]);
        rgba[1] = uint8_t(info.colorComponents[1]);
        rgba[2] = uint8_t(info.colorComponents[2]);
        rgba[3] = 255;
        return true;
    }
    // Without colour services: the system's colour dialog, from the colour, over the filter's
    // main window when one is open, else over the host's window.
    qwp::ColorChoiceRequest request;
    const CQWF_App* app = CQWF_App::GetApp();
    const CQWF_Window* main = app ? app->GetMainWindow() : nullptr;
    request.owner = main && main->GetHWND() ? main->GetHWND() : m_hostWindow;
    request.red = rgba[0];
    request.green = rgba[1];
    request.blue = rgba[2];
    uint8_t rgb[3];
    if (!qwp::WS().ChooseColor(request, rgb)) return false;
    rgba[0] = rgb[0];
    rgba[1] = rgb[1];
    rgba[2] = rgb[2];
    rgba[3] = 255;
    return true;
}

bool CQWF_8BFPluginVirtual::ConvertColor(QWF_ColorRecord& color)
{
    ColorServicesProc services = m_record ? m_record->colorServices : nullptr;
    ColorServicesInfo gray = ColorRequest(plugIncolorServicesConvertColor,
                                          plugIncolorServicesGraySpace, color.red, color.green,
                                          color.blue);
    if (services && services(&gray) == noErr)
        color.gray = uint8_t(gray.colorComponents[0]);
    else
        color.gray = uint8_t((color.red + color.green + color.blue) / 3);
    ColorServicesInfo cmyk = ColorRequest(plugIncolorServicesConvertColor,
                                          plugIncolorServicesCMYKSpace, color.red, color.green,
                                          color.blue);
    if (services && services(&cmyk) == noErr) {
        color.cyan = uint8_t(cmyk.colorComponents[0]);
        color.magenta = uint8_t(cmyk.colorComponents[1]);
        color.yellow = uint8_t(cmyk.colorComponents[2]);
        color.black = uint8_t(cmyk.colorComponents[3]);
    } else {
        color.cyan = uint8_t(255 - color.red);
        color.magenta = uint8_t(255 - color.green);
        color.yellow = uint8_t(255 - color.blue);
        color.black = 0;
    }
    return true;
}

bool CQWF_8BFPluginVirtual::PickColor(QWF_ColorRecord& color)
{
    uint8_t rgba[4] = {color.red, color.green, color.blue, 255};
    if (!PickColorRGB(rgba)) return false;
    color.red = rgba[0];
    color.green = rgba[1];
    color.blue = rgba[2];
    return ConvertColor(color);
}

bool CQWF_8BFPluginVirtual::MakeRGBRows(const uint8_t* const* source, uint8_t* const* target,
                                        size_t length)
{
    switch (m_info.layout) {
    case 0:
        for (int c = 0; c < 3; ++c) std::memcpy(target[c], source[0], length);
        return true;
    case 1:
        for (int c = 0; c < 3; ++c) std::memcpy(target[c], source[c], length);
        return true;
    case 2:
        for (int c = 0; c < 3; ++c)
            for (size_t i = 0; i < length; ++i)
                target[c][i] = uint8_t((source[c][i] * source[3][i]) >> 8);
        return true;
    default:
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
}
