// The application-file reader end to end: a file on disk in, an AppImage or the exact messages
// out. Cases are grouped by behaviour and compared byte for byte.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "image/AppImageReader.h"
#include "image/ImageTestSupport.h"
#include "image/InPlaceConverter.h"
#include "resources/Messages.h"

namespace omblor::image {
namespace {

using testing::CollectingSink;
using testing::Record;
using testing::ScratchDir;
using Bytes = std::vector<std::uint8_t>;

struct Loaded {
    std::optional<AppImage> image;
    std::vector<std::string> shown;
    std::optional<std::size_t> recordAt;

    [[nodiscard]] Bytes bytes() const {
        return image ? Bytes(image->Bytes().begin(), image->Bytes().end()) : Bytes{};
    }
};

Loaded LoadPath(const std::string& path) {
    CollectingSink sink;
    Loaded loaded;
    loaded.image = LoadAppImage(path, sink);
    loaded.shown = sink.shown;
    loaded.recordAt = sink.recordAt;
    return loaded;
}

Loaded LoadText(std::string_view text) {
    const ScratchDir dir;
    return LoadPath(dir.Write("test_APP.s19", text));
}

const std::string kCrLf = "\r\n";

// The record with its hex digits in lower case, "S1" kept.
std::string LowerDigits(std::string record) {
    std::transform(record.begin() + 2, record.end(), record.begin() + 2, [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    return record;
}

// ---- header text ----

TEST(HeaderText, is_the_first_line_after_s0_as_it_stands) {
    struct Case {
        const char* name;
        std::string text;
        std::string header;
    };
    const std::string data = Record(1, 0x1000, {1, 2, 3, 4});
    const std::vector<Case> cases = {
        {"CR LF", "S0QX19-512" + kCrLf + data + kCrLf, "QX19-512"},
        {"LF only", "S0QX19\n" + data + "\n", "QX19"},
        {"CR only", "S0QX19\r" + data + "\r", "QX19"},
        {"blanks kept", "S0 QX19 " + kCrLf + data + kCrLf, " QX19 "},
        {"cut to 79", "S0" + std::string(100, 'N') + kCrLf + data + kCrLf, std::string(79, 'N')},
        {"exactly 79", "S0" + std::string(79, 'M') + kCrLf + data + kCrLf, std::string(79, 'M')},
        {"no S0", data + kCrLf + "S0QX19" + kCrLf, ""},
        {"lower-case s0", "s0QX19" + kCrLf + data + kCrLf, ""},
        {"empty name", "S0" + kCrLf + data + kCrLf, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded loaded = LoadText(c.text);
        ASSERT_TRUE(loaded.image);
        EXPECT_EQ(loaded.image->headerText, c.header);
        EXPECT_EQ(loaded.bytes(), (Bytes{1, 2, 3, 4}));
    }
}

TEST(HeaderText, without_any_line_end_nothing_is_read) {
    const Loaded loaded = LoadText("S0QX19" + Record(1, 0x1000, {1, 2, 3, 4}));
    EXPECT_FALSE(loaded.image);
    EXPECT_EQ(loaded.shown, std::vector<std::string>{"No data records in file"});
}

// ---- path ----

TEST(SlashPath, only_the_exact_pattern_is_rewritten) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"//c/dir/file", "c:\\dir\\file"},
        {"//c/", "c:\\"},
        {"//d/a\\b/c", "d:\\a\\b\\c"},
        {"//server/share/x", "//server/share/x"},
        {"c:/dir/file", "c:/dir/file"},
        {"//c", "//c"},
        {"/c/dir", "/c/dir"},
        {"/tmp/x_APP.s19", "/tmp/x_APP.s19"},
        {"", ""},
    };
    for (const auto& [in, out] : cases) {
        std::string path = in;
        ConvertSlashPath(path);
        EXPECT_EQ(path, out) << in;
    }
}

TEST(SlashPath, converted_path_is_opened_as_given) {
    const ScratchDir dir;
    dir.Write("c:\\dir\\file", "S0A\n" + Record(1, 0, {7, 7, 7, 7}) + "\n");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const Loaded loaded = LoadPath("//c/dir/file");
    std::filesystem::current_path(previous);
    ASSERT_TRUE(loaded.image);
    EXPECT_EQ(loaded.bytes(), (Bytes{7, 7, 7, 7}));
}

TEST(SlashPath, ordinary_absolute_path_opens_unchanged) {
    const ScratchDir dir;
    const std::string path = dir.Write("x_APP.s19", Record(1, 0, {1, 2, 3, 4}) + kCrLf);
    ASSERT_EQ(path.front(), '/');
    EXPECT_TRUE(LoadPath(path).image);
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
    EXPECT_FALSE(LoadPath("/" + path258).image);

    for (const std::string& path : {std::string("/nonexistent/x_APP.s19"), dir.path().string(),
                                    "/" + path258, good + std::string(1, '\0') + "x"}) {
        SCOPED_TRACE(path);
        const Loaded loaded = LoadPath(path);
        EXPECT_FALSE(loaded.image);
        EXPECT_EQ(loaded.shown, std::vector<std::string>{"Failed to open file"});
    }
}

// ---- accepted files: golden images ----

struct Golden {
    const char* name;
    std::string text;
    std::uint32_t base;
    Bytes bytes;
};

void ExpectImages(const std::vector<Golden>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded loaded = LoadText(c.text);
        ASSERT_TRUE(loaded.image) << (loaded.shown.empty() ? "" : loaded.shown[0]);
        EXPECT_TRUE(loaded.shown.empty());
        EXPECT_EQ(loaded.image->baseAddress, c.base);
        EXPECT_EQ(loaded.image->length, c.bytes.size());
        EXPECT_EQ(loaded.bytes(), c.bytes);
    }
}

TEST(Records, data_is_placed_by_type_and_address) {
    ExpectImages({
        {"S2 with 3 address bytes", Record(2, 0x123456, {9, 8}) + kCrLf, 0x123456, {9, 8}},
        {"S3 with 4 address bytes",
         Record(3, 0x80000000, {1, 2, 3, 4}) + kCrLf,
         0x80000000,
         {1, 2, 3, 4}},
        // The first of the five address bytes is shifted out.
        {"S4 keeps the low 32 bits",
         Record(4, 0x0102030405, {1, 2, 3}) + kCrLf,
         0x02030405,
         {1, 2, 3}},
        {"lower-case digits",
         LowerDigits(Record(1, 0x1000, {0xAA, 0xBB, 0xCD, 0xEF})) + kCrLf,
         0x1000,
         {0xAA, 0xBB, 0xCD, 0xEF}},
        {"lower-case s is no record",
         Record(1, 0x10, {1, 2, 3, 4}) + kCrLf + "s1051000aabb85\r\n",
         0x10,
         {1, 2, 3, 4}},
        {"records on one line, text between",
         "junk " + Record(1, 0, {1, 2}) + " and " + Record(1, 2, {3, 4}) + "\n",
         0,
         {1, 2, 3, 4}},
        {"no final line end", Record(1, 0, {1, 2, 3, 4}), 0, {1, 2, 3, 4}},
        {"a zero byte ends the text",
         Record(1, 0, {1, 2, 3, 4}) + kCrLf + std::string(1, '\0') + Record(1, 4, {5}) + kCrLf,
         0,
         {1, 2, 3, 4}},
        {"no data bytes", Record(1, 0x2000, {}) + kCrLf, 0x2000, {}},
        {"addresses wrap at 32 bits",
         Record(3, 0xFFFFFFFE, {1, 2, 3, 4}) + kCrLf,
         0xFFFFFFFE,
         {1, 2, 3, 4, 0, 0}},
    });
}

TEST(Records, end_and_count_records_are_passed_over_anywhere) {
    const std::string a = Record(1, 0x1000, {1, 2, 3, 4}) + kCrLf;
    const std::string b = Record(1, 0x1004, {5, 6, 7, 8}) + kCrLf;
    ExpectImages({
        {"S7", a + Record(7, 0x1000, {}) + kCrLf + b, 0x1000, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"S8", a + Record(8, 0x1000, {}) + kCrLf + b, 0x1000, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"S9", a + Record(9, 0x1000, {}) + kCrLf + b, 0x1000, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"S5", a + Record(5, 1, {}) + kCrLf + b, 0x1000, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"S6", a + Record(6, 1, {}) + kCrLf + b, 0x1000, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"S9 with a wrong checksum is only text",
         a + "S9030000FF" + kCrLf + b,
         0x1000,
         {1, 2, 3, 4, 5, 6, 7, 8}},
    });
}

TEST(Records, gaps_are_zero_filled_up_to_the_text_already_read) {
    // 12 characters and CR LF, then a record whose data starts at offset 22.
    const std::string first = Record(1, 0, {0xAA}) + kCrLf;
    ASSERT_EQ(first.size(), 14u);
    Bytes at16(0x18, 0);
    at16[0] = 0xAA;
    at16[0x16] = 0xBB;
    ExpectImages({
        {"two S1 with a gap",
         Record(1, 0x1000, {1, 2, 3, 4}) + kCrLf + Record(1, 0x1008, {5, 6, 7, 8}) + kCrLf,
         0x1000,
         {1, 2, 3, 4, 0, 0, 0, 0, 5, 6, 7, 8}},
        {"gap ending exactly at the data", first + Record(1, 0x16, {0xBB}) + kCrLf, 0, at16},
    });
}

TEST(Records, end_address_is_padded_to_a_multiple_of_four) {
    ExpectImages({
        {"5 bytes at 0x1000",
         Record(1, 0x1000, {1, 2, 3, 4, 5}) + kCrLf,
         0x1000,
         {1, 2, 3, 4, 5, 0, 0, 0}},
        {"2 bytes at 0x1002", Record(1, 0x1002, {1, 2}) + kCrLf, 0x1002, {1, 2}},
        {"4 bytes at 0x1001",
         Record(1, 0x1001, {1, 2, 3, 4}) + kCrLf,
         0x1001,
         {1, 2, 3, 4, 0, 0, 0}},
    });
}

// ---- refused files: exact messages ----

struct Refused {
    const char* name;
    std::string text;
    std::vector<std::string> shown;
    std::optional<std::size_t> recordAt;
};

void ExpectRefusals(const std::vector<Refused>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded loaded = LoadText(c.text);
        EXPECT_FALSE(loaded.image);
        EXPECT_EQ(loaded.shown, c.shown);
        EXPECT_EQ(loaded.recordAt, c.recordAt);
    }
}

