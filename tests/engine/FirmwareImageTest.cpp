#include "FirmwareImage.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::string HeaderTag(const UpgradeHeader& header)
{
    return std::string(reinterpret_cast<const char*>(header.bytes.data()), HEADER_TYPE_TAG_SIZE);
}

std::string Padded(const std::string& tag) { return tag + std::string(HEADER_TYPE_TAG_SIZE - tag.size(), '\0'); }

TEST(UpgradeHeaderBuilding, WorkedExample)
{
    const auto image = Bytes("FAB");
    UpgradeHeader header;
    ASSERT_TRUE(BuildUpgradeHeader(image.data(), 3, header));
    UpgradeHeader expected;
    std::memcpy(expected.bytes.data(), "SKYLARK_FIRMWARE", 16);
    const std::uint8_t numbers[] = {0, 0, 0, 3, 0, 0, 0, 0xC9, 0, 0, 0x28, 0};
    std::memcpy(expected.bytes.data() + HEADER_IMAGE_LENGTH_OFFSET, numbers, sizeof numbers);
    EXPECT_EQ(header.bytes, expected.bytes);
}

struct TagCase {
    std::string image;
    bool allowed;
    std::string tagField; // the whole 32-byte field
};

class TypeTagChoice : public testing::TestWithParam<TagCase> {};

TEST_P(TypeTagChoice, FirstByteSelectsTheTag)
{
    const auto image = Bytes(GetParam().image);
    UpgradeHeader header;
    ASSERT_EQ(BuildUpgradeHeader(image.data(), static_cast<std::uint32_t>(image.size()), header), GetParam().allowed);
    if (GetParam().allowed) {
        EXPECT_EQ(HeaderTag(header), GetParam().tagField);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TypeTagChoice,
    testing::Values(TagCase{"Fxyz", true, Padded("SKYLARK_FIRMWARE")}, TagCase{"Bxyz", true, Padded("SKYLARK_FIRMWARE")},
                    TagCase{"Lxyz", true, Padded("ORB_Q48_FIRMWARE")},
                    TagCase{"Mx123yz", true, Padded("ORB_FIRMWARE_123")},
                    // a zero among the copied bytes ends the text early, but later bytes are still copied
                    TagCase{std::string("Mx1\0" "3", 5), true, Padded(std::string("ORB_FIRMWARE_1\0" "3", 16))},
                    // an 'M' image shorter than 5 bytes: missing bytes count as zero
                    TagCase{"Mx1", true, Padded("ORB_FIRMWARE_1")}, TagCase{"M", true, Padded("ORB_FIRMWARE_")},
                    TagCase{"f", false, ""}, TagCase{"b", false, ""}, TagCase{"l", false, ""},
                    TagCase{"m123", false, ""}, TagCase{"7", false, ""}, TagCase{"", false, ""}));

TEST(UpgradeHeaderBuilding, LengthAndFragmentSizeAreBigEndian)
{
    std::vector<std::uint8_t> image(66051, 0);
    image[0] = 'F';
    UpgradeHeader header;
    ASSERT_TRUE(BuildUpgradeHeader(image.data(), static_cast<std::uint32_t>(image.size()), header));
    const std::uint8_t length[] = {0x00, 0x01, 0x02, 0x03};
    const std::uint8_t fragment[] = {0x00, 0x00, 0x28, 0x00};
    EXPECT_EQ(0, std::memcmp(header.bytes.data() + HEADER_IMAGE_LENGTH_OFFSET, length, 4));
    EXPECT_EQ(0, std::memcmp(header.bytes.data() + HEADER_FRAGMENT_SIZE_OFFSET, fragment, 4));
    for (std::size_t i = HEADER_FRAGMENT_SIZE_OFFSET + 4; i < UPGRADE_HEADER_SIZE; ++i)
        EXPECT_EQ(header.bytes[i], 0) << "reserved byte " << i;

    image.resize(FRAGMENT_SIZE);
    ASSERT_TRUE(BuildUpgradeHeader(image.data(), FRAGMENT_SIZE, header));
    EXPECT_EQ(0, std::memcmp(header.bytes.data() + HEADER_IMAGE_LENGTH_OFFSET, fragment, 4));
}

TEST(Checksum, WrapsModulo2To32)
{
    const std::vector<std::uint8_t> image(16843010, 0xFF); // sums to 4294967550
    EXPECT_EQ(ImageChecksum(image.data(), image.size()), 0xFEu);
}

TEST(Checksum, MatchesAPlainSumAtEveryTailLength)
{
    std::vector<std::uint8_t> image(4099);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 131 + 7);
    for (std::size_t length : {0, 1, 7, 8, 9, 4095, 4099}) {
        std::uint32_t plain = 0;
        for (std::size_t i = 0; i < length; ++i)
            plain += image[i];
        EXPECT_EQ(ImageChecksum(image.data(), length), plain) << "length " << length;
    }
}

class FirmwareFileLoading : public testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("fwload-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string Write(const std::string& name, const std::string& content)
    {
        const auto path = dir / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    std::filesystem::path dir;
};

TEST_F(FirmwareFileLoading, ReadsTheWholeFile)
{
    const std::string content = std::string("F") + std::string(30000, '\x9c') + "end";
    const FirmwareLoad load = LoadFirmwareFile(Write("image.frm", content));
    ASSERT_TRUE(load.image) << load.error;
    ASSERT_EQ(load.image->length, content.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(load.image->data()), content.size()), content);
}

TEST_F(FirmwareFileLoading, EmptyFileLoadsButIsNotAllowed)
{
    const FirmwareLoad load = LoadFirmwareFile(Write("empty.frm", ""));
    ASSERT_TRUE(load.image);
    EXPECT_EQ(load.image->length, 0u);
    UpgradeHeader header;
    EXPECT_FALSE(BuildUpgradeHeader(load.image->data(), 0, header));
}

TEST_F(FirmwareFileLoading, UnreadableFilesFailWithThePathAndTheReason)
{
    struct Case {
        std::string path;
        std::string reason;
    };
    const Case cases[] = {
        {(dir / "missing.frm").string(), "No such file or directory"},
        {dir.string(), "Is a directory"},
    };
    for (const Case& c : cases) {
        const FirmwareLoad load = LoadFirmwareFile(c.path);
        EXPECT_FALSE(load.image);
        EXPECT_NE(load.error.find("\"" + c.path + "\""), std::string::npos) << load.error;
        EXPECT_NE(load.error.find(c.reason), std::string::npos) << load.error;
    }
}

TEST_F(FirmwareFileLoading, FileTheHeaderCannotDescribeIsRefusedBeforeReading)
{
    const auto path = dir / "huge.frm";
    { std::ofstream(path, std::ios::binary) << "F"; }
    std::error_code ec;
    std::filesystem::resize_file(path, 0x100000000ull, ec); // sparse: takes no disk space
    if (ec)
        GTEST_SKIP() << "this file system cannot hold a sparse 4 GiB file: " << ec.message();
    const FirmwareLoad load = LoadFirmwareFile(path.string());
    EXPECT_FALSE(load.image);
    EXPECT_NE(load.error.find("too large"), std::string::npos) << load.error;
    EXPECT_NE(load.error.find("4294967296"), std::string::npos) << load.error;
}

} // namespace
