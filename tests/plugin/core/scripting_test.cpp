// Scripting parameters: the layout blob written into the host's descriptor and read back.
#include <gtest/gtest.h>

#include <string>

#include "framework/core/qwf_block.h"
#include "platform/qw_random.h"
#include "plugin/core/qw_8bfplugin.h"
#include "tests/plugin/core/fake_host.h"

namespace {

using fakehost::Item;
using fakehost::S;

std::string KeyName(uint32_t k)
{
    return {char(k >> 24), char(k >> 16), char(k >> 8), char(k)};
}

int32_t IntOf(const Item& it)
{
    int32_t v = 0;
    std::memcpy(&v, it.bytes.data(), 4);
    return v;
}

Item IntItem(int32_t v)
{
    Item it{QWH_FourCC("qweS"), typeInteger, std::vector<uint8_t>(4)};
    std::memcpy(it.bytes.data(), &v, 4);
    return it;
}

Item TextItem(const char* key, const std::string& prefix, const std::string& text, bool zero = true)
{
    uint32_t k = 0;
    for (int i = 0; i < 4; ++i) k = (k << 8) | uint8_t(key[i]);
    Item it{k, typeText, {}};
    it.bytes.assign(prefix.begin(), prefix.end());
    it.bytes.insert(it.bytes.end(), text.begin(), text.end());
    if (zero) it.bytes.push_back(0);
    return it;
}

// The hex text of a packed blob, as the writer produces it.
std::string PackedHex(const std::vector<uint8_t>& blob)
{
    CQWF_Mem packed;
    CQWF_ZipBlock zip;
    zip.SetInput(blob.data(), blob.size());
    zip.SetOutputMem(&packed);
    zip.SetMode(1);
    EXPECT_TRUE(zip.Process());
    CQWF_String hex;
    hex.AssignHex(packed.GetData(), packed.GetSize());
    return hex.GetBuffer();
}

// Incompressible bytes: the packed block is a little larger than the blob.
std::vector<uint8_t> NoiseBlob(size_t n, uint32_t seed)
{
    qwp::SeedRandom(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(qwp::Random15() >> 3);
    return v;
}

class Scripting : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakehost::Reset(rec, 8, 8, plugInModeRGBColor, 3);
        plugin.SetHostPointers(&rec, &data, &result);
    }
    // Moves what the writer recorded into the descriptor the reader is given.
    void Replay()
    {
        S().readItems = S().written;
        rec.descriptorParameters->descriptor = fakehost::MakeHandle("d", 1);
    }
    bool RoundTrip(const std::vector<uint8_t>& blob)
    {
        if (!plugin.WriteScriptParameters(blob.data(), blob.size())) return false;
        fakehost::DisposeH(rec.descriptorParameters->descriptor);
        Replay();
        CQWF_Mem out;
        bool show = true;
        if (!plugin.ReadScriptParameters(out, show)) return false;
        return out.GetSize() == blob.size() && std::memcmp(out.GetData(), blob.data(), blob.size()) == 0;
    }

    FilterRecord rec{};
    intptr_t data = 0;
    int16_t result = 0;
    CQWF_8BFPluginVirtual plugin;
};

TEST_F(Scripting, SmallBlobIsOneChunkWithItsLength)
{
    std::vector<uint8_t> blob(500, 7);
    std::string hex = PackedHex(blob);
    Handle old = fakehost::MakeHandle("old", 3);
    rec.descriptorParameters->descriptor = old;
    rec.descriptorParameters->recordInfo = plugInDialogRequired;
    ASSERT_TRUE(plugin.WriteScriptParameters(blob.data(), blob.size()));
    ASSERT_EQ(S().written.size(), 2u);
    EXPECT_EQ(KeyName(S().written[0].key), "qwe0");
    std::string item(S().written[0].bytes.begin(), S().written[0].bytes.end());
    EXPECT_EQ(item.substr(0, 3), "AAA");
    EXPECT_EQ(item.substr(3, hex.size()), hex);
    EXPECT_EQ(item.size(), hex.size() + 4);
    EXPECT_EQ(item.back(), '\0');
    EXPECT_EQ(KeyName(S().written[1].key), "qweS");
    EXPECT_EQ(IntOf(S().written[1]), int32_t(20000000 + hex.size()));
    // The old descriptor is disposed and replaced; the dialog becomes optional.
    EXPECT_FALSE(fakehost::Block(old)->live);
    ASSERT_NE(rec.descriptorParameters->descriptor, nullptr);
    EXPECT_NE(rec.descriptorParameters->descriptor, old);
    EXPECT_EQ(rec.descriptorParameters->recordInfo, plugInDialogOptional);
    EXPECT_EQ(S().badDisposes, 0);
}

