// An in-process host for tests of the host layer: a planar document served through
// advanceState, tracked handles, properties, colour services, descriptors and layers.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/qw_filterhost.h"

struct QWH_HandleBlock {
    std::vector<char> data;
    bool live = true;
    int locks = 0;
};
struct QWH_ReadDescriptor {
    size_t next = 0;
    long current = -1;
    std::vector<uint32_t> keys;
};
struct QWH_WriteDescriptor {
    int unused = 0;
};
struct QWH_ChannelPort {
    const uint8_t* data;
    QWH_Rect bounds;
};

namespace fakehost {

struct Item {
    uint32_t key;
    uint32_t type;
    std::vector<uint8_t> bytes;
};

struct State {
    // Document.
    int32_t width = 0, height = 0;
    std::vector<std::vector<uint8_t>> planes;
    std::vector<uint8_t> mask;
    // Host behaviour.
    long advanceCalls = 0, failAdvanceAt = 0;  // 0: never
    int readMilliseconds = 0;  // a slow host: each strip read takes this long
    long abortAfter = 0, abortCalls = 0;
    std::vector<std::pair<int32_t, int32_t>> progress;
    int64_t largestRequest = 0;
    bool violation = false;  // a request beyond maxSpace or the document
    double serviceMs = 0.0;  // time spent in Advance (the host's strip service)
    // Handles.
    std::vector<std::unique_ptr<QWH_HandleBlock>> handles;
    int badDisposes = 0;
    // Properties.
    intptr_t rulerUnit = 0;
    std::vector<std::string> channelNames;  // "" : not answered
    bool propertiesFail = false;
    // Colours.
    bool pickAnswers = true;
    int pick[3] = {10, 20, 30};
    bool convertFails = false;
    // Descriptors: the recorded items (written by close, read by open).
    std::vector<Item> written;        // items put on the open write descriptor
    std::vector<Item> readItems;      // items served by the open read descriptor
    size_t maxText = 0;               // refuse text handles longer than this (0: no limit)
    int putCalls = 0;
    bool cancelGets = false;          // reads of items answer a user cancel
    std::map<std::string, int> suiteAcquired;
    // Layers.
    ReadImageDocumentDesc doc{};
    std::vector<std::unique_ptr<ReadChannelDesc>> channels;
    std::vector<std::unique_ptr<ReadLayerDesc>> layers;
    std::vector<std::unique_ptr<QWH_ChannelPort>> ports;
    std::vector<std::vector<uint8_t>> layerPixels;
    std::vector<std::string> layerNames;
    FilterRecord* record = nullptr;
};

inline State& S()
{
    static State s;
    return s;
}

// The host's callbacks are called on its own thread (the one that called Reset) only; calls
// from any other thread are counted here.
inline std::thread::id g_hostThread;
inline std::atomic<long> g_offThreadCalls{0};
inline void OnHostThread()
{
    if (std::this_thread::get_id() != g_hostThread) g_offThreadCalls.fetch_add(1);
}

inline QWH_HandleBlock* Block(Handle h)
{
    for (auto& p : S().handles)
        if (p.get() == h) return p.get();
    return nullptr;
}

inline Handle MakeHandle(const void* bytes, size_t n)
{
    auto b = std::make_unique<QWH_HandleBlock>();
    b->data.assign(static_cast<const char*>(bytes), static_cast<const char*>(bytes) + n);
    Handle h = b.get();
    S().handles.push_back(std::move(b));
    return h;
}

inline size_t LiveHandles()
{
    size_t n = 0;
    for (auto& p : S().handles) n += p->live ? 1 : 0;
    return n;
}

extern "C" {
inline Handle NewH(int32_t size)
{
    OnHostThread();
    std::vector<char> z(size_t(size < 0 ? 0 : size));
    return MakeHandle(z.data(), z.size());
}
inline void DisposeH(Handle h)
{
    OnHostThread();
    QWH_HandleBlock* b = Block(h);
    if (!b || !b->live) {
        ++S().badDisposes;
        return;
    }
    b->live = false;
}
inline int32_t SizeH(Handle h)
{
    OnHostThread();
    QWH_HandleBlock* b = Block(h);
    return b && b->live ? int32_t(b->data.size()) : 0;
}
inline QWH_Err SetSizeH(Handle h, int32_t n)
{
    OnHostThread();
    QWH_HandleBlock* b = Block(h);
    if (!b || !b->live) return filterBadParameters;
    b->data.resize(size_t(n));
    return noErr;
}
inline char* LockH(Handle h, uint8_t)
{
    OnHostThread();
    QWH_HandleBlock* b = Block(h);
    if (!b || !b->live) return nullptr;
    ++b->locks;
    static char empty = 0;
    return b->data.empty() ? &empty : b->data.data();
}
inline void UnlockH(Handle h)
{
    OnHostThread();
    QWH_HandleBlock* b = Block(h);
    if (b) --b->locks;
}

inline QWH_Err ServeAdvance();

// The strip service, timed: benchmarks tell the filter's own time apart from it.
inline QWH_Err Advance()
{
    OnHostThread();
    const auto started = std::chrono::steady_clock::now();
    const QWH_Err err = ServeAdvance();
    S().serviceMs +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    return err;
}

inline QWH_Err ServeAdvance()
{
    State& s = S();
    FilterRecord& r = *s.record;
    ++s.advanceCalls;
    if (s.failAdvanceAt && s.advanceCalls >= s.failAdvanceAt) return userCanceledErr;
    static std::vector<uint8_t> in, out, mask;
    static QWH_Rect lastOut{};
    static int lastPlane = -1;
    // Commit the previous output strip.
    if (r.outData && lastPlane >= 0) {
        for (int32_t y = lastOut.top; y < lastOut.bottom; ++y)
            std::memcpy(s.planes[size_t(lastPlane)].data() + size_t(y) * size_t(s.width) + size_t(lastOut.left),
                        out.data() + size_t(y - lastOut.top) * size_t(r.outRowBytes),
                        size_t(lastOut.right - lastOut.left));
    }
    r.inData = r.outData = r.maskData = nullptr;
    lastPlane = -1;
    auto area = [](const QWH_Rect& q) {
        return q.right > q.left && q.bottom > q.top ? int64_t(q.right - q.left) * (q.bottom - q.top) : 0;
    };
    auto inside = [&](const QWH_Rect& q) {
        return q.left >= 0 && q.top >= 0 && q.right <= s.width && q.bottom <= s.height;
    };
    int64_t total = area(r.inRect) + area(r.outRect) + area(r.maskRect);
    s.largestRequest = std::max(s.largestRequest, total);
    if (total > r.maxSpace) s.violation = true;
    auto serve = [&](const QWH_Rect& q, int plane, std::vector<uint8_t>& buf, int32_t& rowBytes,
                     int pad) {
        int32_t w = q.right - q.left;
        rowBytes = w + pad;  // the host's rows may be longer than asked
        buf.assign(size_t(rowBytes) * size_t(q.bottom - q.top), 0xEE);
        const std::vector<uint8_t>& src = plane < 0 ? s.mask : s.planes[size_t(plane)];
        for (int32_t y = q.top; y < q.bottom; ++y)
            std::memcpy(buf.data() + size_t(y - q.top) * size_t(rowBytes),
                        src.data() + size_t(y) * size_t(s.width) + size_t(q.left), size_t(w));
    };
    if (area(r.inRect)) {
        if (!inside(r.inRect)) { s.violation = true; return filterBadParameters; }
        serve(r.inRect, r.inLoPlane, in, r.inRowBytes, 3);
        r.inData = in.data();
        if (s.readMilliseconds) std::this_thread::sleep_for(std::chrono::milliseconds(s.readMilliseconds));
    }
    if (area(r.outRect)) {
        if (!inside(r.outRect)) { s.violation = true; return filterBadParameters; }
        serve(r.outRect, r.outLoPlane, out, r.outRowBytes, 5);
        r.outData = out.data();
        lastOut = r.outRect;
        lastPlane = r.outLoPlane;
    }
    if (area(r.maskRect) && !s.mask.empty()) {
        serve(r.maskRect, -1, mask, r.maskRowBytes, 1);
        r.maskData = mask.data();
    }
    return noErr;
}

inline uint8_t Abort()
{
    OnHostThread();
    State& s = S();
    ++s.abortCalls;
    return s.abortAfter && s.abortCalls >= s.abortAfter;
}

inline void Progress(int32_t done, int32_t total)
{
    OnHostThread();
    S().progress.emplace_back(done, total);
}

inline QWH_Err GetProperty(uint32_t sig, uint32_t key, int32_t index, intptr_t* simple,
                           Handle* complex)
{
    OnHostThread();
    State& s = S();
    if (s.propertiesFail || sig != kPhotoshopSignature) return errPlugInPropertyUndefined;
    if (key == propRulerUnits) {
        *simple = s.rulerUnit;
        return noErr;
    }
    if (key == propNumberOfChannels) {
        *simple = intptr_t(s.channelNames.size());
        return noErr;
    }
    if (key == propChannelName) {
        if (index < 0 || size_t(index) >= s.channelNames.size() || s.channelNames[size_t(index)].empty())
            return errPlugInPropertyUndefined;
        const std::string& n = s.channelNames[size_t(index)];
        *complex = MakeHandle(n.data(), n.size());
        return noErr;
    }
    return errPlugInPropertyUndefined;
}

inline QWH_Err Colors(ColorServicesInfo* info)
{
    OnHostThread();
    State& s = S();
    if (info->selector == plugIncolorServicesChooseColor) {
        if (!s.pickAnswers) return userCanceledErr;
        for (int i = 0; i < 3; ++i) info->colorComponents[i] = int16_t(s.pick[i]);
        return noErr;
    }
    if (s.convertFails) return filterBadParameters;
    if (info->resultSpace == plugIncolorServicesGraySpace) {
        info->colorComponents[0] = 77;
        return noErr;
    }
    for (int i = 0; i < 4; ++i) info->colorComponents[i] = int16_t(i + 1);
    return noErr;
}

// Descriptors.
inline PIReadDescriptor OpenRead(Handle h, const uint32_t* keys)
{
    OnHostThread();
    if (!h) return nullptr;
    auto* t = new QWH_ReadDescriptor;
    for (; keys && *keys; ++keys) t->keys.push_back(*keys);
    return t;
}
inline QWH_Err CloseRead(PIReadDescriptor t)
{
    OnHostThread();
    delete t;
    return noErr;
}
inline uint8_t GetKey(PIReadDescriptor t, uint32_t* key, uint32_t* type, int32_t* flags)
{
    OnHostThread();
    const std::vector<Item>& items = S().readItems;
    while (t->next < items.size()) {
        size_t i = t->next++;
        if (!t->keys.empty() && std::find(t->keys.begin(), t->keys.end(), items[i].key) == t->keys.end())
            continue;
        t->current = long(i);
        *key = items[i].key;
        *type = items[i].type;
        *flags = 0;
        return 1;
    }
    return 0;
}
inline QWH_Err GetInteger(PIReadDescriptor t, int32_t* v)
{
    OnHostThread();
    if (S().cancelGets) return userCanceledErr;
    const Item& it = S().readItems[size_t(t->current)];
    if (it.type != typeInteger || it.bytes.size() != 4) return filterBadParameters;
    std::memcpy(v, it.bytes.data(), 4);
    return noErr;
}
inline QWH_Err GetText(PIReadDescriptor t, Handle* h)
{
    OnHostThread();
    if (S().cancelGets) return userCanceledErr;
    const Item& it = S().readItems[size_t(t->current)];
    if (it.type != typeText) return filterBadParameters;
    *h = MakeHandle(it.bytes.data(), it.bytes.size());
    return noErr;
}
inline PIWriteDescriptor OpenWrite()
{
    OnHostThread();
    S().written.clear();
    return new QWH_WriteDescriptor;
}
inline QWH_Err CloseWrite(PIWriteDescriptor t, Handle* out)
{
    OnHostThread();
    delete t;
    const char tag[] = "recorded";
    *out = MakeHandle(tag, sizeof tag);
    return noErr;
}
inline QWH_Err PutInteger(PIWriteDescriptor, uint32_t key, int32_t v)
{
    OnHostThread();
    Item it{key, typeInteger, std::vector<uint8_t>(4)};
    std::memcpy(it.bytes.data(), &v, 4);
    S().written.push_back(it);
    return noErr;
}
inline QWH_Err PutText(PIWriteDescriptor, uint32_t key, Handle h)
{
    OnHostThread();
    State& s = S();
    ++s.putCalls;
    QWH_HandleBlock* b = Block(h);
    if (!b || !b->live) return filterBadParameters;
    if (s.maxText && b->data.size() > s.maxText) return filterBadParameters;
    s.written.push_back(Item{key, typeText, std::vector<uint8_t>(b->data.begin(), b->data.end())});
    return noErr;
}

inline int32_t CountLevels(ChannelReadPort, int32_t* n)
{
    OnHostThread();
    *n = 1;
    return 0;
}
inline int32_t Depth(ChannelReadPort, int32_t* d)
{
    OnHostThread();
    *d = 8;
    return 0;
}
inline int32_t ReadPixels(ChannelReadPort port, int32_t, const PixelMemoryDesc* dest, QWH_Rect* r)
{
    OnHostThread();
    const QWH_Rect& b = port->bounds;
    for (int32_t y = r->top; y < r->bottom; ++y)
        for (int32_t x = r->left; x < r->right; ++x) {
            uint8_t v = 0;
            if (x >= b.left && x < b.right && y >= b.top && y < b.bottom)
                v = port->data[size_t(y - b.top) * size_t(b.right - b.left) + size_t(x - b.left)];
            static_cast<uint8_t*>(dest->data)[size_t(y - r->top) * size_t(dest->rowBits / 8) +
                                              size_t(x - r->left)] = v;
        }
    return 0;
}
inline int32_t Acquire(const char* name, int32_t version, const void** suite)
{
    OnHostThread();
    static PSChannelPortsSuite2 ports = {CountLevels, Depth, ReadPixels};
    if (std::strcmp(name, kPSChannelPortsSuite) != 0 || version != 2) return -1;
    ++S().suiteAcquired[name];
    *suite = &ports;
    return 0;
}
inline int32_t Release(const char* name, int32_t)
{
    OnHostThread();
    --S().suiteAcquired[name];
    return 0;
}
}  // extern "C"

inline HandleProcs g_handleProcs = {1, 6, NewH, DisposeH, SizeH, SetSizeH, LockH, UnlockH};
inline PropertyProcs g_propertyProcs = {1, 1, GetProperty};
inline ReadDescriptorProcs g_readProcs = {1, 5, OpenRead, CloseRead, GetKey, GetInteger, GetText};
inline WriteDescriptorProcs g_writeProcs = {1, 4, OpenWrite, CloseWrite, PutInteger, PutText};
inline SPBasicSuite g_basic = {Acquire, Release};
inline PIDescriptorParameters g_descParams{};
inline PlatformData g_platform{1234};

// Resets the host and fills the record for a document of the given size and mode with
// `planes` planes (every byte of plane p at (x, y) is p * 64 + x + y).
inline void Reset(FilterRecord& r, int32_t width, int32_t height, int16_t mode, int planes)
{
    State& s = S();
    s = State();
    g_hostThread = std::this_thread::get_id();
    g_offThreadCalls = 0;
    std::memset(&r, 0, sizeof r);
    s.record = &r;
    s.width = width;
    s.height = height;
    for (int p = 0; p < planes; ++p) {
        std::vector<uint8_t> plane(size_t(width) * size_t(height));
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                plane[size_t(y) * size_t(width) + size_t(x)] = uint8_t(p * 64 + x + y);
        s.planes.push_back(std::move(plane));
    }
    r.abortProc = Abort;
    r.progressProc = Progress;
    r.advanceState = Advance;
    r.handleProcs = &g_handleProcs;
    r.propertyProcs = &g_propertyProcs;
    r.colorServices = Colors;
    r.platformData = &g_platform;
    r.imageSize = QWH_Point{width, height};
    r.wholeSize = QWH_Point{width, height};
    r.filterRect = QWH_Rect{0, 0, width, height};
    r.planes = int16_t(planes);
    r.maxSpace = 1 << 20;
    r.imageMode = mode;
    r.filterCase = filterCaseFlatImageNoSelection;
    r.hostSig = kPhotoshopSignature;
    r.imageHRes = r.imageVRes = 72 << 16;
    r.supportsAbsolute = 1;
    g_descParams = PIDescriptorParameters{1, 0, 0, nullptr, &g_writeProcs, &g_readProcs};
    r.descriptorParameters = &g_descParams;
}

// Adds document information with one layer per entry: pixels of its own size at its offset.
inline void AddLayer(FilterRecord& r, const std::string& name, QWH_Rect bounds,
                     std::vector<std::vector<uint8_t>> colour, std::vector<uint8_t> alpha,
                     int32_t id)
{
    State& s = S();
    auto chan = [&](std::vector<uint8_t> px, ReadChannelDesc* next) {
        s.layerPixels.push_back(std::move(px));
        auto port = std::make_unique<QWH_ChannelPort>(QWH_ChannelPort{s.layerPixels.back().data(), bounds});
        auto c = std::make_unique<ReadChannelDesc>();
        std::memset(c.get(), 0, sizeof(ReadChannelDesc));
        c->next = next;
        c->port = port.get();
        c->bounds = bounds;
        c->depth = 8;
        ReadChannelDesc* raw = c.get();
        s.ports.push_back(std::move(port));
        s.channels.push_back(std::move(c));
        return raw;
    };
    s.layerPixels.reserve(1000);  // the pixel pointers stay valid
    ReadChannelDesc* head = nullptr;
    for (size_t i = colour.size(); i-- > 0;) head = chan(std::move(colour[i]), head);
    auto l = std::make_unique<ReadLayerDesc>();
    std::memset(l.get(), 0, sizeof(ReadLayerDesc));
    l->compositeChannelsList = head;
    l->transparency = alpha.empty() ? nullptr : chan(std::move(alpha), nullptr);
    s.layerNames.push_back(name);
    l->name = nullptr;
    l->layerID = id;
    l->isPixelBased = 1;
    l->maxVersion = 2;
    ReadLayerDesc* raw = l.get();
    s.layers.push_back(std::move(l));
    // Keep document order: append at the end of the list.
    if (!s.doc.layersDescriptor) {
        s.doc.layersDescriptor = raw;
    } else {
        ReadLayerDesc* last = s.doc.layersDescriptor;
        while (last->next) last = last->next;
        last->next = raw;
    }
    s.doc.maxVersion = 2;
    r.documentInfo = &s.doc;
    r.sSPBasic = &g_basic;
}

// Names are kept in the state; the descriptors point at them once all layers are added.
inline void FinishLayers()
{
    State& s = S();
    for (size_t i = 0; i < s.layers.size(); ++i) s.layers[i]->name = s.layerNames[i].c_str();
}

}  // namespace fakehost
