// The image editor's filter plug-in interface as this system uses it: the record the host
// hands to the filter entry, its callbacks and the suites reached through it. Both sides of
// the interface (the filter module and the test host) are built from this one header, so the
// layout only has to agree with itself.
#pragma once

#include <cstddef>
#include <cstdint>

// Four-character codes ('8BIM', 'qwe0', ...) as 32-bit values, first character in the high
// byte, as the interface stores them.
constexpr uint32_t QWH_FourCC(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

extern "C" {

typedef int16_t QWH_Err;
typedef int32_t QWH_Fixed;  // 16.16 fixed point

// Result codes of the interface.
enum : int16_t {
    noErr = 0,
    memFullErr = -108,
    userCanceledErr = -128,
    filterBadParameters = -30100,
    filterBadMode = -30101,
    errPlugInHostInsufficient = -30900,
    errPlugInPropertyUndefined = -30901,
    errDescriptorKeyNotFound = -1728,
    errSuiteNotFound = -1,
};

// Selectors of the filter entry.
enum : int16_t {
    filterSelectorAbout = 0,
    filterSelectorParameters = 1,
    filterSelectorPrepare = 2,
    filterSelectorStart = 3,
    filterSelectorContinue = 4,
    filterSelectorFinish = 5,
};

// Image modes of `imageMode`.
enum : int16_t {
    plugInModeBitmap = 0,
    plugInModeGrayScale = 1,
    plugInModeIndexedColor = 2,
    plugInModeRGBColor = 3,
    plugInModeCMYKColor = 4,
    plugInModeMultichannel = 7,
    plugInModeDuotone = 8,
    plugInModeLabColor = 9,
};

// Filter cases of `filterCase` (0: an older host that does not say).
enum : int16_t {
    filterCaseUnsupported = -1,
    filterCaseNotGiven = 0,
    filterCaseFlatImageNoSelection = 1,
    filterCaseFlatImageWithSelection = 2,
    filterCaseFloatingSelection = 3,
    filterCaseEditableTransparencyNoSelection = 4,
    filterCaseEditableTransparencyWithSelection = 5,
    filterCaseProtectedTransparencyNoSelection = 6,
    filterCaseProtectedTransparencyWithSelection = 7,
};

// Dialog requests of the scripting system.
enum : int16_t {
    plugInDialogOptional = 0,  // recordInfo: the dialog may be skipped on replay
    plugInDialogRequired = 1,
    plugInDialogNone = 2,
    plugInDialogDontDisplay = 0,  // playInfo: replay silently
    plugInDialogDisplay = 1,      // playInfo: show the dialog
    plugInDialogSilent = 2,
};

// Colour spaces and selectors of the colour services.
enum : int16_t {
    plugIncolorServicesChooseColor = 0,
    plugIncolorServicesConvertColor = 1,
    plugIncolorServicesRGBSpace = 0,
    plugIncolorServicesCMYKSpace = 2,
    plugIncolorServicesGraySpace = 4,
};

// Rectangles: left, top, right, bottom; right and bottom exclusive.
struct QWH_Rect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// Sizes and positions: horizontal, vertical.
struct QWH_Point {
    int32_t h;
    int32_t v;
};

// Memory blocks moved across the interface are host handles.
typedef struct QWH_HandleBlock* Handle;

typedef QWH_Err (*AdvanceStateProc)(void);
typedef uint8_t (*TestAbortProc)(void);
typedef void (*ProgressProc)(int32_t done, int32_t total);

struct HandleProcs {
    int16_t handleProcsVersion;
    int16_t numHandleProcs;
    Handle (*newProc)(int32_t size);
    void (*disposeProc)(Handle h);
    int32_t (*getSizeProc)(Handle h);
    QWH_Err (*setSizeProc)(Handle h, int32_t newSize);
    char* (*lockProc)(Handle h, uint8_t moveHigh);
    void (*unlockProc)(Handle h);
};

// Host properties: a simple property comes back as an integer, a complex one as a new handle
// that the caller disposes.
typedef QWH_Err (*GetPropertyProc)(uint32_t signature, uint32_t key, int32_t index,
                                   intptr_t* simpleProperty, Handle* complexProperty);
struct PropertyProcs {
    int16_t propertyProcsVersion;
    int16_t numPropertyProcs;
    GetPropertyProc getPropertyProc;
};

// Property keys.
constexpr uint32_t propRulerUnits = QWH_FourCC("rulr");
constexpr uint32_t propNumberOfChannels = QWH_FourCC("nuch");
constexpr uint32_t propChannelName = QWH_FourCC("nmch");
constexpr uint32_t kPhotoshopSignature = QWH_FourCC("8BIM");

// One colour-services request.
struct ColorServicesInfo {
    int32_t infoSize;  // sizeof(ColorServicesInfo)
    int16_t selector;
    int16_t sourceSpace;
    int16_t resultSpace;
    uint8_t resultGamutInfoValid;
    uint8_t resultInGamut;
    int16_t colorComponents[4];
    const char* pickerPrompt;  // null: no prompt
};
typedef QWH_Err (*ColorServicesProc)(ColorServicesInfo* info);

// Scripting descriptors. A read descriptor walks the items of a descriptor handle; a write
// descriptor collects items and closes into a new handle.
typedef struct QWH_ReadDescriptor* PIReadDescriptor;
typedef struct QWH_WriteDescriptor* PIWriteDescriptor;

constexpr uint32_t typeInteger = QWH_FourCC("long");
constexpr uint32_t typeText = QWH_FourCC("TEXT");

struct ReadDescriptorProcs {
    int16_t readDescriptorProcsVersion;
    int16_t numReadDescriptorProcs;
    // keyArray: the keys the reader wants, terminated by 0; the walk returns only those.
    PIReadDescriptor (*openReadDescriptorProc)(Handle descriptor, const uint32_t* keyArray);
    QWH_Err (*closeReadDescriptorProc)(PIReadDescriptor token);
    // Moves to the next item; false when there is none.
    uint8_t (*getKeyProc)(PIReadDescriptor token, uint32_t* key, uint32_t* type, int32_t* flags);
    QWH_Err (*getIntegerProc)(PIReadDescriptor token, int32_t* value);
    // The current item's text as a new handle that the caller disposes.
    QWH_Err (*getTextProc)(PIReadDescriptor token, Handle* text);
};

struct WriteDescriptorProcs {
    int16_t writeDescriptorProcsVersion;
    int16_t numWriteDescriptorProcs;
    PIWriteDescriptor (*openWriteDescriptorProc)(void);
    // Closes the token; the new descriptor handle belongs to whoever keeps it in
    // `descriptorParameters->descriptor`.
    QWH_Err (*closeWriteDescriptorProc)(PIWriteDescriptor token, Handle* newDescriptor);
    QWH_Err (*putIntegerProc)(PIWriteDescriptor token, uint32_t key, int32_t value);
    // The host copies the handle's bytes; the caller keeps and disposes the handle.
    QWH_Err (*putTextProc)(PIWriteDescriptor token, uint32_t key, Handle text);
};

struct PIDescriptorParameters {
    int16_t descriptorParametersVersion;
    int16_t playInfo;
    int16_t recordInfo;
    Handle descriptor;
    WriteDescriptorProcs* writeDescriptorProcs;
    ReadDescriptorProcs* readDescriptorProcs;
};

// The basic suite hands out the host's other suites by name and version.
struct SPBasicSuite {
    int32_t (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    int32_t (*ReleaseSuite)(const char* name, int32_t version);
};

// Channel ports: pixel reading from the document's channels.
#define kPSChannelPortsSuite "Photoshop ChannelPorts Suite for Plug-ins"
constexpr int32_t kPSChannelPortsSuiteVersion2 = 2;

typedef struct QWH_ChannelPort* ChannelReadPort;

struct PixelMemoryDesc {
    void* data;
    int32_t rowBits;  // bits from one row to the next
    int32_t colBits;  // bits from one pixel to the next
    int32_t bitOffset;
    int32_t depth;
};

struct PSChannelPortsSuite2 {
    int32_t (*CountLevels)(ChannelReadPort port, int32_t* count);
    int32_t (*GetDepth)(ChannelReadPort port, int32_t* depth);
    // Reads `rect` (document coordinates) of the channel into `destination`; pixels outside
    // the channel's bounds read as 0. The rectangle actually read comes back in `rect`.
    int32_t (*ReadPixelsFromLevel)(ChannelReadPort port, int32_t level,
                                   const PixelMemoryDesc* destination, QWH_Rect* rect);
};

struct ReadChannelDesc {
    int32_t minVersion;
    int32_t maxVersion;
    ReadChannelDesc* next;
    ChannelReadPort port;
    QWH_Rect bounds;
    int32_t depth;
    const char* name;
    int32_t channelType;
};

struct ReadLayerDesc {
    int32_t minVersion;
    int32_t maxVersion;
    ReadLayerDesc* next;
    ReadChannelDesc* compositeChannelsList;
    ReadChannelDesc* transparency;
    ReadChannelDesc* layerMask;
    const char* name;  // in the system code page
    int32_t layerID;
    uint8_t isPixelBased;
};

struct ReadImageDocumentDesc {
    int32_t minVersion;
    int32_t maxVersion;
    int32_t imageMode;
    int32_t depth;
    QWH_Rect bounds;
    QWH_Fixed hResolution;
    QWH_Fixed vResolution;
    ReadChannelDesc* targetCompositeChannels;
    ReadChannelDesc* targetTransparency;
    ReadChannelDesc* mergedCompositeChannels;
    ReadChannelDesc* mergedTransparency;
    ReadLayerDesc* layersDescriptor;
};

struct PlatformData {
    intptr_t hwnd;  // the host's main window, 0 when there is none
};

// The record of the About selector: not a filter record.
struct AboutRecord {
    void* platformData;  // PlatformData*
    SPBasicSuite* sSPBasic;
    void* plugInRef;
};

// The record of every other selector.
struct FilterRecord {
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters;

    QWH_Point imageSize;
    int16_t planes;
    QWH_Rect filterRect;

    int32_t maxSpace;
    int32_t bufferSpace;

    QWH_Rect inRect;
    int16_t inLoPlane;
    int16_t inHiPlane;
    QWH_Rect outRect;
    int16_t outLoPlane;
    int16_t outHiPlane;
    void* inData;
    int32_t inRowBytes;
    void* outData;
    int32_t outRowBytes;

    uint8_t isFloating;
    uint8_t haveMask;
    uint8_t autoMask;
    QWH_Rect maskRect;
    void* maskData;
    int32_t maskRowBytes;

    uint8_t backColor[4];
    uint8_t foreColor[4];
    uint32_t hostSig;
    int16_t imageMode;
    QWH_Fixed imageHRes;
    QWH_Fixed imageVRes;
    QWH_Point floatCoord;
    QWH_Point wholeSize;

    AdvanceStateProc advanceState;
    HandleProcs* handleProcs;
    ColorServicesProc colorServices;
    PropertyProcs* propertyProcs;
    void* platformData;  // PlatformData*

    uint8_t supportsAbsolute;
    uint8_t wantsAbsolute;

    uint8_t canUseICCProfiles;
    Handle iCCprofileData;
    int32_t iCCprofileSize;

    int16_t filterCase;
    int16_t inTransparencyMask;
    int16_t outTransparencyMask;

    ReadImageDocumentDesc* documentInfo;
    SPBasicSuite* sSPBasic;
    PIDescriptorParameters* descriptorParameters;
};

// The filter module's one export.
typedef void (*PluginMainProc)(int16_t selector, void* pluginParamBlock, intptr_t* data,
                               int16_t* result);

}  // extern "C"