TEST_F(Scripting, RoundTripsAreByteIdentical)
{
    EXPECT_TRUE(RoundTrip(std::vector<uint8_t>(1, 0)));
    EXPECT_TRUE(RoundTrip(NoiseBlob(3000, 1)));
    // Over 65,000 characters: two long chunks with the prefixes AAA and AAB.
    std::vector<uint8_t> big = NoiseBlob(40000, 2);
    ASSERT_TRUE(RoundTrip(big));
    ASSERT_EQ(S().written.size(), 3u);
    EXPECT_EQ(KeyName(S().written[1].key), "qwe1");
    EXPECT_EQ(S().written[1].bytes[2], 'B');
    // The largest text that fits: ten chunks.
    EXPECT_TRUE(RoundTrip(NoiseBlob(324000, 3)));
    EXPECT_EQ(S().written.size(), 11u);
    EXPECT_EQ(fakehost::LiveHandles(), 0u);
    EXPECT_EQ(S().badDisposes, 0);
}

TEST_F(Scripting, HostRefusingLongItemsGetsShortOnes)
{
    S().maxText = 1004;  // 1,000 characters with prefix and terminator
    std::vector<uint8_t> blob = NoiseBlob(20000, 4);
    std::string hex = PackedHex(blob);
    ASSERT_TRUE(RoundTrip(blob));
    size_t chunks = (hex.size() - 1) / 1000 + 1;
    ASSERT_EQ(S().written.size(), chunks + 1);
    EXPECT_EQ(KeyName(S().written[0].key), "qwaa");
    EXPECT_EQ(KeyName(S().written[25].key), "qwaz");
    EXPECT_EQ(KeyName(S().written[26].key), "qwba");
    EXPECT_EQ(S().written[27].bytes[1], 'B');  // index 27 is ABB
    EXPECT_EQ(S().written[27].bytes[2], 'B');
    EXPECT_EQ(IntOf(S().written.back()), int32_t(10000000 + hex.size()));
    EXPECT_EQ(fakehost::LiveHandles(), 0u);

    // Short texts are not retried.
    S().maxText = 50;
    std::vector<uint8_t> small(300, 1);
    ASSERT_LE(PackedHex(small).size(), 1000u);
    EXPECT_FALSE(plugin.WriteScriptParameters(small.data(), small.size()));
    // More than 200 short chunks are not written.
    S().maxText = 1004;
    EXPECT_FALSE(plugin.WriteScriptParameters(NoiseBlob(101000, 5).data(), 101000));
    EXPECT_TRUE(RoundTrip(NoiseBlob(99000, 6)));
}

TEST_F(Scripting, WriterNeedsInputAndProcedures)
{
    uint8_t b = 1;
    EXPECT_FALSE(plugin.WriteScriptParameters(&b, 0));
    EXPECT_FALSE(plugin.WriteScriptParameters(nullptr, 1));
    rec.descriptorParameters->writeDescriptorProcs = nullptr;
    EXPECT_FALSE(plugin.WriteScriptParameters(&b, 1));
    CQWF_Mem out;
    bool show = false;
    rec.descriptorParameters->readDescriptorProcs = nullptr;
    EXPECT_FALSE(plugin.ReadScriptParameters(out, show));
    rec.descriptorParameters = nullptr;
    EXPECT_FALSE(plugin.WriteScriptParameters(&b, 1));
    EXPECT_FALSE(plugin.ReadScriptParameters(out, show));
}

