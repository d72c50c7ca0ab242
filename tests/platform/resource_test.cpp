#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/qw_resource.h"
#include "support/test_support.h"

namespace {
std::string Bytes(const void* data, size_t size) { return std::string(static_cast<const char*>(data), size); }

struct ResourceReset {
    ~ResourceReset()
    {
        qwp::ClearRegisteredResources();
        qwp::SetResourceFileForTesting(nullptr);
        qwp::SetResourceLookupFailure(false);
    }
};
}  // namespace

TEST(Resource, RegisteredBlocksComeFirstAndFailuresCanBeInjected)
{
    ResourceReset reset;
    static const char kPackage[] = "package bytes";
    qwp::RegisterResource("qws4", "qws4", kPackage, sizeof kPackage);
    const void* data = nullptr;
    size_t size = 0;
    ASSERT_TRUE(qwp::FindResource("QWS4", "Qws4", &data, &size));
    EXPECT_EQ(data, kPackage);
    EXPECT_EQ(size, sizeof kPackage);
    EXPECT_FALSE(qwp::FindResource("qws4", "other", &data, &size));

    qwp::SetResourceLookupFailure(true);
    EXPECT_FALSE(qwp::FindResource("qws4", "qws4", &data, &size));
    qwp::SetResourceLookupFailure(false);
    qwp::RegisterResource("qws4", "qws4", nullptr, 0);
    // The test program itself carries no table.
    EXPECT_FALSE(qwp::FindResource("qws4", "qws4", &data, &size));
}

TEST(Resource, AppendedTableIsFoundReplacedAndDamageIsRefused)
{
    ResourceReset reset;
    qwtest::TempDir dir;
    std::string program = dir.File("program");
    ASSERT_TRUE(qwtest::WriteWholeFile(program, std::string("\x7f" "ELF program bytes", 18)));
    std::vector<qwp::ResourceBlock> blocks = {{"qws4", "qws4", {1, 2, 3, 4, 5}},
                                              {"Text", "Empty", {}},
                                              {"Text", "Readme", {'h', 'i'}}};
    std::string error;
    ASSERT_TRUE(qwp::WriteProgramWithResources(program.c_str(), dir.File("packed").c_str(), blocks, error))
        << error;
    // Appending to a program that already has a table replaces the table.
    blocks.resize(1);
    blocks[0].data = {9, 8, 7};
    ASSERT_TRUE(qwp::WriteProgramWithResources(dir.File("packed").c_str(), dir.File("again").c_str(),
                                               blocks, error));
    std::string packed, again;
    ASSERT_TRUE(qwtest::ReadWholeFile(dir.File("packed"), packed));
    ASSERT_TRUE(qwtest::ReadWholeFile(dir.File("again"), again));
    EXPECT_EQ(packed.substr(0, 18), again.substr(0, 18));

    qwp::SetResourceFileForTesting(dir.File("packed").c_str());
    const void* data = nullptr;
    size_t size = 0;
    ASSERT_TRUE(qwp::FindResource("qws4", "QWS4", &data, &size));
    EXPECT_EQ(Bytes(data, size), std::string("\1\2\3\4\5", 5));
    ASSERT_TRUE(qwp::FindResource("text", "readme", &data, &size));
    EXPECT_EQ(Bytes(data, size), "hi");
    ASSERT_TRUE(qwp::FindResource("Text", "Empty", &data, &size));
    EXPECT_EQ(size, 0u);

    std::vector<qwp::ResourceBlock> read;
    ASSERT_TRUE(qwp::ReadResourceTable(dir.File("again").c_str(), read, error));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].data, (std::vector<uint8_t>{9, 8, 7}));

    // Damage: a cut file, a directory pointing past the table, a table start past the directory.
    struct Damage {
        const char* what;
        size_t at;       // byte from the end to change, 0 to cut one byte from the front of the footer
        char value;
    };
    for (Damage d : {Damage{"cut", 0, 0}, Damage{"size past the table", 33, 0x40},
                     Damage{"table start", 25, 0x7f}, Damage{"magic", 1, 'x'}}) {
        std::string bad = packed;
        if (d.at == 0) bad.erase(bad.size() - 32, 1);
        else bad[bad.size() - d.at] = d.value;
        std::string name = dir.File(std::string("bad-") + std::to_string(d.at));
        ASSERT_TRUE(qwtest::WriteWholeFile(name, bad));
        qwp::SetResourceFileForTesting(name.c_str());
        EXPECT_FALSE(qwp::FindResource("qws4", "qws4", &data, &size)) << d.what;
        EXPECT_FALSE(qwp::ReadResourceTable(name.c_str(), read, error)) << d.what;
    }
}
