// qwsetuppack: makes the package that the setup (or uninstall) program carries, from a readable
// manifest.
//
//   qwsetuppack MANIFEST OUTPUT [-D NAME=VALUE]...
//
// Manifest lines (blank lines and lines starting with "#" are skipped; values in double quotes;
// "${NAME}" is replaced by a -D value; relative file paths are taken from the manifest's folder):
//   skin "FILE"                            start from this package (the window's skin, made by
//                                          the skin compiler); without it the package starts empty
//   text NAME "VALUE"                      the string "Product>NAME"
//   text NAME file "FILE"                  the same with the contents of a text file, its lines
//                                          ending in CR LF as the system's texts do (the setup
//                                          window counts a blank line only in that form)
//   deploy "NAME" "FOLDER" "SHORTCUT"      one deploy entry, in list order, with no data (for
//                                          names marked "{u}", which are only recorded)
//   deploy "NAME" "FOLDER" "SHORTCUT" from "FILE"    one deploy entry with the file's data
// Deploy entries are checked as the setup program checks them at start-up.
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_storage.h"
#include "installer/setup/qw_installhelpers.h"
#include "installer/setup/setup_package.h"
#include "platform/qw_hostfile.h"
#include "platform/qw_paths.h"

namespace fs = std::filesystem;

namespace {

struct Deploy {
    std::string name, folder, icon, from;
};

struct Manifest {
    std::string skin;
    std::vector<std::pair<std::string, std::string>> texts;
    std::vector<Deploy> deploy;
};

bool ReadFile(const std::string& path, std::string& out)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return !f.bad();
}

class Parser {
public:
    Parser(std::string file, std::map<std::string, std::string> vars) : m_file(std::move(file)), m_vars(std::move(vars))
    {
        m_folder = fs::path(m_file).parent_path();
    }

    bool Parse(Manifest& m)
    {
        std::string text;
        if (!ReadFile(m_file, text)) return Error("cannot read the manifest");
        for (const std::string& line : qwp::SplitLines(text)) {
            ++m_line;
            std::vector<std::string> t;
            std::vector<bool> quoted;
            if (!Tokens(line, t, quoted)) return false;
            if (t.empty()) continue;
            if (t[0] == "skin" && t.size() == 2 && quoted[1]) {
                m.skin = Path(t[1]);
            } else if (t[0] == "text" && t.size() == 3 && !quoted[1] && quoted[2]) {
                m.texts.emplace_back(t[1], t[2]);
            } else if (t[0] == "text" && t.size() == 4 && !quoted[1] && t[2] == "file" && quoted[3]) {
                std::string contents;
                if (!ReadFile(Path(t[3]), contents)) return Error("cannot read " + Path(t[3]));
                std::string crlf;
                for (size_t i = 0; i < contents.size(); ++i) {
                    if (contents[i] == '\n' && (i == 0 || contents[i - 1] != '\r')) crlf += '\r';
                    crlf += contents[i];
                }
                m.texts.emplace_back(t[1], crlf);
            } else if (t[0] == "deploy" && (t.size() == 4 || (t.size() == 6 && t[4] == "from" && quoted[5])) &&
                       quoted[1] && quoted[2] && quoted[3]) {
                m.deploy.push_back(Deploy{t[1], t[2], t[3], t.size() == 6 ? Path(t[5]) : std::string()});
            } else {
                return Error("not understood: " + line);
            }
        }
        return true;
    }

    bool Error(const std::string& why)
    {
        std::fprintf(stderr, "%s:%d: %s\n", m_file.c_str(), m_line, why.c_str());
        return false;
    }

private:
    std::string Path(const std::string& p) const
    {
        fs::path path(p);
        return path.is_absolute() ? p : (m_folder / path).string();
    }

    bool Expand(std::string& s)
    {
        for (size_t at = s.find("${"); at != std::string::npos; at = s.find("${", at)) {
            size_t end = s.find('}', at);
            if (end == std::string::npos) return Error("unclosed ${");
            std::string name = s.substr(at + 2, end - at - 2);
            auto it = m_vars.find(name);
            if (it == m_vars.end()) return Error("no value for ${" + name + "} (-D " + name + "=...)");
            s.replace(at, end - at + 1, it->second);
            at += it->second.size();
        }
        return true;
    }

    bool Tokens(const std::string& line, std::vector<std::string>& t, std::vector<bool>& quoted)
    {
        size_t i = 0;
        while (i < line.size()) {
            char c = line[i];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++i;
            } else if (c == '#' && t.empty()) {
                break;
            } else if (c == '"') {
                size_t end = line.find('"', i + 1);
                if (end == std::string::npos) return Error("unclosed quote");
                std::string s = line.substr(i + 1, end - i - 1);
                if (!Expand(s)) return false;
                t.push_back(s);
                quoted.push_back(true);
                i = end + 1;
            } else {
                size_t end = line.find_first_of(" \t\r\"", i);
                if (end == std::string::npos) end = line.size();
                t.push_back(line.substr(i, end - i));
                quoted.push_back(false);
                i = end;
            }
        }
        return true;
    }

    std::string m_file;
    fs::path m_folder;
    std::map<std::string, std::string> m_vars;
    int m_line = 0;
};