TEST_F(Scripting, ReaderPlacesChunksByIndexAndReportsTheDialogRequest)
{
    std::vector<uint8_t> blob = NoiseBlob(40000, 7);
    ASSERT_TRUE(plugin.WriteScriptParameters(blob.data(), blob.size()));
    fakehost::DisposeH(rec.descriptorParameters->descriptor);
    std::swap(S().written[0], S().written[1]);
    std::swap(S().written[1], S().written[2]);  // qwe1, qweS, qwe0
    Replay();
    rec.descriptorParameters->playInfo = plugInDialogDisplay;
    CQWF_Mem out;
    bool show = false;
    ASSERT_TRUE(plugin.ReadScriptParameters(out, show));
    EXPECT_TRUE(show);
    ASSERT_EQ(out.GetSize(), blob.size());
    EXPECT_EQ(0, std::memcmp(out.GetData(), blob.data(), blob.size()));
    // The descriptor is disposed after a successful read too.
    EXPECT_EQ(rec.descriptorParameters->descriptor, nullptr);
    EXPECT_EQ(fakehost::LiveHandles(), 0u);
    // Nothing to read.
    EXPECT_FALSE(plugin.ReadScriptParameters(out, show));
}

// Every malformed descriptor gives no layout, disposes the descriptor and leaks nothing.
TEST_F(Scripting, ReaderRefusesMalformedDescriptors)
{
    std::vector<uint8_t> blob(2000, 3);
    std::string hex = PackedHex(blob);
    int32_t len = int32_t(hex.size());
    std::string lower = hex;
    for (char& c : lower) c = char(std::tolower(c));
    std::string odd = hex.substr(0, hex.size() - 1);
    // A packed block whose declared packed size runs past the text.
    std::string longer = hex;
    longer[24] = 'F';
    // A declared unpacked size far beyond what the packed bytes can give.
    std::string huge = hex;
    huge.replace(16, 8, "7FFFFFFF");

    struct Case {
        const char* what;
        std::vector<Item> items;
    } cases[] = {
        {"no length", {TextItem("qwe0", "AAA", hex)}},
        {"length 10,000,000", {TextItem("qwe0", "AAA", hex), IntItem(10000000)}},
        {"length 20,000,000", {TextItem("qwe0", "AAA", hex), IntItem(20000000)}},
        {"length below", {TextItem("qwe0", "AAA", hex), IntItem(9999999)}},
        {"length too long", {TextItem("qwe0", "AAA", hex), IntItem(20650001)}},
        {"short scheme beyond 200", {TextItem("qwaa", "AAA", hex), IntItem(10200001)}},
        {"lower case", {TextItem("qwe0", "AAA", lower), IntItem(20000000 + len)}},
        {"odd length", {TextItem("qwe0", "AAA", odd), IntItem(20000000 + len - 1)}},
        {"missing chunk", {TextItem("qwe0", "AAA", hex.substr(0, 1000)), IntItem(20065000 + 1000)}},
        {"length differs", {TextItem("qwe0", "AAA", hex), IntItem(20000000 + len + 2)}},
        {"index beyond limit", {TextItem("qwe0", "AAK", hex), IntItem(20000000 + len)}},
        {"index letters", {TextItem("qwe0", "A@A", hex), IntItem(20000000 + len)}},
        {"no terminator", {TextItem("qwe0", "AAA", hex, false), IntItem(20000000 + len)}},
        {"terminator first", {TextItem("qwe0", "AAA", ""), IntItem(20000000 + len)}},
        {"handle too small", {TextItem("qwe0", "AA", "", false), IntItem(20000000 + len)}},
        {"duplicate chunk",
         {TextItem("qwe0", "AAA", hex.substr(0, 65000)), TextItem("qwe1", "AAA", hex.substr(0, 65000)),
          IntItem(20130000)}},
        {"declared size runs past", {TextItem("qwe0", "AAA", longer), IntItem(20000000 + len)}},
        {"declared unpacked size", {TextItem("qwe0", "AAA", huge), IntItem(20000000 + len)}},
        {"not packed", {TextItem("qwe0", "AAA", std::string(40, 'A')), IntItem(20000040)}},
    };
    for (const Case& c : cases) {
        S().readItems = c.items;
        rec.descriptorParameters->descriptor = fakehost::MakeHandle("d", 1);
        CQWF_Mem out;
        bool show = false;
        EXPECT_FALSE(plugin.ReadScriptParameters(out, show)) << c.what;
        EXPECT_EQ(rec.descriptorParameters->descriptor, nullptr) << c.what;
        EXPECT_EQ(fakehost::LiveHandles(), 0u) << c.what;
    }
    EXPECT_EQ(S().badDisposes, 0);
    // The well-formed text itself reads.
    S().readItems = {TextItem("qwe0", "AAA", hex), IntItem(20000000 + len)};
    rec.descriptorParameters->descriptor = fakehost::MakeHandle("d", 1);
    CQWF_Mem out;
    bool show = true;
    ASSERT_TRUE(plugin.ReadScriptParameters(out, show));
    EXPECT_FALSE(show);
    EXPECT_EQ(out.GetSize(), blob.size());
    // Bytes after the packed block are not the block's: they are not read.
    const std::string followed = hex + "00C0FFEE";
    S().readItems = {TextItem("qwe0", "AAA", followed),
                     IntItem(20000000 + int32_t(followed.size()))};
    rec.descriptorParameters->descriptor = fakehost::MakeHandle("d", 1);
    ASSERT_TRUE(plugin.ReadScriptParameters(out, show));
    ASSERT_EQ(out.GetSize(), blob.size());
    EXPECT_EQ(0, std::memcmp(out.GetData(), blob.data(), blob.size()));
}

