#include "framework/imaging/qwf_imagefile.h"

#include "framework/core/qwf_file.h"
#include "framework/core/qwf_progress.h"

bool CQWF_ImageFormat::GetSize(uint16_t& width, uint16_t& height) const
{
    width = m_width;
    height = m_height;
    return true;
}

CQWF_Mem* CQWF_ImageFormat::GetPlane(int plane)
{
    int slot;
    if (plane == QWF_PLANE_ALPHA) slot = 0;
    else if (plane >= 0 && plane <= 3) slot = plane + 1;
    else return nullptr;
    return m_planes[slot].GetSize() ? &m_planes[slot] : nullptr;
}

uint8_t* CQWF_ImageFormat::GetPlaneData(int plane)
{
    CQWF_Mem* m = GetPlane(plane);
    return m ? m->GetData() : nullptr;
}

bool CQWF_ImageFormat::IsCancelled() const
{
    return m_progress && m_progress->IsCancelled();
}

void CQWF_ImageFormat::ReportPercent(int percent) const
{
    if (m_progress) m_progress->SetPercent(static_cast<uint8_t>(percent));
}

void CQWF_ImageFormat::FreePlanes()
{
    for (CQWF_Mem& m : m_planes) m.Free();
}

// ---------------------------------------------------------------------------------------------

bool CQWF_ImageReader::ReadInfo(const CQWF_Mem& block)
{
    return ReadInfo(block.GetData(), block.GetSize());
}

bool CQWF_ImageReader::ReadInfo(CQWF_StdFile& file)
{
    if (!LoadFile(file)) return false;
    return ReadInfo();
}

bool CQWF_ImageReader::ReadInfo() { return ReadInfo(m_buffer); }

bool CQWF_ImageReader::ReadImage(const CQWF_Mem& block)
{
    return ReadImage(block.GetData(), block.GetSize());
}

bool CQWF_ImageReader::ReadImage(CQWF_StdFile& file)
{
    if (!LoadFile(file)) return false;
    return ReadImage();
}

bool CQWF_ImageReader::ReadImage() { return ReadImage(m_buffer); }

bool CQWF_ImageReader::LoadFile(CQWF_StdFile& file)
{
    m_buffer.Free();
    int64_t size = file.GetSize();
    if (size <= 0) {
        SetError(file.GetError() ? file.GetError() : static_cast<int16_t>(QWF_ERR_FILE_READ));
        return false;
    }
    if (!m_buffer.Alloc(static_cast<size_t>(size))) {
        SetError(m_buffer.GetError());
        return false;
    }
    if (file.Seek(0) < 0) {
        SetError(file.GetError());
        m_buffer.Free();
        return false;
    }
    int64_t got = file.Read(m_buffer.GetData(), static_cast<size_t>(size));
    if (got < 0) {
        SetError(file.GetError());
        m_buffer.Free();
        return false;
    }
    // A file that shrank under us: keep what was read.
    if (got < size) m_buffer.Resize(static_cast<size_t>(got));
    return true;
}

// ---------------------------------------------------------------------------------------------

bool CQWF_ImageWriter::AttachFile(CQWF_StdFile* file)
{
    if (!file || !file->IsOpen() || !file->IsWritable()) {
        m_file = nullptr;
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    m_file = file;
    return true;
}

int64_t CQWF_ImageWriter::Tell(int64_t position)
{
    if (!m_file) return -1;
    if (position != -1 && m_file->Seek(position) < 0) {
        SetError(m_file->GetError());
        return -1;
    }
    return m_file->Tell();
}

bool CQWF_ImageWriter::WriteBytes(const void* bytes, size_t length, int64_t position)
{
    if (!m_file) return false;
    int64_t back = -1;
    if (position != -1) {
        back = m_file->Tell();
        if (back < 0 || m_file->Seek(position) < 0) {
            SetError(m_file->GetError());
            return false;
        }
    }
    bool ok = true;
    if (length) {
        int64_t n = m_file->Write(bytes, length);
        if (n < 0 || static_cast<size_t>(n) < length) {
            SetError(m_file->GetError() ? m_file->GetError()
                                        : static_cast<int16_t>(QWF_ERR_FILE_WRITE));
            ok = false;
        }
    }
    if (back >= 0 && m_file->Seek(back) < 0) {
        if (ok) SetError(m_file->GetError());
        ok = false;
    }
    return ok;
}

bool CQWF_ImageWriter::Flush()
{
    if (!m_file) return false;
    if (!m_file->Flush()) {
        SetError(m_file->GetError() ? m_file->GetError()
                                    : static_cast<int16_t>(QWF_ERR_FILE_WRITE));
        return false;
    }
    return true;
}
