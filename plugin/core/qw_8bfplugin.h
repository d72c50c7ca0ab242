// The filter's layer over the host's filter interface: selectors as virtual operations, the
// host information read at Start, planes moved in strips, document layers, colours, files in
// the plug-in and data folders, the settings store and the scripting parameters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_storage.h"
#include "framework/core/qwf_string.h"
#include "platform/host/qw_filterhost.h"

class CQWF_App;

// What Start learns about the image and the host; cleared at every Start.
struct QWF_HostInfo {
    uint8_t layout;  // 0 grayscale, 1 RGB, 2 CMYK
    uint8_t depth;   // always 8
    uint8_t planes;  // colour planes plus 1 when transparency is present
    uint8_t transparencyEditable;
    uint8_t transparencyPresent;  // the last plane is transparency
    uint8_t hostMask;             // the record's haveMask
    uint8_t selection;            // a selection limits the filter
    int32_t left, top, right, bottom;
    int32_t wholeWidth, wholeHeight;
    int32_t imageWidth, imageHeight;
    int32_t floatX, floatY;
    double hResolution, vResolution;
    uint8_t rulerUnits;  // 0..4
    uint8_t channelNamesPresent;
    int32_t channelCount;
    uint8_t foreground[4];
    uint8_t background[4];
    const uint8_t* profile;
    int32_t profileSize;
    uint8_t layersAvailable;
    int32_t docLeft, docTop, docRight, docBottom;
};

// One document layer with pixels; the composite "--COMPOSITE--" (id -1) comes last.
struct QWF_LayerEntry {
    int32_t id;
    int32_t left, top, right, bottom;  // -32000 four times: empty
    char name[100];
};

// A colour in every space the filter shows.
struct QWF_ColorRecord {
    uint8_t gray, red, green, blue, cyan, magenta, yellow, black;
};

class CQWF_8BFPluginVirtual : public CQWF_FrameWork {
public:
    static constexpr int16_t kErrBadMode = 48;

    CQWF_8BFPluginVirtual();
    ~CQWF_8BFPluginVirtual() override;

    CQWF_8BFPluginVirtual(const CQWF_8BFPluginVirtual&) = delete;
    CQWF_8BFPluginVirtual& operator=(const CQWF_8BFPluginVirtual&) = delete;

    // --- selectors ---
    virtual void About() {}
    virtual void Parameters() { m_showDialog = 1; }
    virtual void Prepare() {}
    virtual void Start() {}
    virtual void Continue() { ClearRects(); }
    virtual void Finish();
    void ClearRects();

    // --- host pointers, set by the filter entry on every call ---
    void SetHostPointers(FilterRecord* record, intptr_t* data, int16_t* result);
    FilterRecord* GetFilterRecord() const { return m_record; }
    void SetHostWindow(intptr_t window) { m_hostWindow = window; }
    intptr_t GetHostWindow() const { return m_hostWindow; }
    CQWF_String& GetPluginFolder() { return m_pluginFolder; }
    CQWF_String& GetDataFolder() { return m_dataFolder; }
    uint8_t GetShowDialog() const { return m_showDialog; }

    // --- results ---
    void SetResultOK() { SetResult(noErr); }
    void SetResultCanceled() { SetResult(userCanceledErr); }
    void SetResultBadParameters() { SetResult(filterBadParameters); }
    void SetResultOutOfMemory() { SetResult(memFullErr); }
    void SetResult(int16_t code)
    {
        if (m_result) *m_result = code;
    }
    int16_t GetResult() const { return m_result ? *m_result : int16_t(0); }

    // --- host callbacks ---
    bool AdvanceState();
    bool HostAbort();
    bool HostProgress(int32_t total, int32_t done);

    // --- Start information ---
    bool ReadHostInfo();
    QWF_HostInfo* GetHostInfo() { return &m_info; }
    CQWF_StringArray& GetChannelNames() { return m_channelNames; }

    // --- planes: plane number (-1 the selection mask for ReadPlane), rectangle, the caller's
    // buffer and its row stride ---
    bool ReadPlane(int plane, int32_t left, int32_t top, int32_t right, int32_t bottom,
                   uint8_t* buffer, int64_t stride);
    bool ReadPlaneAbsolute(int plane, int32_t left, int32_t top, int32_t right, int32_t bottom,
                           uint8_t* buffer, int64_t stride);
    bool WritePlane(int plane, int32_t left, int32_t top, int32_t right, int32_t bottom,
                    const uint8_t* buffer, int64_t stride);
    bool FillPlane(int plane, int32_t left, int32_t top, int32_t right, int32_t bottom,
                   uint8_t value);
    // Writes a plane whose rows the caller makes straight into the host's buffer: row(context,
    // y, out, width) fills row y (0 = top) of the rectangle.
    using RowMaker = void (*)(void* context, int64_t y, uint8_t* out, int64_t width);
    bool WritePlaneRows(int plane, int32_t left, int32_t top, int32_t right, int32_t bottom,
                        RowMaker row, void* context);

