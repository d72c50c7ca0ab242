#include "framework/core/qwf_storage.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_file.h"
#include "platform/qw_paths.h"
#include "support/test_support.h"

namespace {

std::string Win(const std::string& hostPath) { return qwp::ToWindowsPath(hostPath.c_str()); }

std::string BE32(uint32_t v)
{
    std::string s;
    for (int sh = 24; sh >= 0; sh -= 8) s += static_cast<char>((v >> sh) & 0xFF);
    return s;
}

std::string BE16(uint16_t v)
{
    return std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)};
}

// Builds package bytes entry by entry, for packages no writer of ours would produce.
class PackageBuilder {
public:
    // The entry's offset in the package.
    size_t Entry(uint8_t kind, uint32_t parent, uint32_t id, const std::string& name,
                 const std::string& value)
    {
        size_t at = 32 + m_body.size();
        std::string rest;
        rest += static_cast<char>(kind);
        rest += BE32(parent) + BE32(id) + BE16(static_cast<uint16_t>(name.size())) + name + value;
        m_body += BE32(static_cast<uint32_t>(rest.size())) + rest;
        ++m_count;
        return at;
    }
    size_t Folder(uint32_t parent, uint32_t id, const std::string& name)
    {
        return Entry(0, parent, id, name, "");
    }
    size_t Text(uint32_t parent, uint32_t id, const std::string& name, const std::string& text)
    {
        return Entry(4, parent, id, name, BE32(static_cast<uint32_t>(text.size() + 1)) + text +
                                              std::string(1, '\0'));
    }
    void Raw(const std::string& bytes) { m_body += bytes; }
    std::string Build(int64_t count = -1, char variant = '0', const std::string& tail = "") const
    {
        std::string head = "QWCPSv4";
        head += variant;
        head += std::string(16, '\0');
        head += BE32(count < 0 ? m_count : static_cast<uint32_t>(count)) + BE32(m_count);
        return head + m_body + tail + "QWCPSv40";
    }

private:
    std::string m_body;
    uint32_t m_count = 0;
};

const uint32_t kTop = 0xFFFFFFFFu;

class StorageFile : public ::testing::Test {
protected:
    std::string Path(const std::string& name = "p.qws4") const { return m_dir.File(name); }
    std::string WinPath(const std::string& name = "p.qws4") const { return Win(Path(name)); }
    // A package file holding the text "keep"; its size.
    size_t WriteKeepPackage()
    {
        CQWF_Storage s;
        EXPECT_TRUE(s.OpenFile(WinPath().c_str(), CQWF_Storage::kModeCreate));
        EXPECT_TRUE(s.SetString("keep", "kept value"));
        EXPECT_TRUE(s.Close());
        return qwtest::FileBytes(Path()).size();
    }

