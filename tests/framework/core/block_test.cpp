#include "framework/core/qwf_block.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "framework/core/qwf_string.h"
#include "platform/qw_random.h"
#include "support/test_support.h"

namespace {

std::string RandomBytes(size_t n, uint32_t seed, int alphabet = 256)
{
    qwp::SeedRandom(seed);
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(qwp::Random15() % alphabet);
    return s;
}

bool Pack(const std::string& in, uint8_t mode, CQWF_Mem& out, int16_t* error = nullptr)
{
    CQWF_ZipBlock zip;
    zip.SetInput(in.data(), in.size());
    zip.SetOutputMem(&out);
    zip.SetMode(mode);
    bool ok = zip.Process();
    if (error) *error = zip.GetError();
    return ok;
}

bool Unpack(const void* block, size_t size, CQWF_Mem& out, int16_t* error = nullptr)
{
    CQWF_ZipBlock zip;
    zip.SetInput(block, size);
    zip.SetOutputMem(&out);
    zip.SetMode(0);
    bool ok = zip.Process();
    if (error) *error = zip.GetError();
    return ok;
}

// A block with the given header around an arbitrary stream.
std::string MakeBlock(uint32_t unpacked, const std::string& stream, uint32_t packed)
{
    std::string b = "QWCV2-01";
    for (uint32_t v : {unpacked, packed}) {
        for (int s = 24; s >= 0; s -= 8) b += static_cast<char>((v >> s) & 0xFF);
    }
    return b + stream;
}

std::string Deflate(const std::string& data)
{
    uLongf n = compressBound(data.size());
    std::string out(n, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &n,
              reinterpret_cast<const Bytef*>(data.data()), data.size(), 9);
    out.resize(n);
    return out;
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

bool HaveTool(const char* name)
{
    return Shell(std::string("command -v ") + name + " >/dev/null 2>&1") == 0;
}

std::string ScriptPath() { return qwtest::SourceDir() + "/tests/scripts/block_interop.py"; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// MD5

TEST(MD5Block, MatchesTheStandardTestSuite)
{
    EXPECT_EQ(qwtest::Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(qwtest::Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(qwtest::Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(qwtest::Md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(qwtest::Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(qwtest::Md5Hex("1234567890123456789012345678901234567890123456789012345678901234567890"
                       "1234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    // Lengths whose last block ends just before, at and after the room for the length (56).
    const struct {
        size_t n;
        const char* digest;
    } as[] = {{55, "ef1772b6dff9a122358552954ad0df65"},  {56, "3b0c8ac703f828b04c6c197006d17218"},
              {57, "652b906d60af96844ebd21b674f35e93"},  {63, "b06521f39153d618550606be297466d5"},
              {64, "014842d480b571495a4a0363793f7367"},  {65, "c743a45e0d2e6a95cb859adae0248435"},
              {119, "8a7bd0732ed6a28ce75f6dabc90e1613"}, {120, "5f61c0ccad4cac44c75ff505e1f1e537"}};
    for (const auto& a : as) EXPECT_EQ(qwtest::Md5Hex(std::string(a.n, 'a')), a.digest) << a.n;
}

// Lengths around the padding boundary (55/56/63/64 bytes in the last block) must agree between
// one-shot and piecewise digests; a second Process starts afresh.
TEST(MD5Block, PiecewiseAndRepeatedDigestsAgree)
{
    for (size_t n : {1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u}) {
        std::string data = RandomBytes(n, static_cast<uint32_t>(n));
        CQWF_MD5Block whole;
        CQWF_Mem out;
        whole.SetInput(data.data(), n);
        whole.SetOutputMem(&out);
        ASSERT_TRUE(whole.Process());
        std::string once = qwtest::HexOf(out.GetData(), 16);
        ASSERT_TRUE(whole.Process());
        EXPECT_EQ(qwtest::HexOf(out.GetData(), 16), once) << n;

        CQWF_MD5Block parts;
        for (size_t at = 0; at < n; at += 7) parts.Update(data.data() + at, std::min<size_t>(7, n - at));
        qwtest::GuardedBytes digest(16);  // a byte written past the digest faults
        parts.Final(digest.data());
        EXPECT_EQ(qwtest::HexOf(digest.data(), 16), once) << n;
    }
}

TEST(MD5Block, InputStringOwnOutputAndEmptyInput)
{
    CQWF_MD5Block md5;
    CQWF_String text("abc");
    EXPECT_TRUE(md5.SetInputString(text));
    EXPECT_EQ(md5.GetInputLength(), 3u);
    ASSERT_TRUE(md5.Process());
    ASSERT_NE(md5.GetOutput(), nullptr);
    EXPECT_EQ(qwtest::HexOf(md5.GetOutput()->GetData(), 16), "900150983cd24fb0d6963f7d28e17f72");
    // No input, or 0 bytes of it, has no digest.
    CQWF_MD5Block none;
    EXPECT_FALSE(none.Process());
    EXPECT_EQ(none.GetError(), QWF_ERR_MD5_INPUT);
    md5.SetInput("x", 0);
    EXPECT_FALSE(md5.Process());
    EXPECT_EQ(md5.GetError(), QWF_ERR_MD5_INPUT);
}

TEST(MD5Block, MatchesMd5sumOverRandomData)
{
    if (!HaveTool("md5sum")) GTEST_SKIP() << "md5sum not installed";
    qwtest::TempDir dir;
    for (size_t n : {1u, 4095u, 65536u, 1000003u}) {
        std::string data = RandomBytes(n, static_cast<uint32_t>(n * 31));
        std::string path = dir.File("data.bin");
        ASSERT_TRUE(qwtest::WriteWholeFile(path, data));
        std::string sum;
        ASSERT_EQ(Shell("md5sum '" + path + "' | cut -c1-32 > '" + dir.File("sum") + "'"), 0);
        ASSERT_TRUE(qwtest::ReadWholeFile(dir.File("sum"), sum));
        EXPECT_EQ(qwtest::Md5Hex(data) + "\n", sum) << n;
    }
}

// ---------------------------------------------------------------------------------------------
// Compressed blocks

TEST(ZipBlock, PacksAndUnpacksAtEveryLevel)
{
    std::string data = RandomBytes(20000, 7, 12);  // compressible
    for (uint8_t mode : {1, 2, 3}) {
        CQWF_Mem packed, unpacked;
        ASSERT_TRUE(Pack(data, mode, packed)) << int(mode);
        const uint8_t* p = packed.GetData();
        EXPECT_EQ(std::memcmp(p, "QWCV2-01", 8), 0);
        uint32_t size = (p[8] << 24) | (p[9] << 16) | (p[10] << 8) | p[11];
        uint32_t stream = (p[12] << 24) | (p[13] << 16) | (p[14] << 8) | p[15];
        EXPECT_EQ(size, data.size());
        EXPECT_EQ(stream + 16u, packed.GetSize());
        EXPECT_LT(packed.GetSize(), data.size());
        ASSERT_TRUE(Unpack(p, packed.GetSize(), unpacked));
        ASSERT_EQ(unpacked.GetSize(), data.size());
        EXPECT_EQ(std::memcmp(unpacked.GetData(), data.data(), data.size()), 0);
    }
}

TEST(ZipBlock, OneByteBlockHeaderAndTrailingBytesIgnored)
{
    CQWF_Mem packed, unpacked;
    ASSERT_TRUE(Pack("Z", 1, packed));
    const uint8_t* p = packed.GetData();
    EXPECT_EQ(p[8], 0);
    EXPECT_EQ(p[11], 1);
    std::string block(reinterpret_cast<const char*>(p), packed.GetSize());
    block += "trailing bytes of whatever follows the block";
    ASSERT_TRUE(Unpack(block.data(), block.size(), unpacked));
    ASSERT_EQ(unpacked.GetSize(), 1u);
    EXPECT_EQ(unpacked.GetData()[0], 'Z');
}

TEST(ZipBlock, RefusesNothingToPackBadModesAndNoMemory)
{
    const struct {
        const char* in;
        uint8_t mode;
        long failAfter;
        int16_t error;
    } cases[] = {{"", 1, -1, QWF_ERR_ZIP_ARGUMENT},
                 {"abc", 4, -1, QWF_ERR_ZIP_ARGUMENT},
                 {"abc", 255, -1, QWF_ERR_ZIP_ARGUMENT},
                 {"some text to pack", 1, 0, QWF_ERR_MEMORY}};
    for (const auto& c : cases) {
        CQWF_Mem out;
        int16_t error = 0;
        qwf::SetAllocFailureAfter(c.failAfter);
        EXPECT_FALSE(Pack(c.in, c.mode, out, &error)) << c.in << " " << int(c.mode);
        qwf::SetAllocFailureAfter(-1);
        EXPECT_EQ(error, c.error) << c.in << " " << int(c.mode);
    }
}

// Blocks of 15 bytes, with any byte of the magic changed, with a packed size one past the input
// or near 4 GB (which must not wrap the "+ 16" check), with a corrupt stream, a stream holding
// more or fewer bytes than declared, and a truncated one.
TEST(ZipBlock, RefusesMalformedBlocks)
{
    CQWF_Mem packed;
    ASSERT_TRUE(Pack("hello hello hello", 1, packed));
    const std::string good(reinterpret_cast<const char*>(packed.GetData()), packed.GetSize());
    const std::string data = RandomBytes(5000, 3, 4), stream = Deflate(data);
    const uint32_t n = static_cast<uint32_t>(stream.size());
    std::string corrupt = stream;
    corrupt[corrupt.size() / 2] ^= 0x55;
    corrupt[corrupt.size() - 1] ^= 0x55;  // adler too
    std::vector<std::string> bad = {good.substr(0, 15), good.substr(0, good.size() - 1),
                                    MakeBlock(5, "x", 0xFFFFFFF8u), MakeBlock(5000, corrupt, n),
                                    MakeBlock(4999, stream, n), MakeBlock(5001, stream, n),
                                    MakeBlock(5000, stream.substr(0, n / 2), n / 2)};
    for (int i = 0; i < 8; ++i) {
        bad.push_back(good);
        bad.back()[i] ^= 0x20;
    }
    for (size_t i = 0; i < bad.size(); ++i) {
        CQWF_Mem out;
        int16_t error = 0;
        EXPECT_FALSE(Unpack(bad[i].data(), bad[i].size(), out, &error)) << i;
        EXPECT_EQ(error, QWF_ERR_ZIP_MALFORMED) << i;
    }
}

// A 4 GB declared size behind a 10-byte stream is refused before anything is allocated.
TEST(ZipBlock, RefusesUnreachableDeclaredSizeBeforeAllocating)
{
    // Deflate reaches at most 1032 bytes a stream byte, with 1024 bytes allowed for a short
    // stream's own overhead: a declared size up to there is allocated for (and so fails with 17
    // here), one byte more or far more is malformed before any allocation.
    std::string stream = Deflate("0123456789");
    const uint32_t reach = static_cast<uint32_t>(stream.size()) * 1032 + 1024;
    CQWF_Mem out;
    int16_t error = 0;
    for (const auto& [declared, expected] : {std::pair{reach, QWF_ERR_MEMORY},
                                             std::pair{reach + 1, QWF_ERR_ZIP_MALFORMED},
                                             std::pair{0xFFFFFFF0u, QWF_ERR_ZIP_MALFORMED}}) {
        std::string block = MakeBlock(declared, stream, static_cast<uint32_t>(stream.size()));
        qwf::SetAllocFailureAfter(0);
        EXPECT_FALSE(Unpack(block.data(), block.size(), out, &error));
        qwf::SetAllocFailureAfter(-1);
        EXPECT_EQ(error, expected) << declared;
    }

    // The most compressible data still unpacks: a long run of one byte.
    std::string run(1 << 20, 'a');
    std::string packedRun = Deflate(run);
    std::string block = MakeBlock(static_cast<uint32_t>(run.size()), packedRun,
                      static_cast<uint32_t>(packedRun.size()));
    ASSERT_TRUE(Unpack(block.data(), block.size(), out, &error)) << error;
    EXPECT_EQ(out.GetSize(), run.size());
}

// One block passed as input and output: the input is read whole before the output replaces it.
TEST(ZipBlock, SameBlockAsInputAndOutput)
{
    std::string data = RandomBytes(3000, 11, 8);
    CQWF_Mem block;
    ASSERT_NE(block.Alloc(data.size()), nullptr);
    std::memcpy(block.GetData(), data.data(), data.size());
    CQWF_ZipBlock pack;
    pack.SetInputMem(block);
    pack.SetOutputMem(&block);
    ASSERT_TRUE(pack.Process());
    CQWF_ZipBlock unpack;
    unpack.SetMode(0);
    unpack.SetInputMem(block);
    unpack.SetOutputMem(&block);
    ASSERT_TRUE(unpack.Process());
    ASSERT_EQ(block.GetSize(), data.size());
    EXPECT_EQ(std::memcmp(block.GetData(), data.data(), data.size()), 0);
}

TEST(BlockProcessor, BaseCopiesInputAndOwnsItsOutput)
{
    CQWF_BlockProcessor copy;
    EXPECT_FALSE(copy.Process());
    EXPECT_FALSE(copy.HasError());
    ASSERT_TRUE(copy.SetInputString("copied"));
    ASSERT_TRUE(copy.Process());
    ASSERT_EQ(copy.GetOutput()->GetSize(), 6u);
    EXPECT_EQ(std::memcmp(copy.GetOutput()->GetData(), "copied", 6), 0);
    CQWF_Mem mine;
    copy.SetOutputMem(&mine);
    ASSERT_TRUE(copy.Process());
    EXPECT_EQ(mine.GetSize(), 6u);
    // An empty input, null or not, fails without a code and leaves the output alone.
    ASSERT_TRUE(copy.SetInputString(""));
    EXPECT_FALSE(copy.Process());
    EXPECT_FALSE(copy.HasError());
    EXPECT_EQ(mine.GetSize(), 6u);
    copy.UseOwnOutput();
    EXPECT_NE(copy.GetOutput(), &mine);
    EXPECT_EQ(mine.GetSize(), 6u);  // the caller's block is left alone
}

// Blocks we pack inflate with python's zlib, and blocks it packs unpack with ours.
TEST(ZipBlock, InteroperatesWithPythonZlib)
{
    if (!HaveTool("python3")) GTEST_SKIP() << "python3 not installed";
    qwtest::TempDir dir;
    std::string data = RandomBytes(30000, 5, 40) + std::string(5000, '\0');
    for (uint8_t mode : {1, 2, 3}) {
        CQWF_Mem packed;
        ASSERT_TRUE(Pack(data, mode, packed));
        std::string blockFile = dir.File("ours.qwcv");
        ASSERT_TRUE(qwtest::WriteWholeFile(
            blockFile, std::string(reinterpret_cast<const char*>(packed.GetData()), packed.GetSize())));
        ASSERT_EQ(Shell("python3 '" + ScriptPath() + "' unpack '" + blockFile + "' '" +
                      dir.File("ours.out") + "'"), 0);
        std::string back;
        ASSERT_TRUE(qwtest::ReadWholeFile(dir.File("ours.out"), back));
        EXPECT_TRUE(back == data) << int(mode);
    }
    ASSERT_TRUE(qwtest::WriteWholeFile(dir.File("in.bin"), data));
    for (int level : {0, 1, 6, 9}) {
        ASSERT_EQ(Shell("python3 '" + ScriptPath() + "' pack " + std::to_string(level) + " '" +
                      dir.File("in.bin") + "' '" + dir.File("theirs.qwcv") + "'"), 0);
        std::string block;
        ASSERT_TRUE(qwtest::ReadWholeFile(dir.File("theirs.qwcv"), block));
        CQWF_Mem out;
        ASSERT_TRUE(Unpack(block.data(), block.size(), out)) << level;
        ASSERT_EQ(out.GetSize(), data.size());
        EXPECT_EQ(std::memcmp(out.GetData(), data.data(), data.size()), 0);
    }
}