TEST(Refusals, checksum_errors_show_the_computed_sum) {
    const std::string header = "S0QX19" + kCrLf;
    ExpectRefusals({
        // 05 + 10 + 00 + AA + BB = 0x17A, plus checksum 00: sum 0x7a.
        {"wrong checksum byte",
         header + Record(1, 0x1000, {0xAA, 0xBB}, 0x00) + kCrLf,
         {"Checksum Error 7a\n", "S record checksum error \n"},
         8},
        {"no leading zeros",
         Record(1, 0, {0xF0}, 0x10) + kCrLf,
         {"Checksum Error 4\n", "S record checksum error \n"},
         0},
        {"count of zero",
         header + "S100" + kCrLf,
         {"Checksum Error 0\n", "S record checksum error \n"},
         8},
        {"stray character",
         header + "S1051000AAGB85" + kCrLf,
         {"Checksum Error 4f\n", "S record checksum error \n"},
         8},
        {"checksum before order",
         Record(1, 8, {1}) + kCrLf + Record(1, 0, {1}, 0),
         {"Checksum Error 5\n", "S record checksum error \n"},
         14},
        {"first failure only",
         Record(1, 0, {1}, 0) + kCrLf + Record(1, 0, {1}, 0) + kCrLf,
         {"Checksum Error 5\n", "S record checksum error \n"},
         0},
    });
}

