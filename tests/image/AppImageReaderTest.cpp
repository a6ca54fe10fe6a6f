// The application-file reader end to end: a file on disk in, an AppImage or the exact messages
// out, and the file itself left as it was. Cases are tables compared byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "image/AppImageReader.h"
#include "image/ImageBuffer.h"
#include "image/ImageTestSupport.h"
#include "platform/UniqueFd.h"
#include "resources/Messages.h"

namespace omblor::image {
namespace {

using testing::CollectingSink;
using testing::Record;
using testing::ScratchDir;
using Bytes = std::vector<std::uint8_t>;
using Shown = std::vector<std::string>;

const std::string kCrLf = "\r\n";
const std::string kSumError = "S record checksum error \n";
const std::string kOrder = "Srecords must be in asending order \n";
const std::string kGap = "Conversion Error \n";
const std::string kCutShort = "S record cut short by end of file \n";
const std::string kCountTooSmall = "S record count too small for its address \n";
const std::string kNoData = "No data records in file";

struct Loaded {
    std::optional<AppImage> image;
    CollectingSink sink;
};

Loaded LoadPath(const std::string& path) {
    Loaded loaded;
    loaded.image = LoadAppImage(path, loaded.sink);
    return loaded;
}

// The image is built over the text: the file must not change, nor the image when the file does.
Loaded LoadText(const std::string& text) {
    const ScratchDir dir;
    const std::string path = dir.Write("test_APP.s19", text);
    Loaded loaded = LoadPath(path);
    EXPECT_TRUE(ScratchDir::Read(path) == text) << "the file was written to";
    dir.Write("test_APP.s19", std::string(text.size() + 8192, 'x'));
    return loaded;
}

struct Case {
    const char* name;
    std::string text;
    // Accepted: header, base and image bytes. Refused: the messages and the record's offset.
    std::string header;
    std::uint32_t base = 0;
    Bytes bytes;
    Shown shown;
    std::optional<std::size_t> recordAt;
};

Case Image(const char* name, std::string text, std::uint32_t base, Bytes bytes,
           std::string header = "") {
    return {name, std::move(text), std::move(header), base, std::move(bytes), {}, {}};
}

Case Refused(const char* name, std::string text, Shown shown,
             std::optional<std::size_t> recordAt = {}) {
    return {name, std::move(text), "", 0, {}, std::move(shown), recordAt};
}

void Expect(const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded loaded = LoadText(c.text);
        EXPECT_EQ(loaded.sink.shown, c.shown);
        EXPECT_EQ(loaded.sink.recordAt, c.recordAt);
        ASSERT_EQ(loaded.image.has_value(), c.shown.empty());
        if (!loaded.image) continue;
        EXPECT_EQ(loaded.image->headerText, c.header);
        EXPECT_EQ(loaded.image->baseAddress, c.base);
        EXPECT_EQ(Bytes(loaded.image->Bytes().begin(), loaded.image->Bytes().end()), c.bytes);
    }
}

TEST(HeaderText, is_the_first_line_after_s0_as_it_stands) {
    const std::string data = Record(1, 0x1000, {1, 2, 3, 4});
    const Bytes image = {1, 2, 3, 4};
    Expect({
        Image("CR LF", "S0QX19-512" + kCrLf + data + kCrLf, 0x1000, image, "QX19-512"),
        Image("LF only", "S0QX19\n" + data + "\n", 0x1000, image, "QX19"),
        Image("CR only", "S0QX19\r" + data + "\r", 0x1000, image, "QX19"),
        Image("blanks kept", "S0 QX19 " + kCrLf + data, 0x1000, image, " QX19 "),
        Image("cut to 79", "S0" + std::string(100, 'N') + kCrLf + data, 0x1000, image,
              std::string(79, 'N')),
        Image("no S0", data + kCrLf + "S0QX19" + kCrLf, 0x1000, image),
        Image("lower-case s0", "s0QX19" + kCrLf + data, 0x1000, image),
        Refused("no line end at all", "S0QX19" + data, {kNoData}),
    });
}

TEST(SlashPath, only_the_exact_pattern_is_rewritten_and_the_result_opened) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"//c/dir/file", "c:\\dir\\file"},
        {"//c/", "c:\\"},
        {"//d/a\\b/c", "d:\\a\\b\\c"},
        {"//server/share/x", "//server/share/x"},
        {"c:/dir/file", "c:/dir/file"},
        {"//c", "//c"},
        {"/c/dir", "/c/dir"},
        {"", ""}};
    for (const auto& [in, out] : cases) {
        std::string path = in;
        ConvertSlashPath(path);
        EXPECT_EQ(path, out) << in;
    }
    const ScratchDir dir;
    dir.Write("c:\\dir\\file", "S0A\n" + Record(1, 0, {7, 7, 7, 7}) + "\n");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const Loaded loaded = LoadPath("//c/dir/file");
    std::filesystem::current_path(previous);
    EXPECT_TRUE(loaded.image);
}

