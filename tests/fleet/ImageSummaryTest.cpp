// upgrader-cli --inspect: what a firmware file is, from the file alone, as text and as one JSON object.
#include "CliRun.h"

#include "Protocol.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::uint32_t ByteSum(const std::string& bytes)
{
    std::uint32_t sum = 0;
    for (char c : bytes)
        sum += static_cast<unsigned char>(c);
    return sum;
}

std::string Hex8(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

struct InspectCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines; // what the output must hold, each a whole line
    int exitCode;
};

void PrintTo(const InspectCase& c, std::ostream* os)
{
    *os << c.name;
}

std::string MImage(const std::string& suffix)
{
    std::string image = FirmwareBytes('M', 3 * FRAGMENT_SIZE);
    image.replace(2, 3, suffix);
    return image;
}

class Inspect : public ::testing::TestWithParam<InspectCase> {};

TEST_P(Inspect, PrintsWhatASessionWouldAnnounce)
{
    const InspectCase& c = GetParam();
    TempDir dir;
    const std::string firmware = dir.Write("image.frm", c.bytes);
    const CliResult cli = RunCli({"--inspect", firmware});
    EXPECT_TRUE(cli.end.exited);
    EXPECT_EQ(cli.end.code, c.exitCode);
    EXPECT_EQ(cli.err, "");
    for (const std::string& line : c.lines)
        EXPECT_NE(("\n" + cli.out).find("\n" + line + "\n"), std::string::npos) << line << "\nin\n" << cli.out;
    const std::uint32_t sum = ByteSum(c.bytes);
    const std::string checksum = "checksum:   " + std::to_string(sum) + " (0x" + Hex8(sum) + "), in the header " +
                                 Hex8(sum).substr(0, 2) + " " + Hex8(sum).substr(2, 2) + " " + Hex8(sum).substr(4, 2) +
                                 " " + Hex8(sum).substr(6, 2) + "\n";
    EXPECT_NE(cli.out.find(checksum), std::string::npos) << checksum << "in\n" << cli.out;
    EXPECT_NE(cli.out.find("header:     can describe this file\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Inspect,
    ::testing::Values(
        InspectCase{"ShortFinalPiece", FirmwareBytes('F', 3 * FRAGMENT_SIZE + 100),
                    {"type tag:   SKYLARK_FIRMWARE, chosen by the first byte 'F' (0x46)", "length:     30820 bytes (30.1 KiB)",
                     "fragments:  3 of 10240 bytes, then a final piece of 100 bytes: 4 pieces"},
                    0},
        InspectCase{"WholeFragmentsOnly", FirmwareBytes('L', 2 * FRAGMENT_SIZE),
                    {"type tag:   ORB_Q48_FIRMWARE, chosen by the first byte 'L' (0x4C)",
                     "fragments:  2 of 10240 bytes, no final piece: 2 pieces"},
                    0},
        InspectCase{"SmallerThanAFragment", FirmwareBytes('B', 5000),
                    {"type tag:   SKYLARK_FIRMWARE, chosen by the first byte 'B' (0x42)",
                     "fragments:  0 of 10240 bytes, then a final piece of 5000 bytes: 1 pieces"},
                    0},
        InspectCase{"TagFromImageBytes", MImage("123"), {"type tag:   ORB_FIRMWARE_123, chosen by the first byte 'M' (0x4D)"}, 0},
        // The camera would read the tag only up to the zero; the bytes after it travel all the same.
        InspectCase{"ZeroInsideTheTag", MImage(std::string("1\0" "3", 3)), {"type tag:   ORB_FIRMWARE_1\\x003, chosen by the first byte 'M' (0x4D)"}, 0},
        InspectCase{"ShortMImage", std::string("M\x01" "7", 3), {"type tag:   ORB_FIRMWARE_7, chosen by the first byte 'M' (0x4D)"}, 0},
        InspectCase{"LowerCaseFirstByte", FirmwareBytes('f', 20000),
                    {"Not Allowed Firmware", "type tag:   none: the first byte 'f' (0x66) selects no type tag"}, 1},
        InspectCase{"ControlFirstByte", std::string("\x1b[2J", 4),
                    {"Not Allowed Firmware", "type tag:   none: the first byte 0x1B selects no type tag"}, 1},
        InspectCase{"Empty", "", {"Not Allowed Firmware", "type tag:   none: the file is empty", "length:     0 bytes (0 B)"}, 1}),
    [](const ::testing::TestParamInfo<InspectCase>& info) { return info.param.name; });

TEST(InspectJson, OneObjectWithEveryFact)
{
    TempDir dir;
    const std::string image = FirmwareBytes('F', 3 * FRAGMENT_SIZE + 100);
    const std::string firmware = dir.Write("image.frm", image);
    const std::uint32_t sum = ByteSum(image);
    const CliResult cli = RunCli({"--inspect", "--json", firmware});
    EXPECT_TRUE(cli.end.exited && cli.end.code == 0);
    EXPECT_EQ(cli.out, "{\"file\":\"" + firmware +
                           "\",\"allowed\":true,\"first_byte\":70,\"type_tag\":\"SKYLARK_FIRMWARE\",\"length\":30820,"
                           "\"checksum\":" +
                           std::to_string(sum) + ",\"checksum_hex\":\"" + Hex8(sum) +
                           "\",\"fragment_size\":10240,\"full_fragments\":3,\"final_piece\":100,\"pieces\":4,"
                           "\"describable\":true}\n");

    const std::string refused = dir.Write("refused.frm", FirmwareBytes('m', 10));
    const CliResult notAllowed = RunCli({"--inspect", "--json", refused});
    EXPECT_TRUE(notAllowed.end.exited && notAllowed.end.code == 1);
    EXPECT_NE(notAllowed.out.find("\"allowed\":false,\"message\":\"Not Allowed Firmware\",\"first_byte\":109,"
                                  "\"type_tag\":null,\"length\":10,"),
              std::string::npos)
        << notAllowed.out;

    const CliResult missing = RunCli({"--inspect", "--json", dir.Path("missing.frm")});
    EXPECT_TRUE(missing.end.exited && missing.end.code == 1);
    EXPECT_EQ(missing.out.rfind("{\"file\":", 0), 0u);
    EXPECT_NE(missing.out.find("\"error\":\"cannot read firmware file"), std::string::npos) << missing.out;
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos) << missing.err;
}

// The header's length field has 32 bits: a longer file is told as such, quickly, without reading it whole.
TEST(InspectJson, AFileTooLongForTheHeaderIsSaidToBeSo)
{
    constexpr std::uint64_t kLength = 0x100000000ull + 1;
    TempDir dir;
    const std::string path = dir.Write("huge.frm", "F");
    const int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const bool grown = ftruncate(fd, static_cast<off_t>(kLength)) == 0;
    close(fd);
    if (!grown)
        GTEST_SKIP() << "this file system cannot hold a sparse file of 4 GiB";

    const CliResult text = RunCli({"--inspect", path});
    EXPECT_TRUE(text.end.exited && text.end.code == 1);
    for (const char* line : {"type tag:   SKYLARK_FIRMWARE, chosen by the first byte 'F' (0x46)\n",
                             "length:     4294967297 bytes (4.0 GiB)\n", "checksum:   none: no header can carry this file\n",
                             "fragments:  419430 of 10240 bytes, then a final piece of 4097 bytes: 419431 pieces\n",
                             "header:     cannot describe this file: its length field holds at most 4294967295 bytes\n"})
        EXPECT_NE(text.out.find(line), std::string::npos) << line << "in\n" << text.out;
    const CliResult json = RunCli({"--inspect", "--json", path});
    EXPECT_TRUE(json.end.exited && json.end.code == 1);
    EXPECT_NE(json.out.find("\"length\":4294967297,\"checksum\":null,\"checksum_hex\":null,"), std::string::npos);
    EXPECT_NE(json.out.find("\"describable\":false}"), std::string::npos) << json.out;
}

} // namespace