TEST(Refusals, records_out_of_order_or_too_far_ahead) {
    const std::string first = Record(1, 0, {0xAA}) + kCrLf;
    ExpectRefusals({
        {"reverse order",
         Record(1, 0x1008, {1, 2, 3, 4}) + kCrLf + Record(1, 0x1000, {1, 2, 3, 4}) + kCrLf,
         {"Srecords must be in asending order \n"},
         20},
        {"overlap by one byte",
         Record(1, 0x1000, {1, 2, 3, 4}) + kCrLf + Record(1, 0x1003, {1, 2, 3, 4}) + kCrLf,
         {"Srecords must be in asending order \n"},
         20},
        {"gap one past the text read",
         first + Record(1, 0x17, {0xBB}) + kCrLf,
         {"Conversion Error \n"},
         14},
        {"4095-byte gap", first + Record(1, 0x1000, {0xBB}) + kCrLf, {"Conversion Error \n"}, 14},
    });
}

TEST(Refusals, files_without_data_records) {
    ExpectRefusals({
        {"empty file", "", {"No data records in file"}, std::nullopt},
        {"header only", "S0QX19" + kCrLf, {"No data records in file"}, std::nullopt},
        {"end records only",
         "S0QX19" + kCrLf + Record(5, 0, {}) + kCrLf + Record(9, 0, {}) + kCrLf,
         {"No data records in file"},
         std::nullopt},
        {"zero byte first",
         std::string(1, '\0') + Record(1, 0, {1}) + kCrLf,
         {"No data records in file"},
         std::nullopt},
    });
}

