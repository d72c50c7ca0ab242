// The shared interface of the image file classes: what a reader finds in a file, how a reader
// takes its input and how a writer reaches the file the caller opened.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"

class CQWF_StdFile;
class CQWF_Progress;

// Colour modes of the image file classes.
enum QWF_ColorMode : uint8_t {
    QWF_MODE_RGB = 1,
    QWF_MODE_GRAY = 2,
    QWF_MODE_CMYK = 3,
};

// The plane number of the transparency plane in GetPlane / GetPlaneData.
inline constexpr int QWF_PLANE_ALPHA = 255;

class CQWF_ImageFormat : public CQWF_FrameWork {
public:
    CQWF_ImageFormat() = default;
    ~CQWF_ImageFormat() override = default;
    CQWF_ImageFormat(const CQWF_ImageFormat&) = delete;
    CQWF_ImageFormat& operator=(const CQWF_ImageFormat&) = delete;

    virtual bool GetSize(uint16_t& width, uint16_t& height) const;
    virtual uint8_t GetColorMode() const { return m_colorMode; }
    virtual uint8_t GetDepth() const { return m_depth; }
    // Planes 0..3 are the colour planes, 255 the transparency plane; null when empty.
    virtual CQWF_Mem* GetPlane(int plane);
    virtual uint8_t* GetPlaneData(int plane);
    virtual CQWF_String GetText1() const { return m_text1; }
    virtual CQWF_String GetText2() const { return m_text2; }

    void SetProgress(CQWF_Progress* progress) { m_progress = progress; }

protected:
    // True when the sink asks to stop (never without a sink).
    bool IsCancelled() const;
    void ReportPercent(int percent) const;
    // Frees the five plane blocks.
    void FreePlanes();

    CQWF_Progress* m_progress = nullptr;
    uint16_t m_width = 0;
    uint16_t m_height = 0;
    uint8_t m_colorMode = 0;
    uint8_t m_depth = 0;
    CQWF_String m_text1;
    CQWF_String m_text2;
    // Transparency plane, then colour planes 0 to 3.
    CQWF_Mem m_planes[5];
};

class CQWF_ImageReader : public virtual CQWF_ImageFormat {
public:
    ~CQWF_ImageReader() override = default;

    virtual bool ReadInfo(const uint8_t* bytes, size_t length) = 0;
    virtual bool ReadInfo(const CQWF_Mem& block);
    virtual bool ReadInfo(CQWF_StdFile& file);
    virtual bool ReadInfo();
    virtual bool ReadImage(const uint8_t* bytes, size_t length) = 0;
    virtual bool ReadImage(const CQWF_Mem& block);
    virtual bool ReadImage(CQWF_StdFile& file);
    virtual bool ReadImage();

protected:
    // Reads the whole file into the own buffer.
    bool LoadFile(CQWF_StdFile& file);

    CQWF_Mem m_buffer;
};

class CQWF_ImageWriter : public virtual CQWF_ImageFormat {
public:
    ~CQWF_ImageWriter() override = default;

    virtual bool AttachFile(CQWF_StdFile* file);
    virtual void Release() {}

    // Current position (after moving to `position` when it is not -1); -1 on failure.
    int64_t Tell(int64_t position = -1);
    // Writes at the current position, or at `position` and moves back afterwards.
    bool WriteBytes(const void* bytes, size_t length, int64_t position = -1);
    bool Flush();

protected:
    CQWF_StdFile* m_file = nullptr;
};