TEST(OpenFailure, unreadable_names_show_failed_to_open) {
    const ScratchDir dir;
    const std::string good = dir.Write("a_APP.s19", Record(1, 0, {1, 2, 3, 4}) + kCrLf);
    // A real file reached through a 258-character path (slashes repeated) is accepted.
    const std::string path258 = dir.path().string() +
                                std::string(kMaxPathLength - good.size(), '/') +
                                good.substr(dir.path().string().size());
    ASSERT_EQ(path258.size(), kMaxPathLength);
    EXPECT_TRUE(LoadPath(path258).image);

    for (const std::string& path : {std::string("/nonexistent/x_APP.s19"), dir.path().string(),
                                    "/" + path258, good + std::string(1, '\0') + "x"}) {
        SCOPED_TRACE(path);
        const Loaded loaded = LoadPath(path);
        EXPECT_FALSE(loaded.image);
        EXPECT_EQ(loaded.sink.shown, Shown{"Failed to open file"});
    }
}

// Another program cutting the file short while it is being read: the pages it lost read as
// zeros instead of killing the process, and the buffer says the text is not whole.
TEST(OpenFailure, a_file_cut_short_while_it_is_read_is_not_whole) {
    const ScratchDir dir;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::string path = dir.Write("cut_APP.s19", std::string(3 * page, 'S'));
    const platform::UniqueFd fd(::open(path.c_str(), O_RDWR));
    for (const bool cut : {false, true}) {
        auto buffer = ImageBuffer::MapFile(fd.Get(), 3 * page);
        ASSERT_TRUE(buffer);
        if (cut) {
            ASSERT_EQ(::ftruncate(fd.Get(), static_cast<off_t>(page)), 0);
        }
        EXPECT_EQ(buffer->data()[0], 'S');
        EXPECT_EQ(buffer->data()[2 * page], cut ? 0 : 'S');
        buffer->Keep(page / 2);
        EXPECT_EQ(buffer->ReadWhole(), !cut);
    }
}

TEST(Records, data_is_placed_by_type_and_address) {
    const std::string a = Record(1, 0x1000, {1, 2, 3, 4}) + kCrLf;
    const std::string b = Record(1, 0x1004, {5, 6, 7, 8}) + kCrLf;
    const Bytes ab = {1, 2, 3, 4, 5, 6, 7, 8};
    Bytes at16(0x18, 0);
    at16[0] = 0xAA;
    at16[0x16] = 0xBB;
    Expect({
        Image("S2", Record(2, 0x123456, {9, 8}), 0x123456, {9, 8}),
        Image("S3", Record(3, 0x80000000, {1, 2, 3, 4}), 0x80000000, {1, 2, 3, 4}),
        // The first of the five address bytes is shifted out.
        Image("S4", Record(4, 0x0102030405, {1, 2, 3}), 0x02030405, {1, 2, 3}),
        Image("lower-case digits", "S1071000abcdef0081", 0x1000, {0xAB, 0xCD, 0xEF, 0}),
        Image("lower-case s is no record", a + "s1051004aabb85\r\n", 0x1000, {1, 2, 3, 4}),
        Image("records on one line, text between",
              "junk " + Record(1, 0, {1, 2}) + " and " + Record(1, 2, {3, 4}) + "\n", 0,
              {1, 2, 3, 4}),
        Image("a zero byte ends the text", a + std::string(1, '\0') + b, 0x1000, {1, 2, 3, 4}),
        Image("no data bytes", Record(1, 0x2000, {}), 0x2000, {}),
        Image("addresses wrap at 32 bits", Record(3, 0xFFFFFFFE, {1, 2, 3, 4}), 0xFFFFFFFE,
              {1, 2, 3, 4, 0, 0}),
        Image("end and count records passed over",
              a + Record(7, 0x1000, {}) + Record(8, 0x1000, {}) + Record(9, 0x1000, {}) +
                  Record(5, 1, {}) + Record(6, 1, {}) + kCrLf + b,
              0x1000, ab),
        Image("S9 with a wrong checksum is only text", a + "S9030000FF" + kCrLf + b, 0x1000, ab),
        Image("gap", a + Record(1, 0x1008, {5, 6, 7, 8}), 0x1000,
              {1, 2, 3, 4, 0, 0, 0, 0, 5, 6, 7, 8}),
        // 12 characters and CR LF, then a record whose data starts at offset 22.
        Image("gap ending exactly at the data",
              Record(1, 0, {0xAA}) + kCrLf + Record(1, 0x16, {0xBB}), 0, at16),
        Image("end padded to 4", Record(1, 0x1000, {1, 2, 3, 4, 5}), 0x1000,
              {1, 2, 3, 4, 5, 0, 0, 0}),
        Image("end already aligned", Record(1, 0x1002, {1, 2}), 0x1002, {1, 2}),
        Image("end address aligned, not length", Record(1, 0x1001, {1, 2, 3, 4}), 0x1001,
              {1, 2, 3, 4, 0, 0, 0}),
    });
}

