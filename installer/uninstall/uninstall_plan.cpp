#include "installer/uninstall/uninstall_plan.h"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_file.h"
#include "installer/setup/qw_installhelpers.h"
#include "installer/setup/setup_destination.h"
#include "installer/setup/setup_install.h"
#include "platform/qw_paths.h"
#include "platform/qw_process.h"
#include "platform/qw_registry.h"
#include "platform/qw_shelllink.h"
#include "platform/qw_userfolders.h"

namespace qwuninstall {

const char* const kQuestionFormat = "Do you want to uninstall\n%s?";
const char* const kNoRecordText = "Cannot open uninstall script...";
const char* const kWindowTitle = "Quarrow. Setup 2.5 (Uninstall)";
const char* const kBatchName = "QWRemover.bat";
const char* const kStartErrorFormat = "Error!\n\nError starting \"%s\"";

namespace {
const char* const kUninstallKeyPrefix = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr size_t kMaxKeyPath = 199;

// A path as the batch file quotes it: "%" is written "%%".
CQWF_String BatchPath(const CQWF_String& path)
{
    CQWF_String out;
    for (size_t i = 0; i < path.GetLength(); ++i) {
        char c = path.GetBuffer()[i];
        if (c == '%') out += '%';
        out += c;
    }
    return out;
}

CQWF_String Formatted(const char* format, const CQWF_String& path)
{
    CQWF_String text;
    text.Format(format, path.GetBuffer());
    return text;
}
}  // namespace

int IsUninstallerFile(const char* lastFifteen)
{
    return CQWF_String(lastFifteen).CompareNoCase("QWUninstall.exe");
}

bool DeleteRegistryKeyTree(int root, const CQWF_String& key)
{
    if (key.GetLength() == 0 || root < 1 || root > 3) return key.GetLength() == 0;
    qwp::RegRoot r = static_cast<qwp::RegRoot>(root);
    if (!qwp::RegKeyExists(r, key.GetBuffer())) return true;
    std::string previous;
    std::string sub;
    while (qwp::RegEnumKey(r, key.GetBuffer(), 0, sub)) {
        // A sub-key that will not go ends the walk (it would be found first again and again).
        if (sub == previous) return false;
        if (!DeleteRegistryKeyTree(root, key + "\\" + sub.c_str())) return false;
        previous = sub;
    }
    return qwp::RegDeleteKey(r, key.GetBuffer());
}

void CUninstaller::SetProductNames(const CQWF_String& dataFolder, const CQWF_String& shortcutGroup)
{
    m_dataFolderName = IsPlainName(dataFolder) ? dataFolder : CQWF_String();
    m_groupName = IsPlainName(shortcutGroup) ? shortcutGroup : CQWF_String();
}

void CUninstaller::ReadProductNames(CQWF_Storage& package)
{
    CQWF_String dataFolder, group;
    package.GetString("Product>DefaultAdditionalFolder", dataFolder);
    package.GetString("Product>DefaultShortcutGroupName", group);
    SetProductNames(dataFolder, group);
}

bool CUninstaller::OpenRecord(const CQWF_String& programFile)
{
    m_record.Close();
    m_destination = "";
    m_dataFolder = "";
    int64_t back = programFile.FindChar('\\', 0, false);
    if (back < 0) return false;
    CQWF_String programFolder = programFile.Left(programFile.GetLength() - static_cast<size_t>(back));
    // Only the record beside the program, of the program's own installation: one in the current
    // folder may be any other's.
    return TakeRecord(programFolder + "Uninstall.conf", programFolder);
}

bool CUninstaller::TakeRecord(const CQWF_String& file, const CQWF_String& programFolder)
{
    if (!m_record.OpenFile(file, CQWF_Storage::kModeRead)) return false;
    CQWF_String recorded;
    m_destination = programFolder;
    if (m_record.GetString("Destination", recorded)) {
        if (!qwinstall::IsPlainAbsolutePath(recorded) ||
            !qwp::IsSameFile(recorded.GetBuffer(), programFolder.GetBuffer())) {
            m_record.Close();
            m_destination = "";
            return false;
        }
        m_destination = qwinstall::WithBackslash(recorded);
    }
    // The data folder is trusted as the product's own in the user's application data (as the
    // setup composes it), or inside the installation.
    recorded = "";
    const CQWF_String appData = qwp::SpecialFolderPath(qwp::SpecialFolder::AppData).c_str();
    const CQWF_String own = appData.GetLength() > 0 && m_dataFolderName.GetLength() > 0
                                ? qwsetup::CDestinationChoice::ComposePath(appData, m_dataFolderName)
                                : CQWF_String();
    if (m_record.GetString("DataFolder", recorded) && qwinstall::IsPlainAbsolutePath(recorded) &&
        (qwinstall::IsSameFolder(recorded, own) || qwinstall::IsSameFolder(recorded, m_destination) ||
         qwinstall::IsInsideFolder(recorded, m_destination)))
        m_dataFolder = qwinstall::WithBackslash(recorded);
    return true;
}

CQWF_String CUninstaller::GetInfoText()
{
    if (!HasRecord()) return kNoRecordText;
    CQWF_String product = "program";
    m_record.GetString("Product", product);
    CQWF_String text;
    text.Format(kQuestionFormat, product.GetBuffer());
    return text;
}

bool CUninstaller::MayDelete(const CQWF_String& path) const
{
    if (!qwinstall::IsPlainAbsolutePath(path)) return false;
    for (const CQWF_String* recorded : {&m_destination, &m_dataFolder})
        if (qwinstall::IsInsideFolder(path, *recorded)) return !qwinstall::LinkBetween(*recorded, path);
    return false;
}

bool CUninstaller::MayRemoveFolder(const CQWF_String& folder) const
{
    if (!qwinstall::IsPlainAbsolutePath(folder)) return false;
    // The two folders, what lies inside them, and the folders the setup created on the way to
    // them (on the host too: the system drive's folders); the menu folder the setup made for the
    // shortcuts, and the folders on its way (also when an uninstall that was stopped took it).
    CQWF_String programs, missing;
    CQWShortcut().PlanProgramsFolder(programs, missing);
    return qwinstall::IsFolderOfBase(folder, m_destination, true) || qwinstall::IsFolderOfBase(folder, m_dataFolder, true) ||
           qwinstall::IsFolderOfBase(folder, programs, false) || qwinstall::IsHostFolderOf(folder, m_destination);
}

uint32_t CUninstaller::KeyBound(const char* countKey)
{
    uint32_t count = 0;
    if (!m_record.GetDWord(countKey, count)) return 0;
    return std::min(count, m_record.GetEntryCount());
}

bool CUninstaller::IsInstallationLink(const CQWF_String& link) const
{
    qwp::ShellLink read;
    if (qwp::IsSymbolicLink(link.GetBuffer()) || !qwp::ReadShellLink(link.GetBuffer(), read)) return false;
    return MayDelete(read.target.c_str());
}

void CUninstaller::RemoveShortcuts()
{
    // Only the product's own group: a record naming another group deletes nothing of it.
    CQWF_String group;
    if (m_groupName.GetLength() == 0 || !m_record.GetString("ShortcutGroup", group) ||
        group.Compare(m_groupName.GetBuffer()) != 0)
        return;
    CQWF_String programs;
    if (!CQWShortcut().GetProgramsFolder(programs)) return;
    CQWF_String groupFolder = qwinstall::WithBackslash(programs) + group + "\\";
    const uint32_t count = KeyBound("ShortcutCount");
    for (uint32_t i = 0; i < count; ++i) {
        CQWF_String key, link;
        key.Format("Shortcut_%u", i);
        if (!m_record.GetString(key, link) || !qwinstall::IsInsideFolder(link, groupFolder)) continue;
        CQWF_String name = link.Mid(groupFolder.GetLength(), link.GetLength());
        // Only links straight in the group folder, to the installation's files (and what a
        // stopped setup kept of them).
        if (!IsPlainName(name)) continue;
        const CQWF_String aside = qwsetup::CReplacedFiles::AsideName(link);
        if (qwp::PathExists(aside.GetBuffer()) || qwp::IsSymbolicLink(aside.GetBuffer())) qwp::RemoveFile(aside.GetBuffer());
        if (IsInstallationLink(link)) qwp::RemoveFile(link.GetBuffer());
    }
    qwp::RemoveStaleReplacements(groupFolder.GetBuffer());
    // The group folder goes only when the setup made it, and only when it is empty: a group that
    // holds another product's shortcuts stays.
    uint8_t created = 0;
    if (m_record.GetByte("ShortcutGroupCreated", created) && created == 1)
        qwp::RemoveFolder(groupFolder.GetBuffer());
}

bool CUninstaller::RemoveRegistryEntry()
{
    CQWF_String product;
    if (!m_record.GetString("Product", product) || !IsPlainName(product)) return false;
    CQWF_String key = (CQWF_String(kUninstallKeyPrefix) + product).Left(kMaxKeyPath);
    CQWF_String created;
    const bool madeKeys = m_record.GetString("UninstallKeyCreated", created);
    // Only the entry that names this uninstall program: a later installation of the same product
    // elsewhere keeps its entry. An entry without the name (begun by a setup that was stopped), or
    // none (an uninstall that was stopped took it), is this one's when the setup made its key: the
    // keys the setup made on the way to it still go.
    CQWF_String command;
    if (RegReadString(key + "\\UninstallString", kRegLocalMachine, command)
            ? !qwp::SamePathText(command.GetBuffer(), (m_destination + "QWUninstall.exe").GetBuffer())
            : !(madeKeys && IsKeyOnTheWay(created, key)))
        return false;
    if (!DeleteRegistryKeyTree(kRegLocalMachine, key)) return false;
    // The keys the setup made on the way to the entry go too, when nothing else came into them.
    if (madeKeys) RemoveEmptyKeys(key, created);
    return true;
}

void CUninstaller::BuildBatch(CQWF_String& text, CQWF_String& path)
{
    // The batch lies in the program's own folder, which the user who installed can write. While
    // the uninstall program and the record stand, the uninstall can run again, and while the
    // record stands a setup hands what it names on to its own record: so they go last, after
    // every other file and every folder that does not hold them, then the batch itself (it has
    // been read whole by then), the record, and the folders that held them.
    path = m_destination + kBatchName;
    const CQWF_String record = m_destination + "Uninstall.conf";
    CQWF_String files, programs, last, line;
    const uint32_t total = KeyBound("TotalFiles");
    for (uint32_t i = 0; i < total; ++i) {
        CQWF_String key, file;
        key.Format("File_%u", i);
        if (!m_record.GetString(key, file) || !MayDelete(file)) continue;
        const CQWF_String quoted = BatchPath(file);
        if (IsUninstallerFile(file.Right(15).GetBuffer()) == 0) {  // the record's names are whole paths
            line.Format(":Repeat\r\ndel \"%s\"\r\nif exist \"%s\" goto Repeat\r\n", quoted.GetBuffer(),
                        quoted.GetBuffer());
            programs += line;
            continue;
        }
        line.Format("del \"%s\"\r\n", quoted.GetBuffer());
        if (qwp::SamePathText(file.GetBuffer(), record.GetBuffer())) last += line;
        else files += line;
    }
    last = "del \"" + BatchPath(path) + "\"\r\n" + last;
    CQWF_String log, inner, outer;
    if (m_record.GetString("PathLog", log)) {
        // Lines ended by a line feed lose the character before it (the trailing backslash); the
        // text after the last line feed is one more line.
        CQWF_StringArray lines;
        size_t start = 0;
        for (size_t i = 0; i <= log.GetLength(); ++i) {
            if (i < log.GetLength() && log.GetBuffer()[i] != '\n') continue;
            size_t end = i < log.GetLength() && i > start ? i - 1 : i;
            lines.Add(log.Mid(start, end - start));
            start = i + 1;
        }
        for (size_t k = lines.GetCount(); k-- > 0;) {
            const CQWF_String& folder = *lines.GetStringPtr(k);
            // Judged as logged: a drive's root ("C:\\") is "C:" without its backslash.
            const CQWF_String logged = qwinstall::WithBackslash(folder);
            if (folder.GetLength() == 0 || !MayRemoveFolder(logged)) continue;
            line.Format("rmdir \"%s\"\r\n", BatchPath(folder).GetBuffer());
            (qwinstall::IsHostFolderOf(logged, m_destination) ? outer : inner) += line;
        }
    }
    text = files + inner + programs + last + outer;
}

void CUninstaller::RemoveLeftovers()
{
    // A setup or an uninstall that was stopped may have left, beside the recorded files, new
    // files not yet in their places and earlier files under their hidden names.
    CQWF_StringArray folders;
    const uint32_t total = KeyBound("TotalFiles");
    for (uint32_t i = 0; i < total; ++i) {
        CQWF_String key, file;
        key.Format("File_%u", i);
        if (!m_record.GetString(key, file) || !MayDelete(file)) continue;
        const CQWF_String aside = qwsetup::CReplacedFiles::AsideName(file);
        if (qwp::PathExists(aside.GetBuffer()) || qwp::IsSymbolicLink(aside.GetBuffer())) qwp::RemoveFile(aside.GetBuffer());
        const CQWF_String folder = file.Left(file.GetLength() - static_cast<size_t>(file.FindChar('\\', 0, false)));
        bool seen = false;
        for (size_t k = 0; k < folders.GetCount() && !seen; ++k) seen = *folders.GetStringPtr(k) == folder.GetBuffer();
        if (!seen) {
            folders.Add(folder);
            qwp::RemoveStaleReplacements(folder.GetBuffer());
        }
    }
}

bool CUninstaller::Uninstall(CQWF_String* failure)
{
    if (failure) *failure = "";
    if (!HasRecord()) return false;
    // The batch file first: when it cannot be written, nothing is removed and the uninstall can
    // run again.
    CQWF_String text, path;
    BuildBatch(text, path);
    // In place of what stands there, a link too (never through it); a batch not written whole
    // leaves nothing.
    CQWF_StdFile file;
    bool written = file.OpenReplacement(path, CQWF_StdFile::kModeWrite, true);
    written = written && file.Write(text.GetBuffer(), text.GetLength()) == static_cast<int64_t>(text.GetLength());
    if (!written) file.GiveUpReplacement();
    written = file.Commit() && written;
    if (!written) {
        if (failure) *failure = Formatted(qwsetup::kWriteErrorFormat, path);
        return false;
    }
    RemoveLeftovers();
    RemoveShortcuts();
    RemoveRegistryEntry();
    qwp::ProcessRequest request;
    CQWF_String command = "\"" + path + "\"";
    request.commandLine = command.GetBuffer();
    request.currentFolder = "\\";
    request.lowPriority = true;
    if (!qwp::StartProcess(request)) {
        qwp::RemoveFile(path.GetBuffer());
        if (failure) *failure = Formatted(kStartErrorFormat, path);
        return false;
    }
    return true;
}

}  // namespace qwuninstall
