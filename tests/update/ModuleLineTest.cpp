#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "update/LineFramer.h"
#include "update/ModuleLine.h"

namespace {

using namespace omblor::update;

TEST(ParseLineCode, reads_like_the_c_library_base_10_conversion) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"100 Platform:QX19:1.0", 100},
        {"  \t 250 Bad", 250},
        {"+301", 301},
        {"-5 x", -5},
        {"abc", 0},
        {"", 0},
        {"- 5", 0},
        {"007x", 7},
        {"99999999999999999999", INT_MAX},
        {"-99999999999999999999", INT_MIN},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},
    };
    for (const auto& [line, code] : cases) EXPECT_EQ(ParseLineCode(line), code) << line;
}

TEST(PlatformName, is_the_text_between_the_first_two_colons) {
    const std::pair<const char*, const char*> cases[] = {
        {"100 Platform:QX19:1.0", "QX19"}, {"100 no colon here", ""},
        {"100 ends with colon:", ""},      {"100 a::b", ""},
        {"100 :QX19-512", "QX19-512"},     {"1:2", "2"}};
    for (const auto& [line, name] : cases) EXPECT_EQ(PlatformNameOf(line), name) << line;
}

TEST(PlatformCheck, accepts_equal_names_and_the_512_variant_only_one_way) {
    const struct {
        const char* platform;
        const char* header;
        bool accepted;
        const char* after;
    } cases[] = {
        {"", "anything", true, ""},         {"QX19", "QX19", true, "QX19"},
        {"QX19-512", "QX19", true, "QX19"}, {"QX19", "QX19-512", false, "QX19"},
        {"qx19", "QX19", false, "qx19"},    {"QX19-512", "QX19-512", true, "QX19-512"},
        {"QX19", "", false, "QX19"},
    };
    for (const auto& c : cases) {
        std::string platform = c.platform;
        EXPECT_EQ(PlatformAccepts(platform, c.header), c.accepted) << c.platform << "/" << c.header;
        EXPECT_EQ(platform, c.after);
    }
}

TEST(Replies, are_byte_exact) {
    const auto header = ImageHeaderReply(0x00010000, 0x00002004);
    EXPECT_EQ(std::string(header.begin(), header.end()),
              std::string("\x00\x01\x00\x00\x00\x00\x20\x04", 8));
    EXPECT_EQ(CredentialsReply("op", "pw"), std::string("op\0pw\r\n", 7));
    EXPECT_EQ(CredentialsReply("", ""), std::string("\0\r\n", 3));
}

// Feeds text to a framer and lists the lines it completes, and each refusal as "(too long)".
std::vector<std::string> Frame(LineFramer& framer, std::string_view bytes) {
    std::vector<std::string> lines;
    for (const char b : bytes) {
        const LineFramer::Result result = framer.Push(b);
        if (result == LineFramer::Result::TooLong) lines.emplace_back("(too long)");
        if (result != LineFramer::Result::Line) continue;
        lines.emplace_back(framer.Text());
        framer.Reset();
    }
    return lines;
}

TEST(LineFramer, ends_lines_only_at_cr_lf_takes_254_characters_and_refuses_more) {
    LineFramer framer;
    EXPECT_EQ(Frame(framer, "100 a\r\n102\r\n"), (std::vector<std::string>{"100 a", "102"}));
    EXPECT_EQ(Frame(framer, "250 lone\ncr\rstill\r"), std::vector<std::string>{});
    EXPECT_EQ(Frame(framer, "\n"), std::vector<std::string>{"250 lone\ncr\rstill"});
    EXPECT_EQ(Frame(framer, std::string("201 cut\0after\r\n", 15)),
              std::vector<std::string>{"201 cut"});  // a zero byte ends the text
    EXPECT_EQ(Frame(framer, "30"), std::vector<std::string>{});
    EXPECT_EQ(framer.Fill(), 2U);
    framer.Reset();
    const std::string longest(254, 'x');
    EXPECT_EQ(Frame(framer, longest + "\r\n"), std::vector<std::string>{longest});
    EXPECT_EQ(Frame(framer, std::string(255, 'y') + "\r\n106\r\n"),
              (std::vector<std::string>{"(too long)", "106"}));
}

}  // namespace
