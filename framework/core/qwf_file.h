// The file object: buffered streams opened through the Windows-style path mapping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"

class CQWF_StdFile : public CQWF_FrameWork {
public:
    // Open modes: 1 "rb", 2 "wb", 3 "r+b", 4 "w+b".
    enum : int { kModeRead = 1, kModeWrite = 2, kModeReadWrite = 3, kModeCreateReadWrite = 4 };

    CQWF_StdFile() = default;
    ~CQWF_StdFile() override;
    CQWF_StdFile(const CQWF_StdFile&) = delete;
    CQWF_StdFile& operator=(const CQWF_StdFile&) = delete;

    // `path` is a Windows-style path ("C:\dir\file", "Z:\tmp\file").
    bool Open(const CQWF_String& path, int mode);
    // Closes the stream when open; false (error 33) when buffered data could not be written.
    bool Close();
    bool IsOpen() const { return m_stream != nullptr; }
    bool IsReadable() const { return m_readable != 0; }
    bool IsWritable() const { return m_writable != 0; }

    int64_t Seek(int64_t position);
    int64_t Tell();
    // True when the open stream reads a plain file (not a folder, device or pipe).
    bool IsRegularFile() const;
    int64_t GetSize();
    int64_t Read(void* buffer, size_t count);
    int64_t Write(const void* buffer, size_t count);
    int64_t WriteBytes(const void* buffer, size_t count) { return Write(buffer, count); }
    // False (error 33) when the buffered data could not be written.
    bool Flush();
    int64_t ReadToMem(CQWF_Mem& block, size_t maxCount = 0);

    // Opens a document or a link with its associated program; true when that was started.
    static bool ShellOpen(const CQWF_String& path);

private:
    // Streams opened for both directions need a positioning call between reading and writing.
    enum : uint8_t { kLastNone, kLastRead, kLastWrite };
    void SwitchDirection(uint8_t next);

    FILE* m_stream = nullptr;
    uint8_t m_readable = 0;
    uint8_t m_writable = 0;
    uint8_t m_last = kLastNone;
};
