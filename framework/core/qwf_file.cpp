#include "framework/core/qwf_file.h"

#include "platform/qw_paths.h"
#include "platform/qw_shell.h"

CQWF_StdFile::~CQWF_StdFile() { Close(); }

bool CQWF_StdFile::Open(const CQWF_String& path, int mode)
{
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
    ClearError();
    return true;
}

bool CQWF_StdFile::Close()
{
    if (!m_stream) return true;
    int result = std::fclose(m_stream);
    m_stream = nullptr;
    m_readable = m_writable = 0;
    m_last = kLastNone;
    if (result != 0) { SetError(QWF_ERR_FILE_WRITE); return false; }
    return true;
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
    size_t n = std::fwrite(buffer, 1, count, m_stream);
    if (n == 0) { SetError(QWF_ERR_FILE_WRITE); return -1; }
    return static_cast<int64_t>(n);
}

bool CQWF_StdFile::Flush()
{
    if (!m_stream) { SetError(QWF_ERR_FILE_NOT_OPEN); return false; }
    if (std::fflush(m_stream) != 0) { SetError(QWF_ERR_FILE_WRITE); return false; }
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
