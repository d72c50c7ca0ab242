#include "installer/uninstall/uninstall_plan.h"

#include <initializer_list>
#include <string>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_file.h"
#include "installer/setup/qw_installhelpers.h"
#include "platform/qw_paths.h"
#include "platform/qw_process.h"
#include "platform/qw_registry.h"

namespace qwuninstall {

const char* const kQuestionFormat = "Do you want to uninstall\n%s?";
const char* const kNoRecordText = "Cannot open uninstall script...";
const char* const kWindowTitle = "Quarrow. Setup 2.5 (Uninstall)";
const char* const kBatchName = "QWRemover.bat";

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

bool IsDriveRoot(const CQWF_String& text)
{
    const char* p = text.GetBuffer();
    return text.GetLength() >= 3 && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')) &&
           p[1] == ':' && p[2] == '\\';
}

bool SameFolder(const CQWF_String& a, const CQWF_String& b)
{
    return a.GetLength() > 0 && qwinstall::WithBackslash(a).CompareNoCase(qwinstall::WithBackslash(b)) == 0;
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

bool CUninstaller::OpenRecord(const CQWF_String& programFile)
{
    m_destination = "";
    m_dataFolder = "";
    CQWF_String folder;
    if (m_record.OpenFile("Uninstall.conf", CQWF_Storage::kModeRead)) {
        folder = qwp::CurrentFolder().c_str();
    } else {
        int64_t back = programFile.FindChar('\\', 0, false);
        if (back < 0) return false;
        folder = programFile.Left(programFile.GetLength() - static_cast<size_t>(back));
        if (!m_record.OpenFile(folder + "Uninstall.conf", CQWF_Storage::kModeRead)) return false;
    }
    CQWF_String recorded;
    m_destination = folder;
    if (m_record.GetString("Destination", recorded) && qwinstall::IsPlainAbsolutePath(recorded))
        m_destination = qwinstall::WithBackslash(recorded);
    recorded = "";
    if (m_record.GetString("DataFolder", recorded) && qwinstall::IsPlainAbsolutePath(recorded))
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
    return qwinstall::IsPlainAbsolutePath(path) &&
           (qwinstall::IsInsideFolder(path, m_destination) || qwinstall::IsInsideFolder(path, m_dataFolder));
}

bool CUninstaller::MayRemoveFolder(const CQWF_String& folder) const
{
    if (!qwinstall::IsPlainAbsolutePath(folder)) return false;
    // The two folders, what lies inside them, and the folders the setup created on the way to them.
    for (const CQWF_String* recorded : {&m_destination, &m_dataFolder}) {
        if (recorded->GetLength() == 0) continue;
        if (SameFolder(folder, *recorded) || qwinstall::IsInsideFolder(folder, *recorded) ||
            qwinstall::IsInsideFolder(*recorded, folder))
            return true;
    }
    return false;
}

void CUninstaller::RemoveShortcuts()
{
    CQWF_String group;
    if (!m_record.GetString("ShortcutGroup", group) || !IsPlainName(group)) return;
    CQWF_String programs;
    if (!CQWShortcut().GetProgramsFolder(programs)) return;
    CQWF_String groupFolder = qwinstall::WithBackslash(programs) + group + "\\";
    uint32_t count = 0;
    m_record.GetDWord("ShortcutCount", count);
    for (uint32_t i = 0; i < count; ++i) {
        CQWF_String key, link;
        key.Format("Shortcut_%u", i);
        if (!m_record.GetString(key, link) || !qwinstall::IsInsideFolder(link, groupFolder)) continue;
        CQWF_String name = link.Mid(groupFolder.GetLength(), link.GetLength());
        if (!IsPlainName(name)) continue;  // only links straight in the group folder
        qwp::RemoveFile(link.GetBuffer());
    }
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
    // Only the entry that names this uninstall program: a later installation of the same product
    // elsewhere keeps its entry.
    CQWF_String command;
    if (!RegReadString(key + "\\UninstallString", kRegLocalMachine, command) ||
        command.CompareNoCase(m_destination + "QWUninstall.exe") != 0)
        return false;
    return DeleteRegistryKeyTree(kRegLocalMachine, key);
}

void CUninstaller::BuildBatch(CQWF_String& text, CQWF_String& path)
{
    text = "";
    uint32_t total = 0;
    if (m_record.GetDWord("TotalFiles", total)) {
        for (uint32_t i = 0; i < total; ++i) {
            CQWF_String key, file;
            key.Format("File_%u", i);
            if (!m_record.GetString(key, file) || !MayDelete(file)) continue;
            CQWF_String quoted = BatchPath(file);
            CQWF_String line;
            if (file.GetLength() >= 15 && IsUninstallerFile(file.Right(15).GetBuffer()) == 0)
                line.Format(":Repeat\r\ndel \"%s\"\r\nif exist \"%s\" goto Repeat\r\n", quoted.GetBuffer(),
                            quoted.GetBuffer());
            else
                line.Format("del \"%s\"\r\n", quoted.GetBuffer());
            text += line;
        }
    }
    CQWF_String root;
    CQWF_String log;
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
            if (folder.GetLength() == 0) continue;
            if (root.GetLength() == 0 && IsDriveRoot(folder)) root = folder.Left(3);
            if (!MayRemoveFolder(folder)) continue;
            CQWF_String line;
            line.Format("rmdir \"%s\"\r\n", BatchPath(folder).GetBuffer());
            text += line;
        }
    }
    // Without a created folder the batch lies at the root of the destination's drive, where the
    // program can write; "C:\" as the last resort.
    if (root.GetLength() == 0) root = IsDriveRoot(m_destination) ? m_destination.Left(3) : CQWF_String("C:\\");
    path = root + kBatchName;
    text += "del \"";
    text += BatchPath(path);
    text += "\"\r\n";
}

bool CUninstaller::WriteAndStartBatch()
{
    CQWF_String text, path;
    BuildBatch(text, path);
    CQWF_StdFile file;
    if (!file.Open(path, CQWF_StdFile::kModeWrite)) return false;
    bool written = file.Write(text.GetBuffer(), text.GetLength()) == static_cast<int64_t>(text.GetLength());
    if (!file.Close() || !written) return false;
    qwp::ProcessRequest request;
    CQWF_String command = "\"" + path + "\"";
    request.commandLine = command.GetBuffer();
    request.currentFolder = "\\";
    request.lowPriority = true;
    return qwp::StartProcess(request);
}

void CUninstaller::Uninstall()
{
    if (!HasRecord()) return;
    RemoveShortcuts();
    RemoveRegistryEntry();
    WriteAndStartBatch();
}

}  // namespace qwuninstall
