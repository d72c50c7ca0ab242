#include "installer/setup/setup_install.h"

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_file.h"
#include "installer/setup/qw_installhelpers.h"
#include "platform/qw_clock.h"
#include "platform/qw_paths.h"
#include "platform/qw_registry.h"

#include <initializer_list>

namespace qwsetup {

const char* const kErrorCaption = "Error!";
const char* const kFolderErrorFormat = "Error!\n\nError creating folder \"%s\"";
const char* const kInternalErrorText = "Internal Error. Please, report to Quarrow.";
const char* const kInternalErrorCaption = "Internal Error";
const char* const kCannotCreateFormat = "Error!\n\nFile \"%s\" cannot be created.";
const char* const kWriteErrorFormat = "Error!\n\nError writing to file \"%s\"";
const char* const kRegistryErrorFormat = "Error!\n\nError writing registry key \"%s\"";
const char* const kUninstallKeyPrefix = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

namespace {
constexpr uint64_t kMaxChunk = 5000000;
constexpr uint32_t kChunkFloorMs = 50;
}  // namespace

uint64_t CInstallation::ChunkSize(uint64_t total)
{
    uint64_t chunk = total / 25 + 1;
    return chunk > kMaxChunk ? kMaxChunk : chunk;
}

void CInstallation::ShowFormatted(const char* format, const CQWF_String& path, CInstallerUI::Buttons buttons,
                                  CInstallerUI::Icon icon, int* answer)
{
    CQWF_String text;
    text.Format(format, path.GetBuffer());
    int pressed = m_ui.MessageBox(text.GetBuffer(), kErrorCaption, buttons, icon);
    if (answer) *answer = pressed;
}

bool CInstallation::CreateTree(const CQWF_String& folder, CQWF_String& normal)
{
    if (CQWWIN32FileSystem().CreateFolderTree(&m_log, folder, &normal)) return true;
    ShowFormatted(kFolderErrorFormat, folder, CInstallerUI::kButtonsOK, CInstallerUI::kIconError);
    return false;
}

// 1 written; 0 the run ends (the user aborted, or a write failed and was reported).
int CInstallation::WriteEntry(const CQWF_Mem& data, const CQWF_String& path)
{
    m_opened.Add(path);
    CQWF_StdFile file;
    while (!file.Open(path, CQWF_StdFile::kModeWrite)) {
        int answer = 0;
        ShowFormatted(kCannotCreateFormat, path, CInstallerUI::kButtonsAbortRetryIgnore, CInstallerUI::kIconWarning,
                      &answer);
        if (answer == CInstallerUI::kAnswerRetry) continue;
        if (answer == CInstallerUI::kAnswerIgnore) break;  // the first write then fails
        return 0;
    }
    const uint8_t* bytes = data.GetData();
    uint64_t left = data.GetSize();
    uint64_t total = m_list.GetTotalSize();
    do {
        uint32_t started = qwp::TickCount();
        uint64_t n = left < m_chunk ? left : m_chunk;
        int64_t wrote = file.Write(bytes, static_cast<size_t>(n));
        if (wrote < 0 || static_cast<uint64_t>(wrote) != n) {
            file.Close();
            ShowFormatted(kWriteErrorFormat, path, CInstallerUI::kButtonsOK, CInstallerUI::kIconError);
            return 0;
        }
        bytes += n;
        left -= n;
        m_written += n;
        // An empty package is written at once: its progress is the end of the writing.
        m_ui.SetProgress(total ? static_cast<double>(m_written) * 98.0 / static_cast<double>(total) : 98.0);
        qwp::SleepMs(1);
        for (;;) {
            uint32_t now = qwp::TickCount();
            if (now == started || now - started >= kChunkFloorMs) break;
            qwp::SleepMs(1);
        }
    } while (left > 0);
    // Data still buffered is written by the close: a failure there is a failed write too.
    if (!file.Close()) {
        ShowFormatted(kWriteErrorFormat, path, CInstallerUI::kButtonsOK, CInstallerUI::kIconError);
        return 0;
    }
    return 1;
}

bool CInstallation::WriteSPathConf(const CQWF_String& path)
{
    CQWF_Storage conf;
    bool ok = conf.OpenFile(path, CQWF_Storage::kModeCreate) && conf.SetString("SPath", m_userFolder);
    return conf.Close() && ok;
}

bool CInstallation::WriteUninstallConf(const CQWF_String& path)
{
    CQWF_Storage conf;
    bool ok = conf.OpenFile(path, CQWF_Storage::kModeCreate);
    ok = ok && conf.SetString("Product", m_product) && conf.SetString("PathLog", m_log);
    const CQWF_StringArray& paths = m_list.GetInstalledPaths();
    uint32_t n = static_cast<uint32_t>(paths.GetCount());
    CQWF_String key;
    for (uint32_t i = 0; ok && i < n; ++i) {
        key.Format("File_%u", i);
        ok = conf.SetString(key, *paths.GetStringPtr(i));
    }
    key.Format("File_%u", n);
    ok = ok && conf.SetString(key, m_destination + "Uninstall.conf");
    key.Format("File_%u", n + 1);
    ok = ok && conf.SetString(key, m_destination + "SPath.conf");
    ok = ok && conf.SetDWord("TotalFiles", n + 2);
    if (ok && m_shortcutMade) ok = conf.SetString("ShortcutGroup", m_choice.GetShortcutGroupName());
    // What the uninstall needs to delete only what this setup made.
    ok = ok && conf.SetString("Destination", m_destination) && conf.SetString("DataFolder", m_userFolder);
    ok = ok && conf.SetDWord("ShortcutCount", static_cast<uint32_t>(m_links.GetCount()));
    for (uint32_t i = 0; ok && i < m_links.GetCount(); ++i) {
        key.Format("Shortcut_%u", i);
        ok = conf.SetString(key, *m_links.GetStringPtr(i));
    }
    if (ok && m_shortcutMade) ok = conf.SetByte("ShortcutGroupCreated", m_groupCreated ? 1 : 0);
    if (ok && m_createdKey.GetLength() > 0) ok = conf.SetString("UninstallKeyCreated", m_createdKey);
    return conf.Close() && ok;
}

bool CInstallation::WritePackageFiles()
{
    for (const char* name : {"SPath.conf", "Uninstall.conf"}) {
        CQWF_String path = m_destination + name;
        m_opened.Add(path);
        bool ok = name[0] == 'S' ? WriteSPathConf(path) : WriteUninstallConf(path);
        if (!ok) {
            ShowFormatted(kWriteErrorFormat, path, CInstallerUI::kButtonsOK, CInstallerUI::kIconError);
            return false;
        }
    }
    return true;
}

CInstallation::Result CInstallation::Install(const CQWF_String& destinationText, bool addIcons)
{
    ClearError();
    m_chunk = ChunkSize(m_list.GetTotalSize());
    m_list.GetInstalledPaths().RemoveAll();
    m_log = "";
    m_links.RemoveAll();
    m_opened.RemoveAll();
    m_groupFolder = "";
    m_entryKey = "";
    m_createdKey = "";
    m_groupCreated = false;
    m_shortcutMade = false;
    m_written = 0;
    m_destination = "";
    m_userFolder = "";
    m_product = "product";
    m_package.GetString("Product>FullProductName", m_product);
    Result result = Run(destinationText, addIcons);
    if (result != kInstalled) Undo();
    return result;
}

CInstallation::Result CInstallation::Run(const CQWF_String& destinationText, bool addIcons)
{
    CQWF_StringArray& installed = m_list.GetInstalledPaths();
    CQWF_String destination = qwinstall::WithBackslash(destinationText.Left(999));
    if (!CreateTree(destination, m_destination)) return kFolderError;
    CQWF_String user = CDestinationChoice::ComposePath(m_choice.GetUserDataFolderPath(), m_choice.GetAdditionalFolder());
    if (!CreateTree(user, m_userFolder)) return kFolderError;

    CQWF_StringArray targets;
    bool uninstallerWritten = false;
    for (uint32_t i = 0; i < m_list.GetEntryCount(); ++i) {
        CQWF_Mem packed, data;
        CQWF_ZipBlock zip;
        zip.SetMode(0);
        bool unpacked = m_package.GetBinary(*m_list.GetDataKeys().GetStringPtr(i), packed);
        if (unpacked) {
            zip.SetInputMem(packed);
            zip.SetOutputMem(&data);
            unpacked = zip.Process();
        }
        if (!unpacked) {
            m_ui.MessageBox(kInternalErrorText, kInternalErrorCaption, CInstallerUI::kButtonsOK, CInstallerUI::kIconError);
            return kAborted;
        }
        CQWF_String folder = *m_list.GetFolders().GetStringPtr(i);
        CQWF_String base = m_destination;
        if (HasPrefix(folder, "{a}")) {
            base = m_userFolder;
            folder = WithoutPrefix(folder, "{a}");
        }
        CQWF_String target = base;
        if (folder.GetLength() > 0) {
            CQWF_String sub = qwinstall::WithBackslash(qwinstall::WithBackslash(base) + folder);
            if (!CreateTree(sub, target)) return kFolderError;
        }
        targets.Add(target);
        CQWF_String name = *m_list.GetNames().GetStringPtr(i);
        bool recordOnly = HasPrefix(name, "{u}");
        name = WithoutPrefix(name, "{u}");
        CQWF_String path = target + name;
        installed.Add(path, i + 1);
        if (recordOnly) continue;
        if (name.CompareNoCase("QWUninstall.exe") == 0) uninstallerWritten = true;
        if (!WriteEntry(data, path)) return kAborted;
    }

    if (addIcons) {
        CQWShortcut shortcut;
        for (uint32_t i = 0; i < m_list.GetEntryCount(); ++i) {
            if (!m_list.GetIconFlags().GetAt(i)) continue;
            CQWF_String link;
            bool created = false;
            if (shortcut.Create(*installed.GetStringPtr(i), m_choice.GetShortcutGroupName(),
                                *m_list.GetIconNames().GetStringPtr(i), *targets.GetStringPtr(i), &link, &created,
                                &m_log)) {
                m_shortcutMade = true;
                m_links.Add(link);
                if (created) {
                    m_groupCreated = true;
                    m_groupFolder = link.Left(link.GetLength() - 1 - static_cast<size_t>(link.FindChar('\\', 0, false)));
                }
            }
        }
    }
    m_ui.SetProgress(99);

    if (uninstallerWritten && !Register()) {
        ShowFormatted(kRegistryErrorFormat, CQWF_String(kUninstallKeyPrefix) + m_product, CInstallerUI::kButtonsOK,
                      CInstallerUI::kIconError);
        return kAborted;
    }
    if (!WritePackageFiles()) return kAborted;
    m_ui.SetProgress(100);
    return kInstalled;
}

// The uninstall entry, remembering which keys it made.
bool CInstallation::Register()
{
    CQWF_String key = CQWF_String(kUninstallKeyPrefix) + m_product;
    m_createdKey = FirstMissingKey(key);
    if (m_createdKey.GetLength() > 0) m_entryKey = key;
    CQWF_String display = m_product + " (Remove Only)";
    CQWF_String icon = m_destination + "QWUninstall.exe,0";
    CQWF_String command = m_destination + "QWUninstall.exe";
    return RegWriteString(key + "\\DisplayName", display) && RegWriteString(key + "\\DisplayIcon", icon) &&
           RegWriteString(key + "\\UninstallString", command);
}

void CInstallation::Undo()
{
    for (size_t i = m_links.GetCount(); i-- > 0;) qwp::RemoveFile(m_links.GetStringPtr(i)->GetBuffer());
    if (m_groupFolder.GetLength() > 0) qwp::RemoveFolder(m_groupFolder.GetBuffer());
    if (m_entryKey.GetLength() > 0) {
        qwp::RegDeleteKey(qwp::RegRoot::LocalMachine, m_entryKey.GetBuffer());
        RemoveEmptyKeys(m_entryKey, m_createdKey);
    }
    for (size_t i = m_opened.GetCount(); i-- > 0;) {
        const char* path = m_opened.GetStringPtr(i)->GetBuffer();
        if (qwp::PathExists(path) || qwp::IsSymbolicLink(path)) qwp::RemoveFile(path);
    }
    // The folders the run made, children before their parents; those that hold something the run
    // did not write stay.
    size_t end = m_log.GetLength();
    while (end > 0) {
        size_t start = end - 1;
        while (start > 0 && m_log.GetBuffer()[start - 1] != '\n') --start;
        CQWF_String folder = m_log.Mid(start, end - 1 - start);
        if (qwp::FolderExists(folder.GetBuffer())) qwp::RemoveFolder(folder.GetBuffer());
        end = start;
    }
}

}  // namespace qwsetup
