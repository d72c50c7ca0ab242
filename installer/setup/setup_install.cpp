#include "installer/setup/setup_install.h"

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_file.h"
#include "installer/setup/qw_installhelpers.h"
#include "platform/qw_clock.h"
#include "platform/qw_paths.h"
#include "platform/qw_registry.h"
#include "platform/qw_shelllink.h"

#include <algorithm>

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
const char* const kEntryValueNames[] = {"DisplayName", "DisplayIcon", "UninstallString"};

// Each line of a folder log (its text up to the line feed).
template <typename Visit>
void ForEachLine(const CQWF_String& log, Visit visit)
{
    size_t start = 0;
    for (size_t i = 0; i < log.GetLength(); ++i) {
        if (log.GetBuffer()[i] != '\n') continue;
        visit(log.Mid(start, i - start));
        start = i + 1;
    }
}

bool LogHolds(const CQWF_String& log, const CQWF_String& folder)
{
    bool found = false;
    ForEachLine(log, [&](const CQWF_String& line) { found = found || qwinstall::IsSameFolder(line, folder); });
    return found;
}

bool Holds(const CQWF_StringArray& paths, const CQWF_String& path)
{
    for (size_t i = 0; i < paths.GetCount(); ++i)
        if (qwp::SamePathText(paths.GetStringPtr(i)->GetBuffer(), path.GetBuffer())) return true;
    return false;
}

// A plain file (not a link) whose path lies inside the folder with no link between.
bool IsPlainFileInside(const CQWF_String& path, const CQWF_String& folder)
{
    return qwinstall::IsPlainAbsolutePath(path) && qwinstall::IsInsideFolder(path, folder) &&
           !qwinstall::LinkBetween(folder, path);
}
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

CInstallation::Result CInstallation::MakeTree(const CQWF_String& folder, CQWF_String& normal, const CQWF_String* within,
                                              bool recordFirst)
{
    CQWWIN32FileSystem files;
    bool recorded = false;
    if (recordFirst && files.PlanFolderTree(folder, m_pending, nullptr, within) && m_pending.GetLength() > 0) {
        if (!KeepRecord()) {
            m_pending = "";
            return kAborted;
        }
        recorded = true;
    }
    m_pending = "";
    const bool made = files.CreateFolderTree(&m_log, folder, &normal, within);
    // What it made was named in the record already.
    if (recorded) m_recordedLog = m_log.GetLength();
    if (made) return kInstalled;
    ShowFormatted(kFolderErrorFormat, folder, CInstallerUI::kButtonsOK, CInstallerUI::kIconError);
    return kFolderError;
}

