// A minimal filter module that checks the test host itself: at Start it inverts every colour
// plane of the filter rectangle through strips within maxSpace, reports progress, polls the
// abort callback and records a descriptor; the environment variable QWPROBE asks it to
// misbehave in one way ("leak", "double-dispose", "overspace", "keep-suite") so that the
// host's checks can be seen to work, or ("pick-color") to paint the rectangle in the colour the
// host's colour picker answers, starting from 123456, instead (cancelled: user cancelled).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/host/qw_filterhost.h"

namespace {

bool Is(const char* what)
{
    const char* mode = std::getenv("QWPROBE");
    return mode && std::strcmp(mode, what) == 0;
}

void Clear(FilterRecord* r)
{
    r->inRect = r->outRect = r->maskRect = QWH_Rect{0, 0, 0, 0};
}

// Every plane of the filter rectangle, strip by strip, each byte made anew from the plane and the
// byte read.
template <typename Byte> int16_t Rewrite(FilterRecord* r, Byte byte)
{
    const QWH_Rect& f = r->filterRect;
    int32_t width = f.right - f.left;
    if (width <= 0 || f.bottom <= f.top) return filterBadParameters;
    int32_t rows = r->maxSpace / (2 * width);  // input and output together
    if (Is("overspace")) rows = f.bottom - f.top;
    if (rows <= 0) return filterBadParameters;
    int planes = r->imageMode == plugInModeGrayScale ? 1 : r->imageMode == plugInModeCMYKColor ? 4 : 3;
    int32_t total = planes * (f.bottom - f.top), done = 0;
    for (int p = 0; p < planes; ++p) {
        for (int32_t y = f.top; y < f.bottom; y += rows) {
            int32_t bottom = y + rows < f.bottom ? y + rows : f.bottom;
            r->inRect = r->outRect = QWH_Rect{f.left, y, f.right, bottom};
            r->inLoPlane = r->inHiPlane = r->outLoPlane = r->outHiPlane = int16_t(p);
            if (r->advanceState() != noErr) return userCanceledErr;
            if (!r->inData || !r->outData) return filterBadParameters;
            for (int32_t row = 0; row < bottom - y; ++row) {
                const uint8_t* in = static_cast<const uint8_t*>(r->inData) + row * r->inRowBytes;
                uint8_t* out = static_cast<uint8_t*>(r->outData) + row * r->outRowBytes;
                for (int32_t x = 0; x < width; ++x) out[x] = byte(p, in[x]);
            }
            done += bottom - y;
            r->progressProc(done, total);
            if (r->abortProc()) return userCanceledErr;
        }
    }
    Clear(r);
    return noErr;
}

int16_t Invert(FilterRecord* r)
{
    return Rewrite(r, [](int, uint8_t in) { return uint8_t(255 - in); });
}

int16_t PaintPickedColor(FilterRecord* r)
{
    if (!r->colorServices) return filterBadParameters;
    ColorServicesInfo info;
    std::memset(&info, 0, sizeof info);
    info.infoSize = int32_t(sizeof info);
    info.selector = plugIncolorServicesChooseColor;
    info.sourceSpace = info.resultSpace = plugIncolorServicesRGBSpace;
    info.colorComponents[0] = 0x12;
    info.colorComponents[1] = 0x34;
    info.colorComponents[2] = 0x56;
    const QWH_Err err = r->colorServices(&info);
    if (err != noErr) return int16_t(err);
    return Rewrite(r, [&info](int p, uint8_t) { return uint8_t(info.colorComponents[p < 3 ? p : 0]); });
}

void Record(FilterRecord* r)
{
    PIDescriptorParameters* dp = r->descriptorParameters;
    HandleProcs* hp = r->handleProcs;
    if (!dp || !dp->writeDescriptorProcs || !hp) return;
    // A descriptor from an earlier run counts its runs up.
    int32_t runs = 0;
    if (dp->descriptor && dp->readDescriptorProcs) {
        const uint32_t keys[] = {QWH_FourCC("runs"), 0};
        PIReadDescriptor rd = dp->readDescriptorProcs->openReadDescriptorProc(dp->descriptor, keys);
        uint32_t key, type;
        int32_t flags;
        while (rd && dp->readDescriptorProcs->getKeyProc(rd, &key, &type, &flags))
            dp->readDescriptorProcs->getIntegerProc(rd, &runs);
        if (rd) dp->readDescriptorProcs->closeReadDescriptorProc(rd);
    }
    PIWriteDescriptor wd = dp->writeDescriptorProcs->openWriteDescriptorProc();
    if (!wd) return;
    dp->writeDescriptorProcs->putIntegerProc(wd, QWH_FourCC("runs"), runs + 1);
    Handle text = hp->newProc(5);
    if (text) {
        std::memcpy(hp->lockProc(text, 0), "probe", 5);
        hp->unlockProc(text);
        dp->writeDescriptorProcs->putTextProc(wd, QWH_FourCC("name"), text);
        if (!Is("leak")) hp->disposeProc(text);
        if (Is("double-dispose")) hp->disposeProc(text);
    }
    if (dp->descriptor) hp->disposeProc(dp->descriptor);
    dp->descriptor = nullptr;
    dp->writeDescriptorProcs->closeWriteDescriptorProc(wd, &dp->descriptor);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void PluginMain(int16_t selector, void* block,
                                                                  intptr_t*, int16_t* result)
{
    *result = noErr;
    auto* r = static_cast<FilterRecord*>(block);
    switch (selector) {
    case filterSelectorAbout:
    case filterSelectorParameters:
    case filterSelectorPrepare:
        break;
    case filterSelectorStart:
        if (Is("keep-suite") && r->sSPBasic) {
            const void* suite = nullptr;
            r->sSPBasic->AcquireSuite(kPSChannelPortsSuite, kPSChannelPortsSuiteVersion2, &suite);
        }
        *result = Is("pick-color") ? PaintPickedColor(r) : Invert(r);
        if (*result == noErr) Record(r);
        Clear(r);
        break;
    case filterSelectorContinue:
    case filterSelectorFinish:
        Clear(r);
        break;
    default:
        *result = filterBadParameters;
    }
}
