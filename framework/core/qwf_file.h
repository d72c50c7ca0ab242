// The file object: buffered streams opened through the Windows-style path mapping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"

namespace qwp {
struct EarlierFile;
struct FileReplacement;
}

class CQWF_StdFile;
// A writer of a whole file: the opened file and the caller's context; true when it wrote all.
using QWF_WholeFileWriter = bool (*)(CQWF_StdFile& file, void* context);

// How writing a file whole ended (CQWF_StdFile::WriteReplacing).
enum class QWF_FileWrite : uint8_t {
    kWritten,       // the new file stands at the path
    kNotCreated,    // no new file could be made there
    kWriterFailed,  // the writer answered false (it has told the user)
    kNotStored,     // the writer succeeded, but its bytes did not all reach the disk
};

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
    // For a replacement: closes it without the sync to the disk that it needs before it may
    // take the name of an earlier file; SyncReplacement (on any thread) or Commit does the sync.
    bool CloseWithoutSync();
    bool SyncReplacement();

    // Replacing a file whole: the writes go to a new file beside `path` (opened in mode 2 or 4),
    // which takes the place of the file at `path` only in Commit, once every write, the flush,
    // the sync to the disk (over an earlier file) and the close succeeded. Until then, and after
    // any failure, the file at `path` is as it was. Close writes the new file out and closes it
    // (a package closes the file it was given); a replacement not committed when the object is
    // reopened or destroyed is given up and its new file removed. With `linkItself`, a link at
    // `path` is replaced as itself: nothing is written through it. Without `removeStale` the new
    // files that stopped writers left beside `path` are not looked for (a series of files removes
    // those of its folder once).
    bool OpenReplacement(const CQWF_String& path, int mode, bool linkItself = false, bool removeStale = true);
    // Ends a replacement (or closes a plain file): true when the new file stands at the path;
    // false (error 33) when it could not be stored whole, the old file then left as it was.
    bool Commit();
    // Commit, keeping the earlier file that the new one replaced open: the system frees its
    // space where ReleaseEarlier (or reopening or destroying the object) closes it, which a
    // series of files leaves to its workers.
    bool CommitKeepingEarlier();
    void ReleaseEarlier();
    // Gives a replacement up: its new file goes, the file at the path stays as it was.
    void GiveUpReplacement();
    // False once some write stored less than asked (a replacement is then not committed).
    bool IsWrittenWhole() const { return m_writeFailed == 0; }

    // Writes the file at `path` whole through `writer` (the new file opened in `mode` 2 or 4):
    // the old file is replaced only when the writer succeeded and all its bytes were stored;
    // otherwise it stays as it was and nothing new is left behind.
    static QWF_FileWrite WriteReplacing(const CQWF_String& path, int mode, QWF_WholeFileWriter writer,
                                        void* context);
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
    // Cuts the file (or lengthens it with zeros) to `size` bytes; 33 when that fails.
    bool Truncate(int64_t size);

    // Opens a document or a link with its associated program; true when that was started.
    static bool ShellOpen(const CQWF_String& path);

private:
    // Streams opened for both directions need a positioning call between reading and writing.
    enum : uint8_t { kLastNone, kLastRead, kLastWrite };
    void SwitchDirection(uint8_t next);
    bool CloseStream(bool sync);
    bool EndReplacement(bool keepEarlier);

    FILE* m_stream = nullptr;
    qwp::FileReplacement* m_replacement = nullptr;
    qwp::EarlierFile* m_earlier = nullptr;
    uint8_t m_readable = 0;
    uint8_t m_writable = 0;
    uint8_t m_last = kLastNone;
    // Some write stored less than asked: a replacement is then not committed.
    uint8_t m_writeFailed = 0;
};