// The compressed block of the data; the block processor refuses empty input, so an empty entry
// gets its block (the header and an empty zlib stream) here.
bool Pack(const std::string& data, CQWF_Mem& packed)
{
    if (!data.empty()) {
        CQWF_ZipBlock zip;
        zip.SetMode(1);
        zip.SetInput(data.data(), data.size());
        zip.SetOutputMem(&packed);
        return zip.Process();
    }
    uint8_t stream[64];
    uLongf length = sizeof stream;
    if (compress2(stream, &length, reinterpret_cast<const Bytef*>(""), 0, 9) != Z_OK) return false;
    if (!packed.Alloc(CQWF_ZipBlock::kHeaderSize + length)) return false;
    uint8_t* p = packed.GetData();
    std::memcpy(p, "QWCV2-01", 8);
    for (int i = 0; i < 4; ++i) {
        p[8 + i] = 0;
        p[12 + i] = static_cast<uint8_t>(length >> (8 * (3 - i)));
    }
    std::memcpy(p + CQWF_ZipBlock::kHeaderSize, stream, length);
    return true;
}

bool Fail(const std::string& why)
{
    std::fprintf(stderr, "qwsetuppack: %s\n", why.c_str());
    return false;
}

bool Build(const Manifest& m, const std::string& output)
{
    // Check everything before writing anything.
    for (const auto& [name, value] : m.texts) {
        if (name.empty() || name.find('>') != std::string::npos) return Fail("bad text name " + name);
        CQWF_String why;
        if ((name == "FullProductName" || name == "DefaultShortcutGroupName") && !IsPlainName(value.c_str(), &why))
            return Fail(name + ": " + why.GetBuffer());
    }
    std::vector<std::string> data(m.deploy.size());
    for (size_t i = 0; i < m.deploy.size(); ++i) {
        const Deploy& d = m.deploy[i];
        CQWF_String why;
        if (!qwsetup::CheckDeployName(d.name.c_str(), &why) || !qwsetup::CheckDeployFolder(d.folder.c_str(), &why) ||
            !qwsetup::CheckShortcutName(d.icon.c_str(), &why))
            return Fail("deploy entry " + std::to_string(i + 1) + ": " + why.GetBuffer());
        if (!d.from.empty() && !ReadFile(d.from, data[i])) return Fail("cannot read " + d.from);
        if (data[i].size() > 0xFFFFFFFFu) return Fail(d.from + " is 4 GB or larger");
    }

    std::string temp = output + ".part";
    std::error_code ec;
    if (!m.skin.empty()) {
        fs::copy_file(m.skin, temp, fs::copy_options::overwrite_existing, ec);
        if (ec) return Fail("cannot copy the skin " + m.skin + ": " + ec.message());
    }
    std::string win = qwp::ToWindowsPath(fs::absolute(temp).string().c_str());
    CQWF_Storage package;
    bool ok = package.OpenFile(win.c_str(), m.skin.empty() ? CQWF_Storage::kModeCreate : CQWF_Storage::kModeReadWrite);
    if (!ok) return Fail("cannot open " + temp + " as a package");
    package.CreateFolder("Product");
    package.CreateFolder("Product>Deploy");
    for (const auto& [name, value] : m.texts) ok = ok && package.SetString(("Product>" + name).c_str(), value.c_str());
    ok = ok && package.SetDWord("Product>Deploy>TotalFiles", static_cast<uint32_t>(m.deploy.size()));
    for (size_t i = 0; ok && i < m.deploy.size(); ++i) {
        const Deploy& d = m.deploy[i];
        char key[64];
        CQWF_Mem packed;
        ok = ok && Pack(data[i], packed);
        unsigned n = static_cast<unsigned>(i + 1);
        std::snprintf(key, sizeof key, "Product>Deploy>size_%02u", n);
        ok = ok && package.SetDWord(key, static_cast<uint32_t>(data[i].size()));
        std::snprintf(key, sizeof key, "Product>Deploy>file_%02u", n);
        ok = ok && package.SetBinary(key, packed.GetData(), packed.GetSize());
        std::snprintf(key, sizeof key, "Product>Deploy>name_%02u", n);
        ok = ok && package.SetString(key, d.name.c_str());
        std::snprintf(key, sizeof key, "Product>Deploy>folder_%02u", n);
        ok = ok && package.SetString(key, d.folder.c_str());
        std::snprintf(key, sizeof key, "Product>Deploy>icon_%02u", n);
        ok = ok && package.SetString(key, d.icon.c_str());
    }
    ok = package.Close() && ok;
    if (!ok) {
        fs::remove(temp, ec);
        return Fail("cannot write " + output);
    }
    fs::rename(temp, output, ec);
    if (ec) return Fail("cannot write " + output + ": " + ec.message());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs("usage: qwsetuppack MANIFEST OUTPUT [-D NAME=VALUE]...\n", stderr);
        return 2;
    }
    std::map<std::string, std::string> vars;
    for (int i = 3; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-D" && i + 1 < argc) a = argv[++i];
        else if (a.compare(0, 2, "-D") == 0) a = a.substr(2);
        else {
            std::fprintf(stderr, "qwsetuppack: unknown argument %s\n", argv[i]);
            return 2;
        }
        size_t eq = a.find('=');
        if (eq == std::string::npos || eq == 0) {
            std::fprintf(stderr, "qwsetuppack: bad definition %s\n", a.c_str());
            return 2;
        }
        vars[a.substr(0, eq)] = a.substr(eq + 1);
    }
    Manifest manifest;
    Parser parser(argv[1], vars);
    if (!parser.Parse(manifest)) return 1;
    return Build(manifest, argv[2]) ? 0 : 1;
}