TEST(Refusals, records_too_short_for_their_fields_or_the_text) {
    const std::string ok = Record(1, 0, {1, 2, 3, 4}) + kCrLf;
    const std::string s3 = Record(3, 0x10000, {1, 2, 3, 4, 5, 6, 7, 8});
    ExpectRefusals({
        {"S1 count 2",
         ok + "S10200FD" + kCrLf,
         {"S record count too small for its address \n"},
         20},
        {"S3 count 4",
         ok + "S304000000FB" + kCrLf,
         {"S record count too small for its address \n"},
         20},
        {"S7 count 1", ok + "S701FE" + kCrLf, {"S record count too small for its address \n"}, 20},
        {"cut by end of file",
         ok + s3.substr(0, s3.size() - 1),
         {"S record cut short by end of file \n"},
         20},
        {"cut inside the count", ok + "S3F", {"S record cut short by end of file \n"}, 20},
        {"cut by a zero byte",
         ok + s3.substr(0, 20) + std::string(1, '\0') + s3.substr(21) + kCrLf,
         {"S record cut short by end of file \n"},
         20},
    });
}

TEST(Refusals, file_of_four_gibibytes_is_too_large) {
    const ScratchDir dir;
    const std::string path = dir.Write("big_APP.s19", "");
    // Sparse: no disk is used.
    ASSERT_EQ(::truncate(path.c_str(), off_t{1} << 32), 0);
    const Loaded loaded = LoadPath(path);
    EXPECT_FALSE(loaded.image);
    EXPECT_EQ(loaded.shown, std::vector<std::string>{"File too large"});
}

#if defined(__SANITIZE_ADDRESS__)
#define OMBLOR_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OMBLOR_UNDER_ASAN 1
#endif
#endif

TEST(Refusals, buffer_not_granted_is_shown_not_a_crash) {
#ifdef OMBLOR_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit allows";
#else
    const ScratchDir dir;
    const std::string path = dir.Write("huge_APP.s19", "");
    ASSERT_EQ(::truncate(path.c_str(), off_t{3} << 30), 0);
    // In a child, with the address space capped well below the 3 GiB the buffer needs.
    EXPECT_EXIT(
        {
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = rlim_t{1} << 30;
            ::setrlimit(RLIMIT_AS, &limit);
            const Loaded loaded = LoadPath(path);
            const bool asExpected =
                !loaded.image &&
                loaded.shown == std::vector<std::string>{"Not enough memory to read file"};
            std::_Exit(asExpected ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
#endif
}

// ---- reading in stretches ----

class FailingSource final : public TextSource {
  public:
    explicit FailingSource(std::string text) : text_(std::move(text)) {}
    std::optional<std::size_t> Read(std::uint8_t* into, std::size_t room) override {
        if (at_ == text_.size()) return std::nullopt;
        const std::size_t n = std::min({room, text_.size() - at_, std::size_t{7}});
        std::memcpy(into, text_.data() + at_, n);
        at_ += n;
        return n;
    }

  private:
    std::string text_;
    std::size_t at_ = 0;
};

TEST(Reading, a_read_error_is_shown_as_such) {
    // Whole records before the error, and one cut by it.
    for (const std::string& text :
         {Record(1, 0, {1, 2, 3, 4}) + kCrLf, Record(1, 0, {1, 2, 3, 4}).substr(0, 9)}) {
        std::vector<std::uint8_t> buffer(text.size() + 100);
        FailingSource source(text);
        CollectingSink sink;
        EXPECT_FALSE(InPlaceConverter::Convert(buffer, source, sink));
        EXPECT_EQ(sink.shown, std::vector<std::string>{"Failed to read file"});
    }
}

TEST(Reading, large_file_over_many_stretches_matches_its_records) {
    // Over 2 MiB of text: the mapped buffer, and records split across reads.
    std::string text = "S0QX19" + kCrLf;
    Bytes expected;
    for (std::uint32_t address = 0x10000; expected.size() < (1u << 20); address += 32) {
        Bytes data(32);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(address * 7 + i * 13);
        expected.insert(expected.end(), data.begin(), data.end());
        text += Record(3, address, data) + kCrLf;
    }
    ASSERT_GT(text.size(), std::size_t{2} << 20);
    const Loaded loaded = LoadText(text);
    ASSERT_TRUE(loaded.image);
    EXPECT_EQ(loaded.image->headerText, "QX19");
    EXPECT_EQ(loaded.image->baseAddress, 0x10000u);
    EXPECT_EQ(loaded.bytes(), expected);
}

}  // namespace
}  // namespace omblor::image