// Finds a blob size whose packed hex text is exactly `target` characters long.
std::vector<uint8_t> BlobWithHexLength(size_t target, uint32_t seed)
{
    long n = long(target / 2) - 64;
    for (int tries = 0; tries < 50; ++tries) {
        std::vector<uint8_t> blob = NoiseBlob(size_t(n), seed);
        long have = long(PackedHex(blob).size());
        if (have == long(target)) return blob;
        long step = (long(target) - have) / 2;
        n += step != 0 ? step : (have < long(target) ? 1 : -1);
    }
    return {};
}

TEST_F(Scripting, ChunkLimitsHoldExactly)
{
    // 650,000 characters: ten long chunks, the largest text.
    std::vector<uint8_t> most = BlobWithHexLength(650000, 11);
    ASSERT_FALSE(most.empty());
    ASSERT_TRUE(RoundTrip(most));
    EXPECT_EQ(S().written.size(), 11u);
    EXPECT_EQ(IntOf(S().written.back()), 20650000);
    // 200,000 characters: exactly 200 short chunks, the last under "qwhr".
    S().maxText = 1004;
    std::vector<uint8_t> two = BlobWithHexLength(200000, 12);
    ASSERT_FALSE(two.empty());
    ASSERT_TRUE(RoundTrip(two));
    ASSERT_EQ(S().written.size(), 201u);
    EXPECT_EQ(KeyName(S().written[199].key), "qwhr");
    EXPECT_EQ(IntOf(S().written.back()), 10200000);
    // Two characters more need a 201st chunk.
    std::vector<uint8_t> over = BlobWithHexLength(200002, 13);
    ASSERT_FALSE(over.empty());
    EXPECT_FALSE(plugin.WriteScriptParameters(over.data(), over.size()));
    EXPECT_EQ(fakehost::LiveHandles(), 1u);  // only the descriptor handed back
    fakehost::DisposeH(rec.descriptorParameters->descriptor);
}

TEST_F(Scripting, HostCancelIsReportedAsCancel)
{
    std::vector<uint8_t> blob(100, 2);
    ASSERT_TRUE(plugin.WriteScriptParameters(blob.data(), blob.size()));
    fakehost::DisposeH(rec.descriptorParameters->descriptor);
    Replay();
    S().cancelGets = true;
    CQWF_Mem out;
    bool show = false;
    EXPECT_FALSE(plugin.ReadScriptParameters(out, show));
    EXPECT_TRUE(plugin.ScriptReadCancelled());
    EXPECT_EQ(result, 0);  // the result is the caller's to set
    S().cancelGets = false;
    Replay();
    EXPECT_TRUE(plugin.ReadScriptParameters(out, show));
    EXPECT_FALSE(plugin.ScriptReadCancelled());
}

TEST_F(Scripting, ChunkPutFailsWithoutAHandle)
{
    rec.handleProcs = nullptr;
    std::vector<uint8_t> blob(10, 1);
    EXPECT_FALSE(plugin.WriteScriptParameters(blob.data(), blob.size()));
    EXPECT_FALSE(plugin.PutDescriptorChunk("AB", 2, QWH_FourCC("qwe0"), nullptr, 0));
}

}  // namespace
