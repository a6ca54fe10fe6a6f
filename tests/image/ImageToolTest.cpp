// omblor-image as operators and scripts use it: what it prints, what it writes, its exit codes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "image/ImageTestSupport.h"

namespace omblor::image {
namespace {

using testing::Record;
using testing::ScratchDir;

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ToolRun Tool(const ScratchDir& dir, const std::string& args) {
    const char* bin = std::getenv("OMBLOR_BIN_DIR");
    const std::string tool = std::string(bin != nullptr ? bin : ".") + "/omblor-image";
    const auto out = dir.path() / "stdout";
    const auto err = dir.path() / "stderr";
    const std::string command =
        "'" + tool + "' " + args + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ScratchDir::Read(out);
    run.err = ScratchDir::Read(err);
    return run;
}

// "abc" at 0x1001 ends at 0x1004: no padding, so the fingerprint is the standard one of "abc".
const std::string kAbc = "S0QX19\r\n" + Record(1, 0x1001, {'a', 'b', 'c'}) + "\r\n";

TEST(ImageTool, info_describes_the_image) {
    const ScratchDir dir;
    const std::string file = dir.Write("abc_APP.s19", kAbc);
    const ToolRun run = Tool(dir, "info " + file);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out,
              "header: QX19\n"
              "base: 0x00001001\n"
              "length: 3 (0x3)\n"
              "sha256: ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\n");
    EXPECT_EQ(run.err, "");
}

TEST(ImageTool, fingerprint_matches_sha256sum_of_the_converted_bytes) {
    const ScratchDir dir;
    // Several hash blocks and a length that is not a multiple of 64.
    std::string text;
    for (std::uint32_t i = 0; i < 40; ++i) {
        std::vector<std::uint8_t> data(25);
        for (std::size_t k = 0; k < data.size(); ++k)
            data[k] = static_cast<std::uint8_t>(i * 31 + k);
        text += Record(2, 0x20000 + 25 * i, data) + "\n";
    }
    const std::string file = dir.Write("many_APP.s19", text);
    const std::string bin = (dir.path() / "many.bin").string();
    ASSERT_EQ(Tool(dir, "convert " + file + " " + bin).exitCode, 0);
    const ToolRun info = Tool(dir, "info " + file);
    const std::string command = "sha256sum '" + bin + "' >'" + (dir.path() / "sum").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string sum = ScratchDir::Read(dir.path() / "sum").substr(0, 64);
    ASSERT_EQ(sum.size(), 64u);
    EXPECT_NE(info.out.find("length: 1000 (0x3E8)\nsha256: " + sum + "\n"), std::string::npos)
        << info.out;
}

TEST(ImageTool, convert_writes_the_image_bytes_through_links_and_into_new_files) {
    const ScratchDir dir;
    const std::string file = dir.Write("abc_APP.s19", kAbc);
    const std::string target = dir.Write("target.bin", "old contents");
    const auto link = dir.path() / "link.bin";
    std::filesystem::create_symlink(target, link);

    EXPECT_EQ(Tool(dir, "convert " + file + " " + link.string()).exitCode, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ScratchDir::Read(target), "abc");

    const auto fresh = dir.path() / "fresh.bin";
    EXPECT_EQ(Tool(dir, "convert " + file + " " + fresh.string()).exitCode, 0);
    EXPECT_EQ(ScratchDir::Read(fresh), "abc");
    // No temporary file is left beside it.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().find("fresh.bin."), std::string::npos)
            << entry.path();
    }
}

TEST(ImageTool, refusals_print_the_readers_messages_and_fail) {
    const ScratchDir dir;
    const std::string bad =
        dir.Write("bad_APP.s19", "S0QX19\r\n" + Record(1, 0x1000, {1}, 0x00) + "\r\n");
    const std::string out = (dir.path() / "out.bin").string();
    struct Case {
        std::string args;
        int exitCode;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"info " + bad, 1,
         bad + ":2:1: record at byte offset 8\nChecksum Error 15\nS record checksum error \n"},
        {"convert " + bad + " " + out, 1,
         bad + ":2:1: record at byte offset 8\nChecksum Error 15\nS record checksum error \n"},
        {"info " + dir.path().string() + "/missing_APP.s19", 1, "Failed to open file\n"},
        {"", 2, "usage: omblor-image info FILE\n       omblor-image convert FILE OUT.bin\n"},
        {"convert " + bad, 2,
         "usage: omblor-image info FILE\n       omblor-image convert FILE OUT.bin\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const ToolRun run = Tool(dir, c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace omblor::image
