#include "framework/core/qwf_file.h"

#include "platform/qw_paths.h"
#include "platform/qw_shell.h"

CQWF_StdFile::~CQWF_StdFile()
{
    GiveUpReplacement();
    Close();
}

void CQWF_StdFile::ReleaseEarlier()
{
    qwp::CloseEarlierFile(m_earlier);
    m_earlier = nullptr;
}

void CQWF_StdFile::GiveUpReplacement()
{
    ReleaseEarlier();
    if (!m_replacement) return;
    qwp::EndReplacement(m_stream, m_replacement, false);
    m_replacement = nullptr;
    m_stream = nullptr;
    m_readable = m_writable = 0;
    m_last = kLastNone;
}

bool CQWF_StdFile::Open(const CQWF_String& path, int mode)
{
    GiveUpReplacement();
    Close();
    static const char* const kModes[] = {nullptr, "rb", "wb", "r+b", "w+b"};
    if (mode < kModeRead || mode > kModeCreateReadWrite) { SetError(QWF_ERR_ARGUMENT); return false; }
    m_stream = qwp::OpenFile(path.GetBuffer(), kModes[mode]);
    if (!m_stream) {
        m_readable = m_writable = 0;
        SetError(QWF_ERR_FILE_OPEN);
        return false;
    }
    m_readable = mode != kModeWrite;
    m_writable = mode != kModeRead;
    m_last = kLastNone;
    m_writeFailed = 0;
    ClearError();
    return true;
}

bool CQWF_StdFile::Close() { return CloseStream(true); }

bool CQWF_StdFile::CloseWithoutSync() { return CloseStream(false); }

bool CQWF_StdFile::CloseStream(bool sync)
{
    if (!m_stream) return true;
    // A replacement's new file is written out and closed here; it takes the old one's place
    // only in Commit.
    const bool closed =
        m_replacement ? qwp::CloseReplacement(m_stream, m_replacement, sync) : std::fclose(m_stream) == 0;
    m_stream = nullptr;
    m_readable = m_writable = 0;
    m_last = kLastNone;
    if (!closed) {
        m_writeFailed = 1;
        SetError(QWF_ERR_FILE_WRITE);
        return false;
    }
    return true;
}

bool CQWF_StdFile::SyncReplacement()
{
    if (!m_replacement || m_stream) return m_replacement == nullptr;
    if (!qwp::SyncReplacement(m_replacement)) {
        m_writeFailed = 1;
        SetError(QWF_ERR_FILE_WRITE);
        return false;
    }
    return true;
}

bool CQWF_StdFile::OpenReplacement(const CQWF_String& path, int mode, bool linkItself, bool removeStale)
{
    GiveUpReplacement();
    Close();
    m_writeFailed = 0;
    if (mode != kModeWrite && mode != kModeCreateReadWrite) { SetError(QWF_ERR_ARGUMENT); return false; }
    m_stream = qwp::BeginReplacement(path.GetBuffer(), mode == kModeWrite ? "wb" : "w+b", m_replacement,
                                     linkItself ? qwp::LinkAtTarget::Replace : qwp::LinkAtTarget::Follow, removeStale);
    if (!m_stream) {
        m_readable = m_writable = 0;
        SetError(QWF_ERR_FILE_OPEN);
        return false;
    }
    m_readable = mode != kModeWrite;
    m_writable = 1;
    m_last = kLastNone;
    ClearError();
    return true;
}

bool CQWF_StdFile::Commit() { return EndReplacement(false); }

bool CQWF_StdFile::CommitKeepingEarlier() { return EndReplacement(true); }

bool CQWF_StdFile::EndReplacement(bool keepEarlier)
{
    if (!m_replacement) return Close();
    ReleaseEarlier();
    const bool stored = qwp::EndReplacement(m_stream, m_replacement, m_writeFailed == 0, keepEarlier ? &m_earlier : nullptr);
    m_stream = nullptr;
    m_replacement = nullptr;
    m_readable = m_writable = 0;
    m_last = kLastNone;
    if (!stored) { SetError(QWF_ERR_FILE_WRITE); return false; }
    return true;
}

QWF_FileWrite CQWF_StdFile::WriteReplacing(const CQWF_String& path, int mode, QWF_WholeFileWriter writer,
                                           void* context)
{
    CQWF_StdFile file;
    if (!writer || !file.OpenReplacement(path, mode)) return QWF_FileWrite::kNotCreated;
    if (!writer(file, context)) return QWF_FileWrite::kWriterFailed;  // its new file goes
    return file.Commit() ? QWF_FileWrite::kWritten : QWF_FileWrite::kNotStored;
}