    // --- layers ---
    bool AcquireChannelPorts();
    bool BuildLayerTable(int32_t left, int32_t top, int32_t right, int32_t bottom, bool rebuild);
    const QWF_LayerEntry* GetLayerTable(size_t& count) const
    {
        count = m_layerCount;
        return m_layerCount ? reinterpret_cast<const QWF_LayerEntry*>(m_layers.GetData()) : nullptr;
    }
    bool ReadLayerPlanes(int32_t id, uint8_t** planes, int32_t width, int32_t height, int n,
                         int32_t left, int32_t top, int32_t right, int32_t bottom);

    // --- colours ---
    bool PickColorRGB(uint8_t rgba[4]);
    bool ConvertColor(QWF_ColorRecord& color);
    bool PickColor(QWF_ColorRecord& color);
    bool MakeRGBRows(const uint8_t* const* source, uint8_t* const* target, size_t length);

    // --- files (folder null: the plug-in folder) ---
    bool ReadWholeFile(CQWF_Mem& mem, const char* name, const char* folder = nullptr);
    // Writes the file whole: the new bytes replace an earlier file only once they are all
    // stored, so a failure (a full disk) leaves the earlier file as it was.
    bool WriteWholeFile(const void* bytes, size_t length, const char* name,
                        const char* folder = nullptr);
    bool WriteMemFile(const CQWF_Mem& mem, const char* name, const char* folder = nullptr)
    {
        return WriteWholeFile(mem.GetData(), mem.GetSize(), name, folder);
    }
    bool OpenFile(const char* name);
    bool OpenURL(const char* text);

    // --- the application object of a dialog run ---
    // Window shadows on when "EnableWindowShadows.txt" in the plug-in folder opens for reading.
    void CheckWindowShadows(CQWF_App& app);
    // Gives the application the module instance and opens the skin package of that name in the
    // plug-in folder, its digest checked (null: the package among the module's resources).
    bool OpenResourcePackage(CQWF_App& app, const char* name);
    // Runs the application modally against the host's window: -1 when its window cannot be
    // created, else the message loop's result.
    int32_t RunApp(CQWF_App& app);

    // --- settings store ---
    // Opens the store in the data folder, or creates it. A store that opens only for reading (the
    // user may not write it) is used read-only for the run: nothing is set aside or written, and
    // the store's IsReadOnly tells it. A file of that name that holds no store that opens is
    // first renamed aside to the name + kKeptAsideSuffix (with "-2", "-3" ... when that is
    // taken), so that nothing the user had is lost.
    static constexpr const char* kKeptAsideSuffix = ".damaged";
    static constexpr int kKeptAsideNames = 99;
    // What the dialog tells once when the store is read-only.
    static constexpr const char* kSettingsReadOnlyText = "Cannot update settings file...";
    bool LoadPreferences(const char* name);
    CQWF_Storage* GetPreferences() { return m_settingsOpen ? &m_settings : nullptr; }
    bool ArePreferencesReadOnly() const { return m_settingsOpen && m_settings.IsReadOnly(); }

    // --- scripting parameters ---
    bool WriteScriptParameters(const void* bytes, size_t length);
    bool ReadScriptParameters(CQWF_Mem& out, bool& showDialog);
    // True when the host answered the last read with a user cancel: the run ends cancelled
    // instead of falling back to the last layout.
    bool ScriptReadCancelled() const { return m_scriptCancelled != 0; }
    bool PutDescriptorChunk(const char* text, size_t length, uint32_t key, PIWriteDescriptor token,
                            size_t index);
    // indexOut and lengthOut (when given) receive the chunk's index and character count.
    bool GetDescriptorChunk(uint8_t* buffer, size_t bufferLength, size_t chunkSize,
                            PIReadDescriptor token, size_t indexLimit, size_t* indexOut = nullptr,
                            size_t* lengthOut = nullptr);

    // --- host properties ---
    bool GetPropertyText(uint32_t key, int32_t index, CQWF_String& out);

protected:
    bool Transfer(int kind, int plane, int32_t left, int32_t top, int32_t right, int32_t bottom,
                  uint8_t* buffer, int64_t stride, uint8_t value, RowMaker row = nullptr, void* context = nullptr);
    bool HasHandleProcs() const;
    void BuildPath(CQWF_String& path, const char* name, const char* folder) const;
    // Renames the file at path to the first free kept-aside name; false when none could be had.
    static bool KeepAside(const CQWF_String& path);

    CQWF_String m_pluginFolder;
    CQWF_String m_dataFolder;
    intptr_t m_hostWindow = 0;
    void* m_instance = nullptr;
    FilterRecord* m_record = nullptr;
    CQWF_Mem m_profile;
    QWF_HostInfo m_info{};
    CQWF_StringArray m_channelNames;
    int16_t* m_result = nullptr;
    intptr_t* m_data = nullptr;
    CQWF_Storage m_settings;
    uint8_t m_settingsOpen = 0;
    const PSChannelPortsSuite2* m_channelPorts = nullptr;
    SPBasicSuite* m_portsBasic = nullptr;  // the suite that handed out m_channelPorts
    CQWF_Mem m_layers;
    size_t m_layerCount = 0;
    uint8_t m_showDialog = 0;
    uint8_t m_scriptCancelled = 0;
};