    qwtest::TempDir m_dir;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Format

TEST_F(StorageFile, NewPackageIsFortyBytesAndVerifiesAfterClose)
{
    CQWF_Storage s;
    ASSERT_TRUE(s.OpenFile(WinPath().c_str(), CQWF_Storage::kModeCreate)) << s.GetError();
    EXPECT_EQ(s.GetEntryCount(), 0u);
    ASSERT_TRUE(s.Close());
    std::string bytes = qwtest::FileBytes(Path());
    ASSERT_EQ(bytes.size(), 40u);
    EXPECT_EQ(bytes.substr(0, 8), "QWCPSv40");
    EXPECT_EQ(bytes.substr(24, 8), std::string(8, '\0'));
    EXPECT_EQ(bytes.substr(32), "QWCPSv40");
    // The digest of the last 16 bytes.
    CQWF_MD5Block md5;
    md5.Update(bytes.data() + 24, 16);
    uint8_t digest[16];
    md5.Final(digest);
    EXPECT_EQ(bytes.substr(8, 16), std::string(reinterpret_cast<char*>(digest), 16));
    EXPECT_TRUE(s.VerifyFile(WinPath().c_str()));
    ASSERT_TRUE(s.OpenFile(WinPath().c_str(), CQWF_Storage::kModeRead));
    EXPECT_TRUE(s.IsReadOnly());
    // Closing an unchanged package leaves it byte for byte.
    ASSERT_TRUE(s.Close());
    EXPECT_EQ(qwtest::FileBytes(Path()), bytes);
}

TEST_F(StorageFile, EntriesHaveTheDocumentedLayout)
{
    CQWF_Storage s;
    ASSERT_TRUE(s.OpenFile(WinPath().c_str(), CQWF_Storage::kModeCreate));
    ASSERT_TRUE(s.CreateFolder("F"));
    ASSERT_TRUE(s.SetString("F>t", "abc"));
    ASSERT_TRUE(s.SetDouble("d", 1.0));
    ASSERT_TRUE(s.SetWord("w", 0x1234));
    ASSERT_TRUE(s.Close());
    std::string b = qwtest::FileBytes(Path());
    std::string expect;
    expect += BE32(12) + '\0' + BE32(kTop) + BE32(1) + BE16(1) + "F";
    expect += BE32(12 + 4 + 4) + '\x04' + BE32(1) + BE32(2) + BE16(1) + "t" + BE32(4) + "abc" + '\0';
    expect += BE32(20) + '\x06' + BE32(kTop) + BE32(3) + BE16(1) + "d" +
              std::string("\x3F\xF0\0\0\0\0\0\0", 8);
    expect += BE32(14) + '\x02' + BE32(kTop) + BE32(4) + BE16(1) + "w" + "\x12\x34";
    ASSERT_EQ(b.size(), 32 + expect.size() + 8);
    EXPECT_EQ(b.substr(24, 8), BE32(4) + BE32(4));
    EXPECT_EQ(b.substr(32, expect.size()), expect);
    EXPECT_EQ(b.substr(b.size() - 8), "QWCPSv40");
}

// ---------------------------------------------------------------------------------------------
// Reading and writing

// Writing, reading, rewriting and deleting against a plain map are in storage_model_test.cpp;
// these are the keys that map never produces.
TEST_F(StorageFile, KeysWithAnEmptyPartAreRefusedAndCaseCounts)
{
    CQWF_Storage s;
    ASSERT_TRUE(s.OpenFile(WinPath().c_str(), CQWF_Storage::kModeCreate));
    // Keys with an empty part cannot be written (they could never be found again).
    for (const char* bad : {"", ">A", "A>", "A>>B", ">"}) {
        EXPECT_FALSE(s.SetByte(bad, 1)) << bad;
        EXPECT_EQ(s.GetError(), QWF_ERR_ARGUMENT) << bad;
    }
    // No key, a kind beyond 6, or no value for a length or a fixed-width kind.
    const uint8_t one = 1;
    EXPECT_FALSE(s.SetValue(nullptr, 1, &one, 1) || s.SetValue("k", 7, &one, 1) || s.SetValue("k", 5, nullptr, 1) ||
                 s.SetValue("k", 1, nullptr, 0));
    EXPECT_EQ(s.GetError(), QWF_ERR_ARGUMENT);
    ASSERT_TRUE(s.CreateFolder("Preferences"));
    ASSERT_TRUE(s.CreateFolder("preferences"));
    ASSERT_TRUE(s.SetByte("Preferences>X", 1));
    ASSERT_TRUE(s.SetByte("preferences>X", 2));
    uint8_t v = 0;
    ASSERT_TRUE(s.GetByte("Preferences>X", v));
    EXPECT_EQ(v, 1);
    ASSERT_TRUE(s.GetByte("preferences>X", v));
    EXPECT_EQ(v, 2);
    EXPECT_EQ(s.GetKind("PREFERENCES>X"), CQWF_Storage::kKindMissing);
}

TEST_F(StorageFile, OpeningFilesThatAreNoPackages)
{
    // A package that is not open writes nothing and finds no key.
    CQWF_Storage s;
    EXPECT_FALSE(s.SetByte("k", 1));
    EXPECT_EQ(s.GetError(), QWF_ERR_ARGUMENT);
    EXPECT_EQ(s.GetKind("k"), CQWF_Storage::kKindMissing);
    // An empty file cannot be opened read-only (it would need the empty package written).
    ASSERT_TRUE(qwtest::WriteWholeFile(Path("empty"), ""));
    EXPECT_FALSE(s.OpenFile(WinPath("empty").c_str(), CQWF_Storage::kModeRead));
    EXPECT_EQ(s.GetError(), QWF_ERR_ARGUMENT);
    // ... but read-write it becomes the empty package.
    ASSERT_TRUE(s.OpenFile(WinPath("empty").c_str(), CQWF_Storage::kModeReadWrite));
    ASSERT_TRUE(s.Close());
    EXPECT_EQ(qwtest::FileBytes(Path("empty")).size(), 40u);

    ASSERT_TRUE(qwtest::WriteWholeFile(Path("junk"), std::string(100, 'j')));
    EXPECT_FALSE(s.OpenFile(WinPath("junk").c_str(), CQWF_Storage::kModeReadWrite));
    EXPECT_EQ(s.GetError(), QWF_ERR_STORAGE_HEADER);
    EXPECT_FALSE(s.IsOpen());
    EXPECT_EQ(qwtest::FileBytes(Path("junk")), std::string(100, 'j'));  // not touched
    EXPECT_FALSE(s.OpenFile(WinPath("missing").c_str(), CQWF_Storage::kModeRead));
    EXPECT_EQ(s.GetError(), QWF_ERR_FILE_OPEN);
    for (const char* none : {"", static_cast<const char*>(nullptr)}) {
        EXPECT_FALSE(s.OpenFile(none, CQWF_Storage::kModeReadWrite));
        EXPECT_EQ(s.GetError(), QWF_ERR_ARGUMENT);
    }
    // A device that takes no bytes: the empty package cannot be written.
    EXPECT_FALSE(s.OpenFile("Z:\\dev\\full", CQWF_Storage::kModeReadWrite));
    EXPECT_FALSE(s.IsOpen());
}

TEST_F(StorageFile, TamperedPackagesFailVerification)
{
    {
        CQWF_Storage s;
        ASSERT_TRUE(s.OpenFile(WinPath().c_str(), CQWF_Storage::kModeCreate));
        ASSERT_TRUE(s.SetString("s", "some text"));
    }
    std::string bytes = qwtest::FileBytes(Path());
    CQWF_Storage s;
    EXPECT_TRUE(s.VerifyChecksum(bytes.data(), bytes.size()));
    bytes[50] ^= 1;
    EXPECT_FALSE(s.VerifyChecksum(bytes.data(), bytes.size()));
    EXPECT_EQ(s.GetError(), QWF_ERR_STORAGE_DIGEST);
    ASSERT_TRUE(qwtest::WriteWholeFile(Path(), bytes));
    EXPECT_FALSE(s.VerifyFile(WinPath().c_str()));
    EXPECT_EQ(s.GetError(), QWF_ERR_STORAGE_DIGEST);
    EXPECT_FALSE(s.VerifyChecksum(bytes.data(), 24));
    EXPECT_EQ(s.GetError(), QWF_ERR_STORAGE_HEADER);
    ASSERT_TRUE(qwtest::WriteWholeFile(Path(), bytes.substr(0, 24)));
    EXPECT_FALSE(s.VerifyFile(WinPath().c_str()));
    EXPECT_EQ(s.GetError(), QWF_ERR_STORAGE_HEADER);
}

TEST_F(StorageFile, CallerSuppliedFile)
{
    CQWF_StdFile file;
    ASSERT_TRUE(file.Open(WinPath().c_str(), CQWF_StdFile::kModeCreateReadWrite));
    CQWF_Storage s;
    EXPECT_FALSE(s.OpenStdFile(nullptr, CQWF_Storage::kModeCreate));
    ASSERT_TRUE(s.OpenStdFile(&file, CQWF_Storage::kModeCreate));
    ASSERT_TRUE(s.SetString("Name", "shape"));
    ASSERT_TRUE(s.Close());
    EXPECT_FALSE(file.IsOpen());  // the stream is closed, the object stays the caller's
    EXPECT_TRUE(s.VerifyFile(WinPath().c_str()));

    // A caller's file that holds no package is refused and left open.
    ASSERT_TRUE(qwtest::WriteWholeFile(Path("junk"), std::string(64, 'j')));
    ASSERT_TRUE(file.Open(WinPath("junk").c_str(), CQWF_StdFile::kModeRead));
    EXPECT_FALSE(s.OpenStdFile(&file, CQWF_Storage::kModeRead));
    EXPECT_EQ(s.GetError(), QWF_ERR_STORAGE_HEADER);
    EXPECT_TRUE(file.IsOpen());
}

// ---------------------------------------------------------------------------------------------
// Opening untrusted bytes

TEST(StorageMemory, RefusesBrokenFrames)
{
    CQWF_Storage s;
    PackageBuilder pb;
    pb.Text(kTop, 1, "a", "x");
    std::string good = pb.Build();
    ASSERT_TRUE(s.OpenMemory(good.data(), good.size()));

    EXPECT_FALSE(s.OpenMemory(good.data(), 39));
    EXPECT_EQ(s.GetError(), QWF_ERR_STORAGE_HEADER);
    EXPECT_FALSE(s.IsOpen());
    std::string bad = good;
    bad[7] = 'S';  // the indexed variant is only read from files
    EXPECT_FALSE(s.OpenMemory(bad.data(), bad.size()));
    EXPECT_EQ(s.GetError(), QWF_ERR_STORAGE_HEADER);
    bad = good;
    bad[bad.size() - 1] = '1';
    EXPECT_FALSE(s.OpenMemory(bad.data(), bad.size()));
    EXPECT_EQ(s.GetError(), QWF_ERR_STORAGE_HEADER);

    // More entries claimed than there are bytes for.
    std::string many = pb.Build(2);
    EXPECT_FALSE(s.OpenMemory(many.data(), many.size()));
    many = pb.Build(0xFFFFFFFF);
    EXPECT_FALSE(s.OpenMemory(many.data(), many.size()));
    // An entry size that runs into the trailer or past the end.
    bad = good;
    bad[35] = static_cast<char>(bad[35] + 1);
    EXPECT_FALSE(s.OpenMemory(bad.data(), bad.size()));
    bad[32] = '\x7F';
    EXPECT_FALSE(s.OpenMemory(bad.data(), bad.size()));
    // A name longer than its entry.
    bad = good;
    bad[32 + 13] = '\x10';
    EXPECT_FALSE(s.OpenMemory(bad.data(), bad.size()));
    // A count of 0 reads none of the entries that are present.
    std::string none = pb.Build(0);
    ASSERT_TRUE(s.OpenMemory(none.data(), none.size()));
    EXPECT_EQ(s.GetKind("a"), CQWF_Storage::kKindMissing);
}

TEST(StorageMemory, RefusesMalformedValues)
{
    PackageBuilder pb;
    pb.Entry(4, kTop, 1, "zero", BE32(0));                  // text of length 0
    pb.Entry(4, kTop, 2, "open", BE32(3) + "abc");          // no final NUL
    pb.Entry(4, kTop, 3, "long", BE32(100) + "ab" + '\0');  // length past the entry
    pb.Entry(5, kTop, 4, "blob", BE32(1000) + "xy");
    pb.Entry(3, kTop, 5, "short", "\x01\x02");             // a 32-bit value of 2 bytes
    pb.Entry(5, kTop, 6, "nolen", "");
    pb.Text(kTop, 7, "fine", "ok");
    std::string bytes = pb.Build();
    CQWF_Storage s;
    ASSERT_TRUE(s.OpenMemory(bytes.data(), bytes.size()));
    CQWF_String str("keep");
    CQWF_Mem mem;
    uint32_t d = 3;
    for (const char* key : {"zero", "open", "long"}) {
        EXPECT_FALSE(s.GetString(key, str)) << key;
        EXPECT_NE(s.GetError(), 0) << key;
    }
    EXPECT_STREQ(str.GetBuffer(), "keep");
    EXPECT_FALSE(s.GetBinary("blob", mem));
    EXPECT_FALSE(s.GetBinary("nolen", mem));
    EXPECT_FALSE(s.GetDWord("short", d));
    EXPECT_EQ(d, 3u);
    EXPECT_TRUE(s.GetString("fine", str));
    EXPECT_STREQ(str.GetBuffer(), "ok");
}

TEST(StorageMemory, FolderCyclesAreRefused)
{
    {
        PackageBuilder pb;
        pb.Folder(5, 5, "self");  // its own parent
        std::string b = pb.Build();
        CQWF_Storage s;
        EXPECT_FALSE(s.OpenMemory(b.data(), b.size()));
        EXPECT_EQ(s.GetError(), QWF_ERR_STORAGE_HEADER);
    }
    {
        // 1 at the top holds 2, which claims to hold the folder with id 1 again.
        PackageBuilder pb;
        pb.Folder(kTop, 1, "A");
        pb.Folder(1, 2, "B");
        pb.Folder(2, 1, "C");
        std::string b = pb.Build();
        CQWF_Storage s;
        EXPECT_FALSE(s.OpenMemory(b.data(), b.size()));
        EXPECT_EQ(s.GetError(), QWF_ERR_STORAGE_HEADER);
    }
    {
        // A folder that claims the top level's id.
        PackageBuilder pb;
        pb.Folder(kTop, 1, "A");
        pb.Folder(1, kTop, "B");
        std::string b = pb.Build();
        CQWF_Storage s;
        EXPECT_FALSE(s.OpenMemory(b.data(), b.size()));
    }
    {
        // Two folders of one id, both still empty: the first entry written beneath one of them
        // would belong to both, and the package would no longer open.
        PackageBuilder pb;
        pb.Folder(kTop, 1, "A");
        pb.Folder(kTop, 1, "B");
        std::string b = pb.Build();
        CQWF_Storage s;
        EXPECT_FALSE(s.OpenMemory(b.data(), b.size()));
        EXPECT_EQ(s.GetError(), QWF_ERR_STORAGE_HEADER);
    }
    {
        // A cycle out of reach of the top level is simply invisible.
        PackageBuilder pb;
        pb.Folder(8, 9, "X");
        pb.Folder(9, 8, "Y");
        pb.Text(kTop, 1, "t", "v");
        std::string b = pb.Build();
        CQWF_Storage s;
        ASSERT_TRUE(s.OpenMemory(b.data(), b.size()));
        EXPECT_EQ(s.GetKind("t"), CQWF_Storage::kKindString);
        EXPECT_EQ(s.GetKind("X"), CQWF_Storage::kKindMissing);
    }
}

// Nesting is walked without recursion: a chain of 200,000 folders opens and its deepest key is
// found.
TEST(StorageMemory, DeepNestingOpens)
{
    PackageBuilder pb;
    const uint32_t depth = 200000;
    std::string key;
    for (uint32_t i = 1; i <= depth; ++i) {
        pb.Folder(i == 1 ? kTop : i - 1, i, "f");
        key += i == 1 ? "f" : ">f";
    }
    pb.Text(depth, depth + 1, "leaf", "deep");
    std::string b = pb.Build();
    CQWF_Storage s;
    ASSERT_TRUE(s.OpenMemory(b.data(), b.size())) << s.GetError();
    CQWF_String out;
    ASSERT_TRUE(s.GetString((key + ">leaf").c_str(), out));
    EXPECT_STREQ(out.GetBuffer(), "deep");
    EXPECT_EQ(s.GetKind((key + ">nope").c_str()), CQWF_Storage::kKindMissing);
}

// Two live entries with one key (no writer of ours makes them): the first in the file wins.
// Deleted folders hiding their entries: the model test and NewIdsComeAfterEveryIdInThePackage.
TEST(StorageMemory, DuplicateKeysReadTheFirstEntry)
{
    PackageBuilder pb;
    pb.Text(kTop, 5, "dup", "first");
    pb.Text(kTop, 6, "dup", "second");
    std::string b = pb.Build();
    CQWF_Storage s;
    ASSERT_TRUE(s.OpenMemory(b.data(), b.size()));
    CQWF_String out;
    ASSERT_TRUE(s.GetString("dup", out));
    EXPECT_STREQ(out.GetBuffer(), "first");
}

// The indexed variant takes its keys from the compressed index before the trailer.
TEST_F(StorageFile, IndexedPackagesAreReadFromTheirIndex)
{
    // A deleted entry and a record without a path in the index name no key.
    PackageBuilder pb;
    size_t folder = pb.Folder(kTop, 1, "UI");
    size_t text = pb.Text(1, 2, "Name", "indexed");
    size_t gone = pb.Entry(99, kTop, 3, "Gone", "");
    std::string index;
    for (auto [path, at] : {std::pair<std::string, size_t>{"", text}, {"Gone", gone}, {"UI", folder},
                            {"UI>Name", text}}) {
        index += BE16(static_cast<uint16_t>(path.size())) + path + BE32(static_cast<uint32_t>(at));
    }
    CQWF_Mem packed;
    CQWF_ZipBlock zip;
    zip.SetInput(index.data(), index.size());
    zip.SetOutputMem(&packed);
    ASSERT_TRUE(zip.Process());
    std::string block(reinterpret_cast<char*>(packed.GetData()), packed.GetSize());
    std::string bytes = pb.Build(-1, 'S', block + BE32(static_cast<uint32_t>(block.size())));
    ASSERT_TRUE(qwtest::WriteWholeFile(Path(), bytes));

    CQWF_Storage s;
    ASSERT_TRUE(s.OpenFile(WinPath().c_str(), CQWF_Storage::kModeReadWrite)) << s.GetError();
    EXPECT_TRUE(s.IsIndexed());
    CQWF_String out;
    ASSERT_TRUE(s.GetString("UI>Name", out));
    EXPECT_STREQ(out.GetBuffer(), "indexed");
    EXPECT_EQ(s.GetKind("Gone"), CQWF_Storage::kKindMissing);
    EXPECT_EQ(s.GetKind(""), CQWF_Storage::kKindMissing);
    // Appending would leave the index behind: such packages are read only.
    EXPECT_FALSE(s.SetByte("UI>New", 1));
    EXPECT_EQ(s.GetError(), QWF_ERR_STORAGE_READ_ONLY);
    ASSERT_TRUE(s.Close());
    EXPECT_EQ(qwtest::FileBytes(Path()), bytes);

    // An index that points outside the entries is refused.
    std::string broken = index;
    broken.replace(broken.size() - 4, 4, BE32(0x7FFFFFF0));
    zip.SetInput(broken.data(), broken.size());
    ASSERT_TRUE(zip.Process());
    block.assign(reinterpret_cast<char*>(packed.GetData()), packed.GetSize());
    bytes = pb.Build(-1, 'S', block + BE32(static_cast<uint32_t>(block.size())));
    ASSERT_TRUE(qwtest::WriteWholeFile(Path(), bytes));
    EXPECT_FALSE(s.OpenFile(WinPath().c_str(), CQWF_Storage::kModeRead));
}

// ---------------------------------------------------------------------------------------------
// Failed writes

// Runs the writes in a child whose file-size limit stops the disk mid-entry; the package must
// still open afterwards with everything written before the failure.
TEST_F(StorageFile, FailedAppendLeavesAPackageThatOpens)
{
    const size_t before = WriteKeepPackage();
    const std::string path = WinPath();
    // The child must see this test's folder, so it forks without re-running the test.
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            signal(SIGXFSZ, SIG_IGN);
            rlimit lim{};
            lim.rlim_cur = lim.rlim_max = before + 60;
            setrlimit(RLIMIT_FSIZE, &lim);
            CQWF_Storage s;
            if (!s.OpenFile(path.c_str(), CQWF_Storage::kModeReadWrite)) std::_Exit(2);
            std::string big(100000, 'b');
            if (s.SetBinary("big", big.data(), big.size())) std::_Exit(3);
            if (s.GetKind("big") != CQWF_Storage::kKindMissing) std::_Exit(4);
            if (!s.SetByte("after", 7)) std::_Exit(5);
            if (!s.Close()) std::_Exit(6);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
    CQWF_Storage s;
    EXPECT_TRUE(s.VerifyFile(path.c_str())) << s.GetError();
    ASSERT_TRUE(s.OpenFile(path.c_str(), CQWF_Storage::kModeRead)) << s.GetError();
    CQWF_String out;
    EXPECT_TRUE(s.GetString("keep", out));
    uint8_t b = 0;
    EXPECT_TRUE(s.GetByte("after", b));
    EXPECT_EQ(b, 7);
    EXPECT_EQ(s.GetKind("big"), CQWF_Storage::kKindMissing);
    EXPECT_EQ(s.GetEntryCount(), 2u);
}

// An append that fails on a full disk, then a shorter one once there is room again: the package
// ends with one whole trailer and opens with everything but the failed entry. So also when the
// failed append's package could not be cut back (its trailer then went at the file's very end
// too): the shorter append cuts the rest of the failed entry away.
TEST_F(StorageFile, AppendAfterAFailedAppendKeepsTheTrailerWhole)
{
    struct FaultsOff {
        ~FaultsOff()
        {
            qwp::SetFreeSpace(nullptr, -1);
            qwp::SetTruncateFailureAfter(-1);
        }
    } off;
    for (const bool cutFails : {false, true}) {
        SCOPED_TRACE(cutFails ? "the cut fails" : "the cut works");
        const size_t before = WriteKeepPackage();
        const std::string path = WinPath();
        CQWF_Storage s;
        ASSERT_TRUE(s.OpenFile(path.c_str(), CQWF_Storage::kModeReadWrite));
        // 40 bytes free: the big entry fills the disk up to 40 bytes past the package's end.
        qwp::SetFreeSpace(Win(m_dir.Path()).c_str(), 40);
        if (cutFails) qwp::SetTruncateFailureAfter(0);
        const std::string big(1000, 'b');
        EXPECT_FALSE(s.SetBinary("big", big.data(), big.size()));
        qwp::SetFreeSpace(nullptr, -1);
        qwp::SetTruncateFailureAfter(-1);
        EXPECT_EQ(qwtest::FileBytes(Path()).size(), cutFails ? before + 40 : before);
        // A text entry of 4 + 11 + 1 (name) + 4 + 17 (text and NUL) = 37 bytes and its trailer
        // end 3 bytes before where the failed entry stopped.
        EXPECT_TRUE(s.SetString("t", std::string(16, 't').c_str()));
        ASSERT_EQ(before - 8 + 37 + 8, before + 40 - 3);
        ASSERT_TRUE(s.Close());

        const std::string bytes = qwtest::FileBytes(Path());
        EXPECT_EQ(bytes.size(), before + 37);
        EXPECT_EQ(bytes.substr(bytes.size() - 8), "QWCPSv40");
        EXPECT_TRUE(s.VerifyFile(path.c_str())) << s.GetError();
        ASSERT_TRUE(s.OpenFile(path.c_str(), CQWF_Storage::kModeRead)) << s.GetError();
        CQWF_String out;
        EXPECT_TRUE(s.GetString("keep", out));
        EXPECT_TRUE(s.GetString("t", out));
        EXPECT_EQ(std::string(out.GetBuffer()), std::string(16, 't'));
        EXPECT_EQ(s.GetKind("big"), CQWF_Storage::kKindMissing);
        EXPECT_EQ(s.GetEntryCount(), 2u);
        s.Close();
    }
}

// Ids come after every id in the package, even when the header's last id lags behind them: a new
// folder never takes the id of an existing folder (which would make the package unopenable), nor
// of a deleted one (whose entries would come back beneath it).
TEST_F(StorageFile, NewIdsComeAfterEveryIdInThePackage)
{
    PackageBuilder b;
    b.Entry(99, kTop, 5, "Old", "");  // a deleted folder ...
    b.Text(5, 6, "y", "old");         // ... hides its entries
    b.Folder(kTop, 7, "A");
    b.Text(7, 8, "x", "in A");
    ASSERT_EQ(b.Build().substr(28, 4), BE32(4));  // the header's last id: 4, behind 5 to 8
    ASSERT_TRUE(qwtest::WriteWholeFile(Path(), b.Build()));
    {
        CQWF_Storage s;
        ASSERT_TRUE(s.OpenFile(WinPath().c_str(), CQWF_Storage::kModeReadWrite));
        EXPECT_EQ(s.GetLastId(), 8u);
        for (const char* folder : {"B", "C", "D", "E"}) {
            ASSERT_TRUE(s.CreateFolder(folder));
            ASSERT_TRUE(s.SetString((std::string(folder) + ">z").c_str(), folder));
        }
        EXPECT_EQ(s.GetLastId(), 16u);
        ASSERT_TRUE(s.Close());
    }
    CQWF_Storage s;
    ASSERT_TRUE(s.OpenFile(WinPath().c_str(), CQWF_Storage::kModeRead)) << s.GetError();
    CQWF_String out;
    ASSERT_TRUE(s.GetString("A>x", out));
    EXPECT_STREQ(out.GetBuffer(), "in A");
    for (const char* folder : {"B", "C", "D", "E"}) {
        ASSERT_TRUE(s.GetString((std::string(folder) + ">z").c_str(), out)) << folder;
        EXPECT_STREQ(out.GetBuffer(), folder);
        for (const char* other : {"x", "y"})
            EXPECT_EQ(s.GetKind((std::string(folder) + ">" + other).c_str()), CQWF_Storage::kKindMissing);
    }
    s.Close();

    // The ids end one short of the top level's 0xFFFFFFFF: the last one is given, then no more.
    PackageBuilder full;
    full.Text(kTop, 0xFFFFFFFDu, "n", "v");
    ASSERT_TRUE(qwtest::WriteWholeFile(Path(), full.Build()));
    ASSERT_TRUE(s.OpenFile(WinPath().c_str(), CQWF_Storage::kModeReadWrite));
    EXPECT_TRUE(s.SetString("m", "last"));
    EXPECT_EQ(s.GetLastId(), 0xFFFFFFFEu);
    EXPECT_FALSE(s.SetString("k", "none"));
    EXPECT_EQ(s.GetKind("k"), CQWF_Storage::kKindMissing);
    EXPECT_EQ(s.GetLastId(), 0xFFFFFFFEu);
}

TEST(StorageKeys, SplitKeyAtTheLastSeparator)
{
    CQWF_String parent("x"), name("y");
    ASSERT_TRUE(CQWF_Storage::SplitKey(CQWF_String("A>B>C"), parent, name));
    EXPECT_STREQ(parent.GetBuffer(), "A>B");
    EXPECT_STREQ(name.GetBuffer(), "C");
    ASSERT_TRUE(CQWF_Storage::SplitKey(CQWF_String("Top"), parent, name));
    EXPECT_STREQ(parent.GetBuffer(), "");
    EXPECT_STREQ(name.GetBuffer(), "Top");
    // A split answers true only with both parts whole: the allocation of either may fail.
    const std::string p30(30, 'p'), n30(30, 'n');
    const CQWF_String longKey((p30 + ">" + n30).c_str());
    for (int failing = 0; failing < 6; ++failing) {
        CQWF_String p2, n2;
        qwf::SetAllocFailureAfter(failing);
        const bool ok = CQWF_Storage::SplitKey(longKey, p2, n2);
        qwf::SetAllocFailureAfter(-1);
        EXPECT_EQ(ok, p2.GetBuffer() == p30 && n2.GetBuffer() == n30) << failing;
    }
}