TEST(Records, text_over_pages_is_read_to_its_last_byte_and_built_right_behind_the_scan) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::string first = Record(1, 0, {1, 2, 3, 4}) + kCrLf;
    const std::string last = Record(1, 4, {5, 6, 7, 8});
    const auto filled = [&](std::size_t size, const std::string& end) {
        return first + std::string(size - first.size() - end.size(), ' ') + end;
    };
    // Each record's gap ends right where its data is read, page after page.
    std::string near = Record(3, 0x100, {0}) + kCrLf;
    Bytes image = {0};
    for (std::uint8_t i = 1; near.size() < 5 * page - 100; ++i) {
        // S3, count, four address bytes: the data starts 12 characters into the record.
        image.resize(near.size() + 12, 0);
        image.push_back(i);
        near += Record(3, 0x100 + image.size() - 1, {i}) + kCrLf;
    }
    image.resize((image.size() + 3) / 4 * 4, 0);
    Expect({
        Image("one page", filled(page, last), 0, {1, 2, 3, 4, 5, 6, 7, 8}),
        Image("two pages", filled(2 * page, last), 0, {1, 2, 3, 4, 5, 6, 7, 8}),
        Refused("cut by the page's end", filled(page, last.substr(0, last.size() - 1)), {kCutShort},
                page - last.size() + 1),
        Image("image right behind the scan", near, 0x100, image),
    });
}

// objcopy (binutils) writes random images as S-records; they read back to the same bytes.
TEST(Records, images_written_by_objcopy_read_back_byte_for_byte) {
    if (std::system("command -v objcopy >/dev/null 2>&1") != 0) GTEST_SKIP() << "no objcopy";
    const ScratchDir dir;
    std::mt19937 random(20034);
    const struct {
        std::size_t size;
        std::uint32_t base;
        int recordBytes;
        const char* extra;
    } shapes[] = {{1, 0, 16, ""},              // S1, one byte, padded
                  {300, 0x1002, 1, ""},        // one data byte a record
                  {5000, 0x12340, 32, ""},     // S2
                  {777, 0xFFFFF001, 250, ""},  // S3, the longest records objcopy writes
                  {3 << 20, 0x08000000, 64, "--srec-forceS3"}};  // many zero-search stretches
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.size);
        std::string image(shape.size, '\0');
        for (char& c : image) c = static_cast<char>(random());
        const std::string bin = dir.Write("image.bin", image);
        const std::string srec = (dir.path() / "image_APP.s19").string();
        const std::string command = "objcopy -I binary -O srec --change-addresses " +
                                    std::to_string(shape.base) + " --srec-len " +
                                    std::to_string(shape.recordBytes) + " " + shape.extra + " " +
                                    bin + " " + srec;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const Loaded loaded = LoadPath(srec);
        ASSERT_TRUE(loaded.image);
        EXPECT_EQ(loaded.image->baseAddress, shape.base);
        image.resize(shape.size + (4 - (shape.base + shape.size) % 4) % 4, '\0');
        const auto bytes = loaded.image->Bytes();
        EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == image);
    }
}