// 1 written; 0 the run ends (the user aborted, or a write failed and was reported).
int CInstallation::WriteEntry(const CQWF_Mem& data, const CQWF_String& path)
{
    auto file = std::make_unique<CQWF_StdFile>();
    while (!CReplacedFiles::Begin(*file, path, CQWF_StdFile::kModeWrite)) {
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
        int64_t wrote = file->Write(bytes, static_cast<size_t>(n));
        if (static_cast<uint64_t>(wrote) != n) {  // a failure (-1) or a part
            file->GiveUpReplacement();
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
    // Data still buffered is written when the file is stored: a failure there is a failed write
    // too. The file takes its place when all are written.
    if (!m_files.Stage(std::move(file), path)) {
        ShowFormatted(kWriteErrorFormat, path, CInstallerUI::kButtonsOK, CInstallerUI::kIconError);
        return 0;
    }
    return 1;
}

CQWF_String CInstallation::EntryKey() const { return CQWF_String(kUninstallKeyPrefix) + m_product; }

CQWF_String CInstallation::RecordLog() const
{
    CQWF_String log = m_earlier.log;
    for (const CQWF_String* made : {&m_log, &m_pending})
        ForEachLine(*made, [&](const CQWF_String& line) {
            if (!LogHolds(log, line)) log += line + "\n";
        });
    return log;
}

void CInstallation::ReadEarlierRecord()
{
    const CQWF_String path = m_destination + "Uninstall.conf";
    // Only the destination's own record, as a file: a link names some other folder's.
    if (!qwp::FileExists(path.GetBuffer()) || qwp::IsSymbolicLink(path.GetBuffer())) return;
    CQWF_Storage record;
    CQWF_String text;
    if (!record.OpenFile(path, CQWF_Storage::kModeRead) || !record.GetString("Destination", text) ||
        !qwinstall::IsSameFolder(text, m_destination))
        return;
    // Its folders that still stand, where this run's installation could have made them (the menu
    // folder among them where it is, or would be made).
    CQWF_String programs, missing;
    CQWShortcut().PlanProgramsFolder(programs, missing);
    if (record.GetString("PathLog", text)) {
        ForEachLine(text, [&](const CQWF_String& line) {
            const CQWF_String folder = qwinstall::WithBackslash(line);
            if (!qwp::FolderExists(folder.GetBuffer()) || qwp::IsSymbolicLink(folder.GetBuffer())) return;
            if ((qwinstall::IsFolderOfBase(folder, m_destination, true) || qwinstall::IsHostFolderOf(folder, m_destination) ||
                 qwinstall::IsFolderOfBase(folder, m_userFolder, true) ||
                 qwinstall::IsFolderOfBase(folder, programs, false)) &&
                !LogHolds(m_earlier.log, folder))
                m_earlier.log += folder + "\n";
        });
    }
    uint32_t count = 0;
    if (record.GetDWord("TotalFiles", count)) {
        count = std::min(count, record.GetEntryCount());
        for (uint32_t i = 0; i < count; ++i) {
            CQWF_String key;
            key.Format("File_%u", i);
            if (record.GetString(key, text) && !Holds(m_earlier.files, text) &&
                (IsPlainFileInside(text, m_destination) || IsPlainFileInside(text, m_userFolder)))
                m_earlier.files.Add(text);
        }
    }
    // Its group and links, when they are this run's group.
    const CQWF_String& group = m_choice.GetShortcutGroupName();
    const CQWF_String groupFolder = qwinstall::WithBackslash(programs) + group + "\\";
    if (programs.GetLength() > 0 && IsPlainName(group) && record.GetString("ShortcutGroup", text) && text == group.GetBuffer() &&
        qwp::FolderExists(groupFolder.GetBuffer()) && !qwp::IsSymbolicLink(groupFolder.GetBuffer())) {
        uint8_t created = 0;
        m_earlier.groupCreated = record.GetByte("ShortcutGroupCreated", created) && created == 1;
        if (record.GetDWord("ShortcutCount", count)) {
            count = std::min(count, record.GetEntryCount());
            for (uint32_t i = 0; i < count; ++i) {
                CQWF_String key;
                key.Format("Shortcut_%u", i);
                if (record.GetString(key, text) && IsPlainFileInside(text, groupFolder) &&
                    IsPlainName(text.Mid(groupFolder.GetLength(), text.GetLength())) &&
                    qwp::FileExists(text.GetBuffer()) && !qwp::IsSymbolicLink(text.GetBuffer()) &&
                    !Holds(m_earlier.links, text))
                    m_earlier.links.Add(text);
            }
        }
    }
    if (record.GetString("UninstallKeyCreated", text) && IsKeyOnTheWay(text, EntryKey())) m_earlier.createdKey = text;
}

bool CInstallation::FillUninstallRecord(CQWF_Storage& conf, bool final)
{
    bool ok = conf.SetString("Product", m_product) && conf.SetString("PathLog", RecordLog());
    // The files: this run's entries; while it runs, also the earlier record's other files (which
    // stand until the run ends).
    const CQWF_StringArray& paths = m_list.GetInstalledPaths();
    uint32_t n = 0;
    CQWF_String key;
    for (size_t i = 0; ok && i < paths.GetCount(); ++i) {
        key.Format("File_%u", n++);
        ok = conf.SetString(key, *paths.GetStringPtr(i));
    }
    for (size_t i = 0; ok && !final && i < m_earlier.files.GetCount(); ++i) {
        const CQWF_String& file = *m_earlier.files.GetStringPtr(i);
        if (Holds(paths, file) || file == (m_destination + "Uninstall.conf").GetBuffer() || file == (m_destination + "SPath.conf").GetBuffer())
            continue;
        key.Format("File_%u", n++);
        ok = conf.SetString(key, file);
    }
    key.Format("File_%u", n);
    ok = ok && conf.SetString(key, m_destination + "Uninstall.conf");
    key.Format("File_%u", n + 1);
    ok = ok && conf.SetString(key, m_destination + "SPath.conf");
    ok = ok && conf.SetDWord("TotalFiles", n + 2);
    // The links this run made and those of the earlier run that stand in the same group.
    CQWF_StringArray links;
    for (size_t i = 0; i < m_links.GetCount(); ++i) links.Add(*m_links.GetStringPtr(i));
    for (size_t i = 0; i < m_earlier.links.GetCount(); ++i)
        if (!Holds(links, *m_earlier.links.GetStringPtr(i))) links.Add(*m_earlier.links.GetStringPtr(i));
    const bool groupCreated = m_groupCreated || m_groupPending || m_earlier.groupCreated;
    const bool group = links.GetCount() > 0 || groupCreated;
    if (ok && group) ok = conf.SetString("ShortcutGroup", m_choice.GetShortcutGroupName());
    // What the uninstall needs to delete only what this setup made.
    ok = ok && conf.SetString("Destination", m_destination) && conf.SetString("DataFolder", m_userFolder);
    ok = ok && conf.SetDWord("ShortcutCount", static_cast<uint32_t>(links.GetCount()));
    for (uint32_t i = 0; ok && i < links.GetCount(); ++i) {
        key.Format("Shortcut_%u", i);
        ok = conf.SetString(key, *links.GetStringPtr(i));
    }
    if (ok && group) ok = conf.SetByte("ShortcutGroupCreated", groupCreated ? 1 : 0);
    // Both are on the way to the entry: the higher one (an uninstall that was stopped may have
    // taken the keys below it).
    const CQWF_String& created =
        m_createdKey.GetLength() > 0 && (m_earlier.createdKey.GetLength() == 0 || m_createdKey.GetLength() < m_earlier.createdKey.GetLength())
            ? m_createdKey
            : m_earlier.createdKey;
    if (ok && created.GetLength() > 0) ok = conf.SetString("UninstallKeyCreated", created);
    return ok;
}

bool CInstallation::WriteStorageFile(const CQWF_String& path, bool uninstallRecord, bool final)
{
    CQWF_StdFile file;
    if (!CReplacedFiles::Begin(file, path, CQWF_StdFile::kModeCreateReadWrite)) return false;
    bool ok = false;
    {
        CQWF_Storage conf;
        ok = conf.OpenStdFile(&file, CQWF_Storage::kModeCreate);
        ok = ok && (uninstallRecord ? FillUninstallRecord(conf, final) : conf.SetString("SPath", m_userFolder));
        ok = conf.Close() && ok;
    }
    if (!ok) {
        file.GiveUpReplacement();
        return false;
    }
    return m_files.Place(file, path);
}

bool CInstallation::KeepRecord()
{
    const bool pending = m_log.GetLength() > m_recordedLog || m_pending.GetLength() > 0 ||
                         m_list.GetInstalledPaths().GetCount() > m_recordedFiles || m_linkPending ||
                         ((m_groupCreated || m_groupPending) && !m_recordedGroup) ||
                         (m_createdKey.GetLength() > 0 && !m_recordedKey);
    if (!pending) return true;
    const CQWF_String path = m_destination + "Uninstall.conf";
    if (!WriteStorageFile(path, true, false)) {
        ShowFormatted(kWriteErrorFormat, path, CInstallerUI::kButtonsOK, CInstallerUI::kIconError);
        return false;
    }
    m_recordedLog = m_log.GetLength();
    m_recordedFiles = m_list.GetInstalledPaths().GetCount();
    m_linkPending = false;
    m_recordedGroup = m_groupCreated || m_groupPending;
    m_recordedKey = m_createdKey.GetLength() > 0;
    return true;
}

bool CInstallation::WritePackageFiles()
{
    // The record last: it stands for the whole installation.
    for (const char* name : {"SPath.conf", "Uninstall.conf"}) {
        CQWF_String path = m_destination + name;
        if (!WriteStorageFile(path, name[0] == 'U', true)) {
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
    m_logKept = 0;
    m_links.RemoveAll();
    m_groupFolder = "";
    m_entryKey = "";
    m_createdKey = "";
    m_groupCreated = false;
    m_groupPending = false;
    m_pending = "";
    m_shortcutMade = false;
    m_registered = false;
    m_recordedLog = 0;
    m_recordedFiles = 0;
    m_linkPending = false;
    m_recordedGroup = false;
    m_recordedKey = false;
    m_earlier.log = "";
    m_earlier.files.RemoveAll();
    m_earlier.links.RemoveAll();
    m_earlier.groupCreated = false;
    m_earlier.createdKey = "";
    m_written = 0;
    m_destination = "";
    m_userFolder = "";
    m_product = "product";
    m_package.GetString("Product>FullProductName", m_product);
    Result result = Run(destinationText, addIcons);
    if (result == kInstalled) m_files.Finish();
    else Undo();
    return result;
}

CInstallation::Result CInstallation::Run(const CQWF_String& destinationText, bool addIcons)
{
    CQWF_StringArray& installed = m_list.GetInstalledPaths();
    CQWF_String destination = qwinstall::WithBackslash(destinationText.Left(999));
    // The destination holds the record: its own folders are named once they stand. Every other
    // folder, the group and the registry keys are named before they are made, so that a run
    // stopped anywhere leaves a record of all it made (but for the moment between the
    // destination and its first record).
    Result made = MakeTree(destination, m_destination, nullptr, false);
    if (made != kInstalled) return made;
    // The folders made for it before the run come first, parents before their children.
    CQWF_String before;
    ForEachLine(m_madeBefore, [&](const CQWF_String& line) {
        const CQWF_String folder = qwinstall::WithBackslash(line);
        if (qwinstall::IsHostFolderOf(folder, m_destination) && qwp::FolderExists(folder.GetBuffer()) && !LogHolds(m_log, folder))
            before += folder + "\n";
    });
    m_log = before + m_log;
    m_logKept = before.GetLength();
    CQWF_String user = CDestinationChoice::ComposePath(m_choice.GetUserDataFolderPath(), m_choice.GetAdditionalFolder());
    CQWF_String missing;
    CQWWIN32FileSystem().PlanFolderTree(user, missing, &m_userFolder);
    ReadEarlierRecord();
    if ((made = MakeTree(user, m_userFolder, nullptr, true)) != kInstalled) return made;
    if (!KeepRecord()) return kAborted;

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
        if (folder.GetLength() > 0 &&
            (made = MakeTree(qwinstall::WithBackslash(qwinstall::WithBackslash(base) + folder), target, &base, true)) != kInstalled)
            return made;
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
    // Every file is written: they take their places together, once the record names them all.
    if (!KeepRecord()) return kAborted;
    CQWF_String failed;
    if (!m_files.PlaceStaged(failed)) {
        ShowFormatted(kWriteErrorFormat, failed, CInstallerUI::kButtonsOK, CInstallerUI::kIconError);
        return kAborted;
    }

    if (addIcons && !MakeShortcuts(targets)) return kAborted;
    m_ui.SetProgress(99);

    if (uninstallerWritten) {
        // The keys about to be made are in the record first.
        m_createdKey = FirstMissingKey(EntryKey());
        if (!KeepRecord()) return kAborted;
        if (!Register()) {
            ShowFormatted(kRegistryErrorFormat, EntryKey(), CInstallerUI::kButtonsOK, CInstallerUI::kIconError);
            return kAborted;
        }
    }
    if (!WritePackageFiles()) return kAborted;
    m_ui.SetProgress(100);
    return kInstalled;
}

// Links that cannot be made are passed over; a record that cannot be kept ends the run.
bool CInstallation::MakeShortcuts(const CQWF_StringArray& targets)
{
    const CQWF_StringArray& installed = m_list.GetInstalledPaths();
    CQWShortcut shortcut;
    for (uint32_t i = 0; i < m_list.GetEntryCount(); ++i) {
        if (!m_list.GetIconFlags().GetAt(i)) continue;
        // The menu folders and the group about to be made are named in the record first.
        CQWF_String programs;
        if (shortcut.PlanProgramsFolder(programs, m_pending)) {
            const CQWF_String group = qwinstall::WithBackslash(programs) + m_choice.GetShortcutGroupName();
            m_groupPending = IsPlainName(m_choice.GetShortcutGroupName()) && !qwp::FolderExists(group.GetBuffer());
        }
        const bool recorded = m_pending.GetLength() > 0 || m_groupPending;
        if (recorded && !KeepRecord()) return false;
        m_pending = "";
        CQWF_String link, folder;
        bool created = false;
        bool prepared = shortcut.PrepareLink(m_choice.GetShortcutGroupName(), *m_list.GetIconNames().GetStringPtr(i),
                                             link, &folder, &created, &m_log);
        m_groupPending = false;
        if (recorded) m_recordedLog = m_log.GetLength();
        if (created) {
            m_groupCreated = true;
            m_groupFolder = folder;
        }
        // The link too is named in the record before it is placed.
        const bool added = prepared && !Holds(m_links, link);
        if (added) {
            m_links.Add(link);
            m_linkPending = true;
        }
        if (!KeepRecord()) return false;
        if (!prepared) continue;
        qwp::ShellLink target;
        target.target = installed.GetStringPtr(i)->GetBuffer();
        target.workingFolder = targets.GetStringPtr(i)->GetBuffer();
        const std::string text = qwp::ShellLinkText(link.GetBuffer(), target);
        if (!text.empty() && m_files.PlaceBytes(link, text.data(), text.size())) m_shortcutMade = true;
        else if (added) m_links.RemoveAt(m_links.GetCount() - 1);
    }
    return true;
}

// The uninstall entry, remembering which keys it made, or else the values it replaced.
bool CInstallation::Register()
{
    const CQWF_String key = EntryKey();
    if (m_createdKey.GetLength() > 0) {
        m_entryKey = key;
    } else {
        for (int i = 0; i < kEntryValues; ++i)
            m_hadValue[i] = qwp::RegGetValue(qwp::RegRoot::LocalMachine, key.GetBuffer(), kEntryValueNames[i], m_oldValue[i]);
    }
    m_registered = true;
    const CQWF_String texts[kEntryValues] = {m_product + " (Remove Only)", m_destination + "QWUninstall.exe,0",
                                             m_destination + "QWUninstall.exe"};
    for (int i = 0; i < kEntryValues; ++i)
        if (!RegWriteString(key + "\\" + kEntryValueNames[i], texts[i])) return false;
    return true;
}

void CInstallation::RestoreRegistry()
{
    if (m_entryKey.GetLength() > 0) {
        qwp::RegDeleteKey(qwp::RegRoot::LocalMachine, m_entryKey.GetBuffer());
        RemoveEmptyKeys(m_entryKey, m_createdKey);
        return;
    }
    if (!m_registered) return;
    const CQWF_String key = EntryKey();
    for (int i = 0; i < kEntryValues; ++i) {
        if (m_hadValue[i])
            qwp::RegSetValue(qwp::RegRoot::LocalMachine, key.GetBuffer(), kEntryValueNames[i], m_oldValue[i].type,
                             m_oldValue[i].data.data(), m_oldValue[i].data.size());
        else
            qwp::RegDeleteValue(qwp::RegRoot::LocalMachine, key.GetBuffer(), kEntryValueNames[i]);
    }
}

void CInstallation::Undo()
{
    // The files first (links, the record and SPath.conf among them), so that the folders the run
    // made are empty again.
    m_files.RollBack();
    if (m_groupFolder.GetLength() > 0) qwp::RemoveFolder(m_groupFolder.GetBuffer());
    RestoreRegistry();
    // The folders the run made, children before their parents; those that hold something the run
    // did not write stay.
    size_t end = m_log.GetLength();
    while (end > m_logKept) {
        size_t start = end - 1;
        while (start > 0 && m_log.GetBuffer()[start - 1] != '\n') --start;
        CQWF_String folder = m_log.Mid(start, end - 1 - start);
        if (qwp::FolderExists(folder.GetBuffer())) qwp::RemoveFolder(folder.GetBuffer());
        end = start;
    }
}

}  // namespace qwsetup
