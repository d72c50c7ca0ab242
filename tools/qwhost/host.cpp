// The host side of the filter interface: strips, callbacks, handles, properties, colours,
// descriptors and document layers.
#include <chrono>
#include <new>
#include <zlib.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "framework/core/qwf_endian.h"
#include "platform/qw_winsys.h"
#include "qwhost.h"

namespace qwhost {

Host& TheHost() {
    static Host host;
    return host;
}

void Fault(const char* fmt, ...) {
    Host& h = TheHost();
    ++h.errors;
    va_list ap;
    va_start(ap, fmt);
    std::fprintf(stderr, "qwhost: fault: ");
    std::vfprintf(stderr, fmt, ap);
    std::fprintf(stderr, "\n");
    va_end(ap);
}

void Note(const char* fmt, ...) {
    if (!TheHost().verbose) return;
    va_list ap;
    va_start(ap, fmt);
    std::fprintf(stderr, "qwhost: ");
    std::vfprintf(stderr, fmt, ap);
    std::fprintf(stderr, "\n");
    va_end(ap);
}

static bool Injected(const char* kind) {
    Host& h = TheHost();
    Injection& inj = h.inject[kind];
    if (inj.Hit()) {
        Note("injected failure of %s (call %ld)", kind, inj.calls);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Handles. Disposed handles are kept (never reused) so a second dispose is always recognised.

}  // namespace qwhost

struct QWH_HandleBlock {
    std::vector<char> data;
    int locks = 0;
    bool live = true;
    bool hostOwned = false;
    long serial = 0;
};

namespace qwhost {

static std::vector<std::unique_ptr<QWH_HandleBlock>>& AllHandles() {
    static std::vector<std::unique_ptr<QWH_HandleBlock>> all;
    return all;
}

static QWH_HandleBlock* FindHandle(Handle h) {
    for (auto& p : AllHandles())
        if (p.get() == h) return p.get();
    return nullptr;
}

bool IsLiveHandle(Handle h) {
    QWH_HandleBlock* b = FindHandle(h);
    return b && b->live;
}

Handle NewHostHandle(const void* bytes, size_t size, bool hostOwned) {
    auto b = std::make_unique<QWH_HandleBlock>();
    b->data.assign(static_cast<const char*>(bytes), static_cast<const char*>(bytes) + size);
    b->hostOwned = hostOwned;
    b->serial = long(AllHandles().size()) + 1;
    Handle h = b.get();
    AllHandles().push_back(std::move(b));
    return h;
}

void ForgetHandle(Handle h) {
    QWH_HandleBlock* b = FindHandle(h);
    if (b) b->hostOwned = true;
}

bool HandleBytes(Handle h, std::vector<uint8_t>& out) {
    QWH_HandleBlock* b = FindHandle(h);
    if (!b || !b->live) return false;
    out.assign(b->data.begin(), b->data.end());
    return true;
}

static QWH_HandleBlock* LiveOrFault(Handle h, const char* what) {
    QWH_HandleBlock* b = FindHandle(h);
    if (!b) {
        Fault("%s of an unknown handle %p", what, static_cast<void*>(h));
        return nullptr;
    }
    if (!b->live) {
        Fault("%s of handle #%ld after it was disposed", what, b->serial);
        return nullptr;
    }
    return b;
}

int CheckLeaks() {
    int leaks = 0;
    for (auto& p : AllHandles()) {
        if (p->live && !p->hostOwned) {
            Fault("handle #%ld (%zu bytes) was never disposed", p->serial, p->data.size());
            ++leaks;
        }
    }
    return leaks;
}

extern "C" {

// The host's own memory running out inside a callback is its answer to the call (no exception
// passes through the module's frames).
static Handle HostNewHandle(int32_t size) {
    if (Injected("alloc")) return nullptr;
    if (size < 0) {
        Fault("new handle of negative size %d", size);
        return nullptr;
    }
    try {
        std::vector<char> zero(size_t(size), 0);
        return NewHostHandle(zero.data(), zero.size(), false);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

static void HostDisposeHandle(Handle h) {
    if (!h) return;  // disposing nothing is allowed
    QWH_HandleBlock* b = LiveOrFault(h, "dispose");
    if (!b) return;
    if (b->hostOwned) {
        Fault("dispose of host-owned handle #%ld", b->serial);
        return;
    }
    b->live = false;
    b->data.clear();
    b->data.shrink_to_fit();
}

static int32_t HostGetHandleSize(Handle h) {
    QWH_HandleBlock* b = LiveOrFault(h, "size");
    return b ? int32_t(b->data.size()) : 0;
}

static QWH_Err HostSetHandleSize(Handle h, int32_t size) {
    QWH_HandleBlock* b = LiveOrFault(h, "resize");
    if (!b || size < 0) return filterBadParameters;
    if (b->locks > 0) {
        Fault("resize of locked handle #%ld", b->serial);
        return filterBadParameters;
    }
    if (Injected("alloc")) return memFullErr;
    try {
        b->data.resize(size_t(size), 0);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    return noErr;
}

static char* HostLockHandle(Handle h, uint8_t) {
    QWH_HandleBlock* b = LiveOrFault(h, "lock");
    if (!b) return nullptr;
    ++b->locks;
    static char empty = 0;
    return b->data.empty() ? &empty : b->data.data();
}

static void HostUnlockHandle(Handle h) {
    QWH_HandleBlock* b = LiveOrFault(h, "unlock");
    if (!b) return;
    if (b->locks <= 0) {
        Fault("unlock of handle #%ld that is not locked", b->serial);
        return;
    }
    --b->locks;
}

}  // extern "C"

// ---------------------------------------------------------------------------------------------
// Strips: the requested rectangles are served within maxSpace; the output buffer is written
// back into the document at the next request and when the selector call returns.

static FilterRecord* g_record = nullptr;

static int32_t RectW(const QWH_Rect& r) { return r.right - r.left; }
static int32_t RectH(const QWH_Rect& r) { return r.bottom - r.top; }
static bool RectEmpty(const QWH_Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

// Document coordinates of a requested rectangle (absolute requests are already absolute;
// relative ones are relative to the floating position, which is 0 here).
static bool RectInside(const QWH_Rect& r, const Document& d) {
    return r.left >= 0 && r.top >= 0 && r.right <= d.width && r.bottom <= d.height &&
           !RectEmpty(r);
}

void CommitOutput(FilterRecord& rec) {
    Host& h = TheHost();
    if (!h.pendingOut) return;
    h.pendingOut = false;
    if (rec.outData != h.outBuf.data()) {
        Fault("outData was changed by the plug-in");
        return;
    }
    const QWH_Rect& r = h.pendingOutRect;
    int n = h.pendingOutHi - h.pendingOutLo + 1;
    int32_t w = RectW(r);
    for (int32_t y = 0; y < RectH(r); ++y) {
        for (int p = 0; p < n; ++p) {
            std::vector<uint8_t>& plane = h.doc.planes[size_t(h.pendingOutLo + p)];
            const uint8_t* src = h.outBuf.data() + size_t(y) * size_t(rec.outRowBytes) + p;
            uint8_t* dst = plane.data() + size_t(r.top + y) * size_t(h.doc.width) + size_t(r.left);
            for (int32_t x = 0; x < w; ++x) dst[x] = src[size_t(x) * size_t(n)];
        }
    }
}

static bool ServePlanes(const QWH_Rect& r, int lo, int hi, std::vector<uint8_t>& buf,
                        int32_t& rowBytes) {
    Host& h = TheHost();
    int n = hi - lo + 1;
    int32_t w = RectW(r);
    rowBytes = w * n;
    buf.assign(size_t(rowBytes) * size_t(RectH(r)), 0);
    for (int32_t y = 0; y < RectH(r); ++y)
        for (int p = 0; p < n; ++p) {
            const uint8_t* src = h.doc.planes[size_t(lo + p)].data() +
                                 size_t(r.top + y) * size_t(h.doc.width) + size_t(r.left);
            uint8_t* dst = buf.data() + size_t(y) * size_t(rowBytes) + p;
            for (int32_t x = 0; x < w; ++x) dst[size_t(x) * size_t(n)] = src[x];
        }
    return true;
}

extern "C" {

static QWH_Err ServeStrips();

// The strip service, timed: the filter's own time is what its selectors take beyond it.
static QWH_Err HostAdvanceState() {
    const auto started = std::chrono::steady_clock::now();
    QWH_Err err = memFullErr;
    try {
        err = ServeStrips();
    } catch (const std::bad_alloc&) {
        Note("out of memory serving the strips");
    }
    TheHost().serviceMs +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    return err;
}

static QWH_Err ServeStrips() {
    Host& h = TheHost();
    FilterRecord& rec = *g_record;
    CommitOutput(rec);
    rec.inData = rec.outData = rec.maskData = nullptr;
    rec.inRowBytes = rec.outRowBytes = rec.maskRowBytes = 0;
    if (Injected("advance")) return userCanceledErr;

    const Document& d = h.doc;
    int64_t bytes = 0;
    int allPlanes = int(d.planes.size());
    int outPlanes = d.colorPlanes + ((d.hasAlpha && rec.outTransparencyMask > 0) ? 1 : 0);
    bool wantIn = !RectEmpty(rec.inRect), wantOut = !RectEmpty(rec.outRect),
         wantMask = !RectEmpty(rec.maskRect);
    if (wantIn) {
        if (!RectInside(rec.inRect, d) || rec.inLoPlane < 0 || rec.inHiPlane < rec.inLoPlane ||
            rec.inHiPlane >= allPlanes) {
            Fault("input request outside the document: (%d,%d,%d,%d) planes %d..%d",
                  rec.inRect.left, rec.inRect.top, rec.inRect.right, rec.inRect.bottom,
                  rec.inLoPlane, rec.inHiPlane);
            return filterBadParameters;
        }
        bytes += int64_t(RectW(rec.inRect)) * RectH(rec.inRect) * (rec.inHiPlane - rec.inLoPlane + 1);
    }
    if (wantOut) {
        if (!RectInside(rec.outRect, d) || rec.outLoPlane < 0 ||
            rec.outHiPlane < rec.outLoPlane || rec.outHiPlane >= outPlanes) {
            Fault("output request outside the document: (%d,%d,%d,%d) planes %d..%d",
                  rec.outRect.left, rec.outRect.top, rec.outRect.right, rec.outRect.bottom,
                  rec.outLoPlane, rec.outHiPlane);
            return filterBadParameters;
        }
        bytes += int64_t(RectW(rec.outRect)) * RectH(rec.outRect) *
                 (rec.outHiPlane - rec.outLoPlane + 1);
    }
    if (wantMask) {
        if (!RectInside(rec.maskRect, d)) {
            Fault("mask request outside the document");
            return filterBadParameters;
        }
        if (!d.mask.empty()) bytes += int64_t(RectW(rec.maskRect)) * RectH(rec.maskRect);
    }
    if (bytes > rec.maxSpace) {
        Fault("request of %lld bytes exceeds maxSpace %d", static_cast<long long>(bytes),
              rec.maxSpace);
        return filterBadParameters;
    }
    if (wantIn || wantOut || wantMask) ++h.strips;
    if (wantIn) {
        ServePlanes(rec.inRect, rec.inLoPlane, rec.inHiPlane, h.inBuf, rec.inRowBytes);
        rec.inData = h.inBuf.data();
    }
    if (wantOut) {
        ServePlanes(rec.outRect, rec.outLoPlane, rec.outHiPlane, h.outBuf, rec.outRowBytes);
        rec.outData = h.outBuf.data();
        h.pendingOut = true;
        h.pendingOutRect = rec.outRect;
        h.pendingOutLo = rec.outLoPlane;
        h.pendingOutHi = rec.outHiPlane;
    }
    if (wantMask && !d.mask.empty()) {
        const QWH_Rect& r = rec.maskRect;
        rec.maskRowBytes = RectW(r);
        h.maskBuf.resize(size_t(RectW(r)) * size_t(RectH(r)));
        for (int32_t y = 0; y < RectH(r); ++y)
            std::memcpy(h.maskBuf.data() + size_t(y) * size_t(RectW(r)),
                        d.mask.data() + size_t(r.top + y) * size_t(d.width) + size_t(r.left),
                        size_t(RectW(r)));
        rec.maskData = h.maskBuf.data();
    }
    Note("advanceState: in (%d,%d,%d,%d) out (%d,%d,%d,%d) mask (%d,%d,%d,%d)", rec.inRect.left,
         rec.inRect.top, rec.inRect.right, rec.inRect.bottom, rec.outRect.left, rec.outRect.top,
         rec.outRect.right, rec.outRect.bottom, rec.maskRect.left, rec.maskRect.top,
         rec.maskRect.right, rec.maskRect.bottom);
    return noErr;
}

static uint8_t HostAbort() {
    Host& h = TheHost();
    ++h.abortPolls;
    if (h.opt.abortAfter > 0 && h.abortPolls >= h.opt.abortAfter) {
        Note("abort answered at poll %ld", h.abortPolls);
        return 1;
    }
    return 0;
}

static void HostProgress(int32_t done, int32_t total) {
    Host& h = TheHost();
    ++h.progressCalls;
    if (total <= 0 || done < 0 || done > total)
        Fault("progress %d of %d is out of range", done, total);
    Note("progress %d/%d", done, total);
}

// ---------------------------------------------------------------------------------------------
// Properties.

static QWH_Err HostGetProperty(uint32_t signature, uint32_t key, int32_t index,
                               intptr_t* simple, Handle* complex) {
    Host& h = TheHost();
    if (Injected("property")) return errPlugInPropertyUndefined;
    if (signature != kPhotoshopSignature) return errPlugInPropertyUndefined;
    if (key == propRulerUnits) {
        if (simple) *simple = h.opt.rulerUnit;
        return noErr;
    }
    if (key == propNumberOfChannels) {
        if (simple) *simple = intptr_t(h.opt.channelNames.size());
        return noErr;
    }
    if (key == propChannelName) {
        if (!complex) return filterBadParameters;
        if (index < 0 || size_t(index) >= h.opt.channelNames.size() ||
            h.opt.channelNames[size_t(index)].empty())
            return errPlugInPropertyUndefined;
        const std::string& s = h.opt.channelNames[size_t(index)];
        *complex = NewHostHandle(s.data(), s.size(), false);
        return noErr;
    }
    return errPlugInPropertyUndefined;
}

// ---------------------------------------------------------------------------------------------
// Colour services.

static bool ParseHexColor(const std::string& s, int& r, int& g, int& b) {
    if (s.size() != 6) return false;
    unsigned v = 0;
    if (std::sscanf(s.c_str(), "%6x", &v) != 1) return false;
    r = int(v >> 16) & 255;
    g = int(v >> 8) & 255;
    b = int(v) & 255;
    return true;
}

static QWH_Err HostColorServices(ColorServicesInfo* info) {
    Host& h = TheHost();
    if (!info || info->infoSize < int32_t(sizeof(ColorServicesInfo))) {
        Fault("colour services request of a wrong size");
        return filterBadParameters;
    }
    if (Injected("color")) return filterBadParameters;
    if (info->selector == plugIncolorServicesChooseColor) {
        if (info->resultSpace != plugIncolorServicesRGBSpace) return filterBadParameters;
        int r, g, b;
        if (!h.opt.pickColor.empty()) {
            // The answer given on the command line (anything but RRGGBB: cancelled).
            if (!ParseHexColor(h.opt.pickColor, r, g, b)) return userCanceledErr;
        } else {
            // The desktop's colour chooser, from the colour asked about, over the active window,
            // titled with the filter's prompt or as the host's picker.
            qwp::ColorChoiceRequest request;
            request.owner = qwp::WS().GetActiveWindow();
            request.title = info->pickerPrompt ? info->pickerPrompt : "Color Picker";
            if (info->sourceSpace == plugIncolorServicesRGBSpace) {
                request.red = uint8_t(info->colorComponents[0]);
                request.green = uint8_t(info->colorComponents[1]);
                request.blue = uint8_t(info->colorComponents[2]);
            }
            uint8_t rgb[3];
            if (!qwp::WS().ChooseColor(request, rgb)) return userCanceledErr;
            r = rgb[0], g = rgb[1], b = rgb[2];
        }
        info->colorComponents[0] = int16_t(r);
        info->colorComponents[1] = int16_t(g);
        info->colorComponents[2] = int16_t(b);
        info->colorComponents[3] = 0;
        return noErr;
    }
    if (info->selector == plugIncolorServicesConvertColor) {
        if (info->sourceSpace != plugIncolorServicesRGBSpace) return filterBadParameters;
        int r = info->colorComponents[0] & 255, g = info->colorComponents[1] & 255,
            b = info->colorComponents[2] & 255;
        if (info->resultSpace == plugIncolorServicesGraySpace) {
            info->colorComponents[0] = int16_t((r * 30 + g * 59 + b * 11) / 100);
            return noErr;
        }
        if (info->resultSpace == plugIncolorServicesCMYKSpace) {
            int k = 255 - std::max({r, g, b});
            int c = 255 - r - k, m = 255 - g - k, y = 255 - b - k;
            info->colorComponents[0] = int16_t(c);
            info->colorComponents[1] = int16_t(m);
            info->colorComponents[2] = int16_t(y);
            info->colorComponents[3] = int16_t(k);
            return noErr;
        }
        if (info->resultSpace == plugIncolorServicesRGBSpace) return noErr;
        return filterBadParameters;
    }
    return filterBadParameters;
}

}  // extern "C"

// ---------------------------------------------------------------------------------------------
// Descriptors: "QWHD", item count, then per item key, type, length (big-endian u32) and bytes.

struct DescItem {
    uint32_t key;
    uint32_t type;
    std::vector<uint8_t> bytes;
};

static void PutU32(std::vector<uint8_t>& v, uint32_t x) {
    uint8_t b[4];
    qwf::PutBE32(b, x);
    v.insert(v.end(), b, b + 4);
}

using qwf::GetBE32;

static std::vector<uint8_t> SerialiseItems(const std::vector<DescItem>& items) {
    std::vector<uint8_t> v{'Q', 'W', 'H', 'D'};
    PutU32(v, uint32_t(items.size()));
    for (const DescItem& it : items) {
        PutU32(v, it.key);
        PutU32(v, it.type);
        PutU32(v, uint32_t(it.bytes.size()));
        v.insert(v.end(), it.bytes.begin(), it.bytes.end());
    }
    return v;
}

static bool ParseItems(const std::vector<uint8_t>& v, std::vector<DescItem>& items) {
    items.clear();
    if (v.size() < 8 || std::memcmp(v.data(), "QWHD", 4) != 0) return false;
    uint32_t count = GetBE32(v.data() + 4);
    size_t pos = 8;
    for (uint32_t i = 0; i < count; ++i) {
        if (v.size() - pos < 12) return false;
        DescItem it;
        it.key = GetBE32(v.data() + pos);
        it.type = GetBE32(v.data() + pos + 4);
        uint32_t len = GetBE32(v.data() + pos + 8);
        pos += 12;
        if (v.size() - pos < len) return false;
        it.bytes.assign(v.begin() + long(pos), v.begin() + long(pos + len));
        pos += len;
        items.push_back(std::move(it));
    }
    return true;
}

bool IsDescriptorList(const std::vector<uint8_t>& bytes) {
    std::vector<DescItem> items;
    return ParseItems(bytes, items);
}

static std::string KeyText(uint32_t key) {
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i) s[size_t(i)] = char(key >> (24 - 8 * i));
    return s;
}

}  // namespace qwhost

struct QWH_ReadDescriptor {
    std::vector<qwhost::DescItem> items;
    std::vector<uint32_t> keys;
    size_t next = 0;
    long current = -1;
};

struct QWH_WriteDescriptor {
    std::vector<qwhost::DescItem> items;
};

namespace qwhost {

static std::set<QWH_ReadDescriptor*> g_readTokens;
static std::set<QWH_WriteDescriptor*> g_writeTokens;

extern "C" {

static PIReadDescriptor HostOpenRead(Handle descriptor, const uint32_t* keys) {
    if (!descriptor) return nullptr;
    if (Injected("open-read")) return nullptr;
    std::vector<uint8_t> bytes;
    if (!LiveOrFault(descriptor, "read descriptor open") || !HandleBytes(descriptor, bytes))
        return nullptr;
    auto* t = new QWH_ReadDescriptor;
    if (!ParseItems(bytes, t->items)) {
        Fault("descriptor handle does not hold a descriptor");
        delete t;
        return nullptr;
    }
    for (const uint32_t* k = keys; k && *k; ++k) t->keys.push_back(*k);
    g_readTokens.insert(t);
    return t;
}

static QWH_Err HostCloseRead(PIReadDescriptor t) {
    if (!g_readTokens.count(t)) {
        Fault("close of an unknown read descriptor");
        return filterBadParameters;
    }
    g_readTokens.erase(t);
    delete t;
    return noErr;
}

static uint8_t HostGetKey(PIReadDescriptor t, uint32_t* key, uint32_t* type, int32_t* flags) {
    if (!g_readTokens.count(t)) {
        Fault("key walk on an unknown read descriptor");
        return 0;
    }
    while (t->next < t->items.size()) {
        const DescItem& it = t->items[t->next];
        size_t index = t->next++;
        bool wanted = t->keys.empty() ||
                      std::find(t->keys.begin(), t->keys.end(), it.key) != t->keys.end();
        if (!wanted) continue;
        t->current = long(index);
        if (key) *key = it.key;
        if (type) *type = it.type;
        if (flags) *flags = 0;
        return 1;
    }
    t->current = -1;
    return 0;
}

static QWH_Err HostGetInteger(PIReadDescriptor t, int32_t* value) {
    if (!g_readTokens.count(t) || t->current < 0) {
        Fault("integer read without a current item");
        return filterBadParameters;
    }
    if (Injected("get")) return errDescriptorKeyNotFound;
    const DescItem& it = t->items[size_t(t->current)];
    if (it.type != typeInteger || it.bytes.size() != 4) return filterBadParameters;
    if (value) *value = int32_t(GetBE32(it.bytes.data()));
    return noErr;
}

static QWH_Err HostGetText(PIReadDescriptor t, Handle* text) {
    if (!g_readTokens.count(t) || t->current < 0 || !text) {
        Fault("text read without a current item");
        return filterBadParameters;
    }
    if (Injected("get")) return errDescriptorKeyNotFound;
    const DescItem& it = t->items[size_t(t->current)];
    if (it.type != typeText) return filterBadParameters;
    *text = NewHostHandle(it.bytes.data(), it.bytes.size(), false);
    return noErr;
}

static PIWriteDescriptor HostOpenWrite() {
    if (Injected("open-write")) return nullptr;
    auto* t = new QWH_WriteDescriptor;
    g_writeTokens.insert(t);
    return t;
}

static QWH_Err HostCloseWrite(PIWriteDescriptor t, Handle* out) {
    if (!g_writeTokens.count(t)) {
        Fault("close of an unknown write descriptor");
        return filterBadParameters;
    }
    std::vector<uint8_t> bytes = SerialiseItems(t->items);
    g_writeTokens.erase(t);
    delete t;
    if (out) *out = NewHostHandle(bytes.data(), bytes.size(), false);
    return noErr;
}

static QWH_Err HostPutInteger(PIWriteDescriptor t, uint32_t key, int32_t value) {
    if (!g_writeTokens.count(t)) {
        Fault("integer put on an unknown write descriptor");
        return filterBadParameters;
    }
    if (Injected("put")) return filterBadParameters;
    DescItem it{key, typeInteger, {}};
    PutU32(it.bytes, uint32_t(value));
    t->items.push_back(std::move(it));
    Note("put integer %s = %d", KeyText(key).c_str(), value);
    return noErr;
}

static QWH_Err HostPutText(PIWriteDescriptor t, uint32_t key, Handle text) {
    if (!g_writeTokens.count(t)) {
        Fault("text put on an unknown write descriptor");
        return filterBadParameters;
    }
    QWH_HandleBlock* b = LiveOrFault(text, "text put");
    if (!b) return filterBadParameters;
    if (Injected("put")) return filterBadParameters;
    Host& h = TheHost();
    if (h.opt.maxText > 0 && b->data.size() > size_t(h.opt.maxText)) {
        Note("refused text item %s of %zu bytes", KeyText(key).c_str(), b->data.size());
        return filterBadParameters;
    }
    DescItem it{key, typeText, std::vector<uint8_t>(b->data.begin(), b->data.end())};
    t->items.push_back(std::move(it));
    Note("put text %s (%zu bytes)", KeyText(key).c_str(), b->data.size());
    return noErr;
}

}  // extern "C"

// The host's own recording of a layout blob, as the filter would have recorded it: packed,
// hex text in 65,000-character items "qwe0".."qwe9" and the length item "qweS".
bool BuildLayoutDescriptor(const std::vector<uint8_t>& blob, std::vector<uint8_t>& descriptor,
                           std::string& error) {
    if (blob.empty()) {
        error = "empty layout";
        return false;
    }
    uLongf room = compressBound(uLong(blob.size()));
    std::vector<uint8_t> packed(16 + room);
    if (compress2(packed.data() + 16, &room, blob.data(), uLong(blob.size()), 9) != Z_OK) {
        error = "cannot pack the layout";
        return false;
    }
    std::memcpy(packed.data(), "QWCV2-01", 8);
    uint32_t sizes[2] = {uint32_t(blob.size()), uint32_t(room)};
    for (int i = 0; i < 2; ++i)
        for (int b = 0; b < 4; ++b) packed[size_t(8 + 4 * i + b)] = uint8_t(sizes[i] >> (24 - 8 * b));
    packed.resize(16 + room);
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (uint8_t b : packed) {
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 15]);
    }
    if (hex.size() > 650000) {
        error = "layout too large for the scripting parameters";
        return false;
    }
    std::vector<DescItem> items;
    size_t chunks = (hex.size() - 1) / 65000 + 1;
    for (size_t i = 0; i < chunks; ++i) {
        DescItem it{QWH_FourCC("qwe0") + uint32_t(i), typeText, {}};
        size_t from = i * 65000, n = std::min<size_t>(65000, hex.size() - from);
        // The chunk's three index letters, its text and a NUL.
        it.bytes.resize(3 + n + 1);
        it.bytes[0] = uint8_t('A' + i / 676);
        it.bytes[1] = uint8_t('A' + (i % 676) / 26);
        it.bytes[2] = uint8_t('A' + i % 26);
        std::memcpy(it.bytes.data() + 3, hex.data() + from, n);
        it.bytes[3 + n] = 0;
        items.push_back(std::move(it));
    }
    DescItem len{QWH_FourCC("qweS"), typeInteger, {}};
    PutU32(len.bytes, uint32_t(hex.size() + 20000000));
    items.push_back(std::move(len));
    descriptor = SerialiseItems(items);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Document layers through the basic suite and the channel-ports suite.

}  // namespace qwhost

struct QWH_ChannelPort {
    const uint8_t* data = nullptr;  // width x height bytes covering `bounds`
    QWH_Rect bounds{};
};

namespace qwhost {

static std::vector<std::unique_ptr<QWH_ChannelPort>> g_ports;
static std::vector<std::unique_ptr<ReadChannelDesc>> g_channels;
static std::vector<std::unique_ptr<ReadLayerDesc>> g_layerDescs;
static ReadImageDocumentDesc g_docDesc;
static int g_suiteAcquired = 0;

extern "C" {

static int32_t HostCountLevels(ChannelReadPort, int32_t* count) {
    if (count) *count = 1;
    return 0;
}

static int32_t HostGetDepth(ChannelReadPort, int32_t* depth) {
    if (depth) *depth = 8;
    return 0;
}

static int32_t HostReadPixels(ChannelReadPort port, int32_t level, const PixelMemoryDesc* dest,
                              QWH_Rect* rect) {
    bool known = false;
    for (auto& p : g_ports) known = known || p.get() == port;
    if (!known || !dest || !rect || !dest->data) {
        Fault("pixel read with an unknown port or no destination");
        return filterBadParameters;
    }
    if (Injected("pixels")) return filterBadParameters;
    if (level != 0 || dest->depth != 8 || dest->colBits != 8 || dest->bitOffset != 0 ||
        dest->rowBits % 8 != 0 || RectEmpty(*rect) || dest->rowBits / 8 < RectW(*rect)) {
        Fault("pixel read with an unsupported layout (depth %d, row bits %d)", dest->depth,
              dest->rowBits);
        return filterBadParameters;
    }
    const QWH_Rect& b = port->bounds;
    size_t row = size_t(dest->rowBits / 8);
    for (int32_t y = rect->top; y < rect->bottom; ++y) {
        uint8_t* out = static_cast<uint8_t*>(dest->data) + size_t(y - rect->top) * row;
        for (int32_t x = rect->left; x < rect->right; ++x) {
            uint8_t v = 0;
            if (x >= b.left && x < b.right && y >= b.top && y < b.bottom)
                v = port->data[size_t(y - b.top) * size_t(RectW(b)) + size_t(x - b.left)];
            out[x - rect->left] = v;
        }
    }
    return 0;
}

static PSChannelPortsSuite2 g_portsSuite = {HostCountLevels, HostGetDepth, HostReadPixels};

static int32_t HostAcquireSuite(const char* name, int32_t version, const void** suite) {
    if (!name || !suite) return errSuiteNotFound;
    if (Injected("suite")) return errSuiteNotFound;
    if (std::strcmp(name, kPSChannelPortsSuite) == 0 && version == kPSChannelPortsSuiteVersion2) {
        *suite = &g_portsSuite;
        ++g_suiteAcquired;
        return 0;
    }
    return errSuiteNotFound;
}

static int32_t HostReleaseSuite(const char* name, int32_t version) {
    if (!name || std::strcmp(name, kPSChannelPortsSuite) != 0 ||
        version != kPSChannelPortsSuiteVersion2 || g_suiteAcquired <= 0) {
        Fault("release of a suite that was not acquired");
        return errSuiteNotFound;
    }
    --g_suiteAcquired;
    return 0;
}

}  // extern "C"

int CheckSuites() {
    if (g_suiteAcquired != 0) {
        Fault("%d suite acquisition(s) never released", g_suiteAcquired);
        return 1;
    }
    return 0;
}

static ReadChannelDesc* MakeChannel(const uint8_t* data, const QWH_Rect& bounds,
                                    const std::string& name, ReadChannelDesc* next) {
    auto port = std::make_unique<QWH_ChannelPort>();
    port->data = data;
    port->bounds = bounds;
    auto ch = std::make_unique<ReadChannelDesc>();
    ch->minVersion = 0;
    ch->maxVersion = 1;
    ch->next = next;
    ch->port = port.get();
    ch->bounds = bounds;
    ch->depth = 8;
    static std::vector<std::unique_ptr<std::string>> names;
    names.push_back(std::make_unique<std::string>(name));
    ch->name = names.back()->c_str();
    ReadChannelDesc* raw = ch.get();
    g_ports.push_back(std::move(port));
    g_channels.push_back(std::move(ch));
    return raw;
}

static ReadChannelDesc* MakeChannelList(const std::vector<std::vector<uint8_t>>& planes, int n,
                                        const QWH_Rect& bounds) {
    ReadChannelDesc* head = nullptr;
    for (int i = n - 1; i >= 0; --i)
        head = MakeChannel(planes[size_t(i)].data(), bounds, "channel", head);
    return head;
}

static void SetUpDocumentInfo(FilterRecord& rec) {
    Host& h = TheHost();
    const Document& d = h.doc;
    std::memset(&g_docDesc, 0, sizeof g_docDesc);
    g_docDesc.minVersion = 0;
    g_docDesc.maxVersion = 2;
    g_docDesc.imageMode = d.mode;
    g_docDesc.depth = 8;
    g_docDesc.bounds = QWH_Rect{0, 0, d.width, d.height};
    g_docDesc.hResolution = rec.imageHRes;
    g_docDesc.vResolution = rec.imageVRes;
    QWH_Rect whole{0, 0, d.width, d.height};
    g_docDesc.mergedCompositeChannels = MakeChannelList(d.planes, d.colorPlanes, whole);
    g_docDesc.targetCompositeChannels = g_docDesc.mergedCompositeChannels;
    if (d.hasAlpha) {
        g_docDesc.mergedTransparency =
            MakeChannel(d.planes[size_t(d.colorPlanes)].data(), whole, "Transparency", nullptr);
        g_docDesc.targetTransparency = g_docDesc.mergedTransparency;
    }
    ReadLayerDesc* head = nullptr;
    for (size_t i = h.layers.size(); i-- > 0;) {
        const LayerSpec& l = h.layers[i];
        auto ld = std::make_unique<ReadLayerDesc>();
        QWH_Rect b{l.x, l.y, l.x + l.width, l.y + l.height};
        ld->minVersion = 0;
        ld->maxVersion = 2;
        ld->next = head;
        ld->compositeChannelsList = MakeChannelList(l.planes, int(l.planes.size()), b);
        ld->transparency =
            l.alpha.empty() ? nullptr : MakeChannel(l.alpha.data(), b, "Transparency", nullptr);
        ld->layerMask = nullptr;
        ld->name = l.name.c_str();
        ld->layerID = int32_t(i + 1);
        ld->isPixelBased = 1;
        head = ld.get();
        g_layerDescs.push_back(std::move(ld));
    }
    g_docDesc.layersDescriptor = head;
    rec.documentInfo = &g_docDesc;
}

// ---------------------------------------------------------------------------------------------

static HandleProcs g_handleProcs = {1, 6, HostNewHandle, HostDisposeHandle, HostGetHandleSize,
                                    HostSetHandleSize, HostLockHandle, HostUnlockHandle};
static PropertyProcs g_propertyProcs = {1, 1, HostGetProperty};
static ReadDescriptorProcs g_readProcs = {1, 5, HostOpenRead, HostCloseRead, HostGetKey,
                                          HostGetInteger, HostGetText};
static WriteDescriptorProcs g_writeProcs = {1, 4, HostOpenWrite, HostCloseWrite, HostPutInteger,
                                            HostPutText};
static SPBasicSuite g_basic = {HostAcquireSuite, HostReleaseSuite};
static PIDescriptorParameters g_descParams;

void SetUpRecord(FilterRecord& rec, PlatformData& platform) {
    Host& h = TheHost();
    g_record = &rec;
    rec.abortProc = HostAbort;
    rec.progressProc = HostProgress;
    rec.advanceState = HostAdvanceState;
    rec.handleProcs = &g_handleProcs;
    rec.propertyProcs = &g_propertyProcs;
    rec.colorServices = h.opt.noColorServices ? nullptr : HostColorServices;
    rec.platformData = &platform;
    rec.sSPBasic = &g_basic;
    std::memset(&g_descParams, 0, sizeof g_descParams);
    g_descParams.descriptorParametersVersion = 1;
    g_descParams.playInfo = int16_t(h.opt.playInfo);
    g_descParams.recordInfo = plugInDialogOptional;
    g_descParams.readDescriptorProcs = &g_readProcs;
    g_descParams.writeDescriptorProcs = &g_writeProcs;
    rec.descriptorParameters = &g_descParams;
    if (!h.opt.noDocumentInfo) SetUpDocumentInfo(rec);
}

}  // namespace qwhost