TEST(Refusals, checksums_order_gaps_short_records_and_files_without_data) {
    const std::string header = "S0QX19" + kCrLf;
    const std::string ok = Record(1, 0x1000, {1, 2, 3, 4}) + kCrLf;
    const std::string first = Record(1, 0, {0xAA}) + kCrLf;
    const std::string s3 = Record(3, 0x10000, {1, 2, 3, 4, 5, 6, 7, 8});
    Expect({
        // 05 + 10 + 00 + AA + BB = 0x17A, plus checksum 00: sum 0x7a.
        Refused("wrong checksum byte", header + Record(1, 0x1000, {0xAA, 0xBB}, 0x00),
                {"Checksum Error 7a\n", kSumError}, 8),
        Refused("no leading zeros", Record(1, 0, {0xF0}, 0x10), {"Checksum Error 4\n", kSumError},
                0),
        Refused("count of zero", header + "S100" + kCrLf, {"Checksum Error 0\n", kSumError}, 8),
        Refused("stray character", header + "S1051000AAGB85", {"Checksum Error 4f\n", kSumError},
                8),
        // Longer than one decoding block of 16 bytes.
        Refused("long record", Record(3, 0, Bytes(40, 0x11), 0x12),
                {"Checksum Error e7\n", kSumError}, 0),
        Refused("checksum before order", Record(1, 8, {1}) + kCrLf + Record(1, 0, {1}, 0),
                {"Checksum Error 5\n", kSumError}, 14),
        Refused("reverse order", Record(1, 0x1008, {1}) + kCrLf + ok, {kOrder}, 14),
        Refused("overlap by one byte", ok + Record(1, 0x1003, {1, 2, 3, 4}), {kOrder}, 20),
        Refused("gap one past the text read", first + Record(1, 0x17, {0xBB}), {kGap}, 14),
        Refused("4095-byte gap", first + Record(1, 0x1000, {0xBB}), {kGap}, 14),
        Refused("S1 count 2", ok + "S10200FD" + kCrLf, {kCountTooSmall}, 20),
        Refused("S3 count 4", ok + "S304000000FB" + kCrLf, {kCountTooSmall}, 20),
        Refused("S7 count 1", ok + "S701FE" + kCrLf, {kCountTooSmall}, 20),
        Refused("cut by end of file", ok + s3.substr(0, s3.size() - 1), {kCutShort}, 20),
        Refused("cut inside the count", ok + "S3F", {kCutShort}, 20),
        Refused("cut by a zero byte", ok + s3.substr(0, 20) + '\0' + s3.substr(21), {kCutShort},
                20),
        Refused("empty file", "", {kNoData}),
        Refused("header only", "S0QX19" + kCrLf, {kNoData}),
        Refused("end records only", Record(5, 0, {}) + kCrLf + Record(9, 0, {}), {kNoData}),
        Refused("zero byte first", std::string(1, '\0') + ok, {kNoData}),
    });
}

TEST(Refusals, files_too_large_for_32_bit_lengths_or_for_memory) {
    const ScratchDir dir;
    // Sparse files: no disk is used.
    const std::string big = dir.Write("big_APP.s19", "");
    ASSERT_EQ(::truncate(big.c_str(), off_t{1} << 32), 0);
    EXPECT_EQ(LoadPath(big).sink.shown, Shown{"File too large"});
#ifndef __SANITIZE_ADDRESS__  // it reserves more address space than the limit below allows
    const std::string huge = dir.Write("huge_APP.s19", "");
    ASSERT_EQ(::truncate(huge.c_str(), off_t{3} << 30), 0);
    // In a child, with the address space capped well below the 3 GiB the buffer needs.
    EXPECT_EXIT(
        {
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = rlim_t{1} << 30;
            ::setrlimit(RLIMIT_AS, &limit);
            const Loaded loaded = LoadPath(huge);
            std::_Exit(!loaded.image && loaded.sink.shown == Shown{"Not enough memory to read file"}
                           ? 0
                           : 1);
        },
        ::testing::ExitedWithCode(0), "");
#endif
}

}  // namespace
}  // namespace omblor::image