void CQWF_StdFile::SwitchDirection(uint8_t next)
{
    if (m_last != kLastNone && m_last != next) std::fseek(m_stream, 0, SEEK_CUR);
    m_last = next;
}

int64_t CQWF_StdFile::Seek(int64_t position)
{
    if (!m_stream) { SetError(QWF_ERR_FILE_NOT_OPEN); return -1; }
    if (position < 0 || qwp::SeekFile(m_stream, position, SEEK_SET) != 0) {
        SetError(QWF_ERR_FILE_SEEK);
        return -1;
    }
    m_last = kLastNone;
    return position;
}

int64_t CQWF_StdFile::Tell()
{
    if (!m_stream) { SetError(QWF_ERR_FILE_NOT_OPEN); return -1; }
    return qwp::TellFile(m_stream);
}

bool CQWF_StdFile::IsRegularFile() const { return m_stream && qwp::StreamIsRegularFile(m_stream); }

int64_t CQWF_StdFile::GetSize()
{
    if (!m_stream) { SetError(QWF_ERR_FILE_NOT_OPEN); return -1; }
    // Only a plain file has a size: a folder's "end" lies near 2^63.
    if (!IsRegularFile()) { SetError(QWF_ERR_FILE_SEEK); return -1; }
    const int64_t position = qwp::TellFile(m_stream);
    if (position < 0) return -1;
    if (qwp::SeekFile(m_stream, 0, SEEK_END) != 0) { SetError(QWF_ERR_FILE_SEEK); return -1; }
    const int64_t size = qwp::TellFile(m_stream);
    if (qwp::SeekFile(m_stream, position, SEEK_SET) != 0) { SetError(QWF_ERR_FILE_SEEK); return -1; }
    m_last = kLastNone;
    return size;
}

int64_t CQWF_StdFile::Read(void* buffer, size_t count)
{
    if (!m_stream) { SetError(QWF_ERR_FILE_NOT_OPEN); return -1; }
    if (!m_readable) { SetError(QWF_ERR_FILE_DIRECTION); return -1; }
    if (count == 0) return 0;
    if (!buffer) { SetError(QWF_ERR_ARGUMENT); return -1; }
    SwitchDirection(kLastRead);
    size_t n = std::fread(buffer, 1, count, m_stream);
    if (n == 0) { SetError(QWF_ERR_FILE_READ); return -1; }
    return static_cast<int64_t>(n);
}

int64_t CQWF_StdFile::Write(const void* buffer, size_t count)
{
    if (!m_stream) { SetError(QWF_ERR_FILE_NOT_OPEN); return -1; }
    if (!m_writable) { SetError(QWF_ERR_FILE_DIRECTION); return -1; }
    if (count == 0) return 0;
    if (!buffer) { SetError(QWF_ERR_ARGUMENT); return -1; }
    SwitchDirection(kLastWrite);
    size_t n = qwp::WriteStream(m_stream, buffer, count);
    if (n < count) m_writeFailed = 1;
    if (n == 0) { SetError(QWF_ERR_FILE_WRITE); return -1; }
    return static_cast<int64_t>(n);
}

bool CQWF_StdFile::Flush()
{
    if (!m_stream) { SetError(QWF_ERR_FILE_NOT_OPEN); return false; }
    if (std::fflush(m_stream) != 0) {
        m_writeFailed = 1;
        SetError(QWF_ERR_FILE_WRITE);
        return false;
    }
    return true;
}

bool CQWF_StdFile::Truncate(int64_t size)
{
    if (!m_stream) { SetError(QWF_ERR_FILE_NOT_OPEN); return false; }
    if (!m_writable) { SetError(QWF_ERR_FILE_DIRECTION); return false; }
    if (!qwp::TruncateStream(m_stream, size)) { SetError(QWF_ERR_FILE_WRITE); return false; }
    m_last = kLastNone;
    return true;
}

int64_t CQWF_StdFile::ReadToMem(CQWF_Mem& block, size_t maxCount)
{
    if (!m_stream) { SetError(QWF_ERR_FILE_NOT_OPEN); return -1; }
    size_t n = block.GetSize();
    if (maxCount != 0 && maxCount < n) n = maxCount;
    return Read(block.GetData(), n);
}

bool CQWF_StdFile::ShellOpen(const CQWF_String& path) { return qwp::ShellOpen(path.GetBuffer()); }
