// qwhost: a test host that loads a filter module and drives it the way an image editor does.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/host/qw_filterhost.h"

namespace qwhost {

// A planar 8-bit document: colour planes, optionally followed by a transparency plane.
struct Document {
    int32_t width = 0;
    int32_t height = 0;
    int16_t mode = plugInModeRGBColor;
    int colorPlanes = 3;
    bool hasAlpha = false;
    std::vector<std::vector<uint8_t>> planes;  // colorPlanes (+1 alpha), width x height each
    std::vector<uint8_t> mask;                 // empty: no selection
};

struct LayerSpec {
    std::string name;
    int32_t x = 0, y = 0;
    int32_t width = 0, height = 0;
    std::vector<std::vector<uint8_t>> planes;  // colour planes of the document's mode
    std::vector<uint8_t> alpha;                // empty: no transparency
};

// An RGBA/grey image as read from a PNG file.
struct PngImage {
    int32_t width = 0, height = 0;
    int channels = 0;  // 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA
    std::unique_ptr<uint8_t[]> pixels;  // width x height x channels bytes
    size_t size = 0;
};

bool ReadPng(const std::string& path, PngImage& out, std::string& error);
bool WritePng(const std::string& path, int32_t width, int32_t height, int channels,
              const std::vector<uint8_t>& pixels, std::string& error);
// Writes a whole file: a regular file (or a new one) through a temporary file beside it, renamed
// over it once every byte and the close succeeded; a device or pipe in place. What stood at the
// path is never removed. False with the error set when anything fails.
bool WriteOutputFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

// Injected failures: the n-th call (1-based) of a kind and every later one fails.
struct Injection {
    long failAfter = 0;  // 0: never
    long calls = 0;
    bool Hit() { return failAfter > 0 && ++calls >= failAfter; }
    void Count() { ++calls; }
};

struct Options {
    std::string module;
    std::vector<std::string> inputs;
    std::string raw;
    int32_t rawWidth = 0, rawHeight = 0;
    std::string output, outputRaw;
    bool outputAlways = false;  // write the outputs after a failed run too
    std::string mode;  // gray|rgb|cmyk|lab|indexed|bitmap|multichannel|duotone
    std::string mask;
    std::vector<LayerSpec> layers;
    std::vector<std::string> layerArgs;
    bool noDocumentInfo = false;
    bool noColorServices = false;
    bool noAbsolute = false;
    int filterCase = -100;  // -100: from the input
    bool haveRect = false;
    QWH_Rect rect{};
    std::string fore, back;
    double hres = 72.0, vres = 72.0;
    int rulerUnit = 0;
    bool haveChannelNames = false;
    std::vector<std::string> channelNames;
    std::string icc;
    std::string dataDir;
    std::string descriptors;
    std::string layout;
    std::vector<int> selectors{2, 3, 5};
    int playInfo = plugInDialogDontDisplay;
    int32_t maxSpace = 1 << 20;
    int32_t maxText = 0;  // 0: no limit on text items
    std::string hostSig = "8BIM";
    std::string pickColor;
    long abortAfter = 0;
    std::map<std::string, long> failAfter;
    bool verbose = false;
    std::string ui = "headless";  // the window system of the filter's windows: headless or x11
    std::string uiScript;         // a UI script that plays the user (headless)
};

// Host state shared by the callbacks (the interface has no context argument).
struct Host {
    Options opt;
    Document doc;
    std::vector<LayerSpec> layers;
    int errors = 0;  // protocol faults seen
    bool verbose = false;

    // counters
    long strips = 0;
    double serviceMs = 0.0;  // time spent serving and committing strips
    long progressCalls = 0;
    long abortPolls = 0;
    std::map<std::string, Injection> inject;

    // The output buffer of the last advanceState, committed on the next one and after the call.
    std::vector<uint8_t> inBuf, outBuf, maskBuf;
    QWH_Rect pendingOutRect{};
    int pendingOutLo = 0, pendingOutHi = -1;
    bool pendingOut = false;
    bool pendingOutAbsolute = false;
};

Host& TheHost();
void Fault(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Note(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Callback tables and helpers (host.cpp).
void SetUpRecord(FilterRecord& rec, PlatformData& platform);
void CommitOutput(FilterRecord& rec);
Handle NewHostHandle(const void* bytes, size_t size, bool hostOwned);
void ForgetHandle(Handle h);  // the host takes a handle over from the plug-in
bool HandleBytes(Handle h, std::vector<uint8_t>& out);
int CheckLeaks();  // reports and counts live plug-in handles
bool IsLiveHandle(Handle h);
int CheckSuites();

// The host's windows (windows.cpp): the window system the filter's windows run on and the host
// window showing the document (its handle goes to the filter as the host's window).
bool StartWindows(std::string& error);
intptr_t HostWindowHandle();
// Marks the time inside a selector call (the host window's state is watched meanwhile).
void InSelector(bool inside);
// What the host window was while the filter waited for input: "disabled during the dialog",
// "enabled during the dialog" or "no dialog"; null without a host window.
const char* HostWindowState();
bool HostWindowEnabled();
// Shows the document as it is now; false when there is no memory for the picture.
bool ShowDocument();
// X11: runs the host window until the person closes it.
void WaitForHostWindow();
// False when the UI script did not run through (it said why on the error stream). Without a
// script, a headless run whose filter waited in its windows says that nobody answered them.
bool FinishScript();
void StopWindows();

// Descriptors (host.cpp): serialised item lists.
bool BuildLayoutDescriptor(const std::vector<uint8_t>& blob, std::vector<uint8_t>& descriptor,
                           std::string& error);
// True when the bytes are a serialised item list (what --descriptors files hold).
bool IsDescriptorList(const std::vector<uint8_t>& bytes);

// Staging folders (staging.cpp): the private folder a run with --data-dir loads the module from,
// "qwhost.XXXXXX" in the temp folder (TMPDIR), locked by the run while it lives. Make gives the
// folder and the lock's descriptor, which Remove closes after removing the folder.
bool MakeStagingFolder(std::string& folder, int& lock, std::string& error);
void RemoveStagingFolder(const std::string& folder, int lock);
// Removes this user's staging folders whose run has gone (killed), never a living run's.
void RemoveAbandonedStagingFolders();

}  // namespace qwhost
