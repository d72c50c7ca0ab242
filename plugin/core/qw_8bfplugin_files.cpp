// Host layer: files in the plug-in and data folders, the settings store, shell requests.
#include "framework/core/qwf_file.h"
#include "plugin/core/qw_8bfplugin.h"

#include "framework/ui/qwf_app.h"
#include "platform/qw_paths.h"

void CQWF_8BFPluginVirtual::BuildPath(CQWF_String& path, const char* name,
                                      const char* folder) const
{
    if (folder) {
        path = folder;
        if (path.GetLength() && path.GetBuffer()[path.GetLength() - 1] != '\\') path += '\\';
    } else {
        path = m_pluginFolder;
    }
    // A path that could not be built whole names no file (never the folder alone).
    if (!(path += name ? name : "")) path = "";
}

bool CQWF_8BFPluginVirtual::ReadWholeFile(CQWF_Mem& mem, const char* name, const char* folder)
{
    ClearError();
    CQWF_String path;
    BuildPath(path, name, folder);
    CQWF_StdFile file;
    if (!file.Open(path, CQWF_StdFile::kModeRead)) {
        SetError(file.GetError());
        return false;
    }
    // A folder or a device of that name is no file to read (its size would be made up).
    if (!file.IsRegularFile()) {
        SetError(QWF_ERR_FILE_OPEN);
        return false;
    }
    int64_t size = file.GetSize();
    if (size < 0) {
        SetError(file.GetError());
        return false;
    }
    if (size == 0) {
        mem.Free();
        return true;
    }
    if (!mem.Alloc(size_t(size))) {
        SetError(mem.GetError());
        return false;
    }
    if (file.Read(mem.GetData(), size_t(size)) != size) {
        SetError(file.GetError() ? file.GetError() : int16_t(QWF_ERR_FILE_READ));
        return false;
    }
    return true;
}

bool CQWF_8BFPluginVirtual::WriteWholeFile(const void* bytes, size_t length, const char* name,
                                           const char* folder)
{
    ClearError();
    CQWF_String path;
    BuildPath(path, name, folder);
    // A new file takes the old one's place only once it is stored whole: a full disk keeps the
    // earlier file (a replacement not committed is given up with the object). The folders'
    // files are the filter's own: a link at the name is replaced, never written through.
    CQWF_StdFile file;
    if (!file.OpenReplacement(path, CQWF_StdFile::kModeWrite, true)) {
        SetError(QWF_ERR_FILE_OPEN);
        return false;
    }
    if ((length && (!bytes || file.Write(bytes, length) != int64_t(length))) || !file.Commit()) {
        SetError(QWF_ERR_FILE_WRITE);
        return false;
    }
    return true;
}

bool CQWF_8BFPluginVirtual::OpenFile(const char* name)
{
    CQWF_String path;
    BuildPath(path, name, nullptr);
    return CQWF_StdFile::ShellOpen(path);
}

bool CQWF_8BFPluginVirtual::OpenURL(const char* text)
{
    return CQWF_StdFile::ShellOpen(CQWF_String(text ? text : ""));
}

void CQWF_8BFPluginVirtual::CheckWindowShadows(CQWF_App& app)
{
    CQWF_String path;
    BuildPath(path, "EnableWindowShadows.txt", nullptr);
    CQWF_StdFile file;
    app.m_shadow = file.Open(path, CQWF_StdFile::kModeRead) ? 1 : 0;
    file.Close();
}

bool CQWF_8BFPluginVirtual::OpenResourcePackage(CQWF_App& app, const char* name)
{
    app.SetInstance(reinterpret_cast<intptr_t>(m_instance));
    if (!name) return app.LoadPackageFromResource(true);
    CQWF_String path;
    BuildPath(path, name, nullptr);
    return app.LoadPackageFromFile(path.GetBuffer(), true);
}

int32_t CQWF_8BFPluginVirtual::RunApp(CQWF_App& app)
{
    return app.RunModal(reinterpret_cast<intptr_t>(m_instance), m_hostWindow);
}

bool CQWF_8BFPluginVirtual::LoadPreferences(const char* name)
{
    ClearError();
    const char* folder = m_dataFolder.GetLength() ? m_dataFolder.GetBuffer() : nullptr;
    CQWF_String path;
    BuildPath(path, name, folder);
    if (m_settingsOpen) m_settings.Close();
    m_settingsOpen = 0;
    // The data folder's files (the settings, the last layout) may have new files beside them
    // that a writer stopped mid-write left; they go before anything is written there.
    if (m_dataFolder.GetLength()) qwp::RemoveStaleReplacements(m_dataFolder.GetBuffer());
    // The store is written where it stands: a link at its name is first replaced by a file of
    // its own holding what the link names (nothing, when it names no file it can read). When
    // that cannot be done, the store only serves the run as it reads.
    if (qwp::IsSymbolicLink(path.GetBuffer())) {
        CQWF_Mem copy;
        if (!ReadWholeFile(copy, name, folder)) copy.Free();
        if (!WriteWholeFile(copy.GetData(), copy.GetSize(), name, folder)) {
            if (!m_settings.OpenFile(path, CQWF_Storage::kModeRead)) {
                SetError(QWF_ERR_FILE_WRITE);
                return false;
            }
            m_settingsOpen = 1;
            return true;
        }
    }
    if (m_settings.OpenFile(path, CQWF_Storage::kModeReadWrite)) {
        m_settingsOpen = 1;
        return true;
    }
    // A store the user may only read is no damage: it serves the run as it is.
    if (m_settings.GetError() != QWF_ERR_MEMORY && qwp::FileExists(path.GetBuffer()) &&
        m_settings.OpenFile(path, CQWF_Storage::kModeRead)) {
        m_settingsOpen = 1;
        return true;
    }
    // A store that does not open is kept aside, never overwritten, before an empty one takes
    // its name; without memory to open it nothing is touched.
    if (m_settings.GetError() == QWF_ERR_MEMORY || (qwp::PathExists(path.GetBuffer()) && !KeepAside(path)) ||
        !m_settings.OpenFile(path, CQWF_Storage::kModeCreate)) {
        SetError(m_settings.GetError() ? m_settings.GetError() : int16_t(QWF_ERR_FILE_OPEN));
        return false;
    }
    m_settingsOpen = 1;
    return true;
}

bool CQWF_8BFPluginVirtual::KeepAside(const CQWF_String& path)
{
    // "plugin.conf.damaged", or with a number when that name is taken: an earlier one stays.
    CQWF_String aside;
    for (int n = 1; n <= kKeptAsideNames; ++n) {
        if (!(n == 1 ? aside.Format("%s%s", path.GetBuffer(), kKeptAsideSuffix)
                     : aside.Format("%s%s-%d", path.GetBuffer(), kKeptAsideSuffix, n)))
            return false;
        if (qwp::PathExists(aside.GetBuffer())) continue;
        return qwp::RenamePath(path.GetBuffer(), aside.GetBuffer());
    }
    return false;
}
