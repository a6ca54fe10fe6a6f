// omblorctl image as operators and scripts use it: what it prints, what it writes, its exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>

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
    const auto out = dir.path() / "stdout";
    const auto err = dir.path() / "stderr";
    const std::string command = "'" + std::string(bin != nullptr ? bin : ".") +
                                "/omblorctl' image " + args + " >'" + out.string() + "' 2>'" +
                                err.string() + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ScratchDir::Read(out),
            ScratchDir::Read(err)};
}

// "abc" at 0x1001 ends at 0x1004: no padding, so the fingerprint is the standard one of "abc".
const std::string kAbc = "S0QX19\r\n" + Record(1, 0x1001, {'a', 'b', 'c'}) + "\r\n";

TEST(ImageTool, info_describes_the_image_and_convert_writes_its_bytes) {
    const ScratchDir dir;
    const std::string file = dir.Write("abc_APP.s19", kAbc);
    const ToolRun info = Tool(dir, "info " + file);
    EXPECT_EQ(info.exitCode, 0);
    EXPECT_EQ(info.out,
              "header: QX19\nbase: 0x00001001\nlength: 3 (0x3)\n"
              "sha256: ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\n");
    EXPECT_EQ(info.err, "");

    // Through a symbolic link the target is written and the link stays.
    const std::string target = dir.Write("target.bin", "old contents");
    const auto link = dir.path() / "link.bin";
    std::filesystem::create_symlink(target, link);
    EXPECT_EQ(Tool(dir, "convert " + file + " " + link.string()).exitCode, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ScratchDir::Read(target), "abc");
    // A new file appears whole, with no temporary file left beside it.
    EXPECT_EQ(Tool(dir, "convert " + file + " " + (dir.path() / "new.bin").string()).exitCode, 0);
    EXPECT_EQ(ScratchDir::Read(dir.path() / "new.bin"), "abc");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("new.bin.")) << entry.path();
}

TEST(ImageTool, refusals_print_the_readers_messages_and_fail) {
    const ScratchDir dir;
    const std::string bad =
        dir.Write("bad_APP.s19", "S0QX19\r\n" + Record(1, 0x1000, {1}, 0x00) + "\r\n");
    const std::string out = (dir.path() / "out.bin").string();
    const std::string record =
        bad + ":2:1: record at byte offset 8\nChecksum Error 15\nS record checksum error \n";
    const std::string usage =
        "usage: omblorctl image info FILE\n       omblorctl image convert FILE OUT.bin\n";
    const struct {
        std::string args;
        int exitCode;
        std::string err;
    } cases[] = {{"info " + bad, 1, record},
                 {"convert " + bad + " " + out, 1, record},
                 // A file that cannot be read is a file error, not a refusal.
                 {"info " + dir.path().string() + "/missing_APP.s19", 2,
                  dir.path().string() + "/missing_APP.s19: No such file or directory\n"
                                        "Failed to open file\n"},
                 {"convert " + dir.path().string() + "/missing_APP.s19 " + out, 2,
                  dir.path().string() + "/missing_APP.s19: No such file or directory\n"
                                        "Failed to open file\n"},
                 {"", 2, usage},
                 {"convert " + bad, 2, usage}};
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
