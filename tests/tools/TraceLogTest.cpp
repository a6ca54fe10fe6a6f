// The records a production run leaves and reads back: the traceability log's lines (fields,
// order, escaping), appends from several writers to one file, and --failed-from reading an
// earlier run's --json results or log. Runs on both platforms.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "FailedFrom.h"
#include "TraceLog.h"
#include "image/AppImageReader.h"
#include "image/MessageSink.h"

namespace {

namespace fs = std::filesystem;
using namespace omblor::ctl;

// A folder of the test's own, gone with it (mkdtemp is not on Windows).
struct Folder {
    fs::path path = fs::temp_directory_path() /
                    ("omblor-trace-" + std::to_string(std::random_device()()) + "-" +
                     std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    Folder() { fs::create_directories(path); }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    [[nodiscard]] std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(path / name, std::ios::binary) << text;
        return (path / name).string();
    }
    [[nodiscard]] std::string Read(const std::string& name) const {
        std::ifstream in(path / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

std::vector<std::string> Keys(const std::string& line) {
    std::vector<std::string> keys;
    const auto object = nlohmann::ordered_json::parse(line);
    for (const auto& item : object.items()) keys.push_back(item.key());
    return keys;
}

ModuleResult Result(std::string address, std::string_view outcome) {
    ModuleResult result;
    result.address = std::move(address);
    result.outcome = outcome;
    return result;
}

RunFacts Facts(Confirm confirm = Confirm::No) {
    return {.station = "line-3",
            .operatorName = "ana",
            .version = "0.1.0",
            .file = "/srv/images/QX19_APP.s19",
            .sha256 = "66840dda",
            .platform = "QX19",
            .base = 0x10000,
            .length = 512,
            .confirm = confirm};
}

TEST(TraceLog, a_line_has_every_field_in_order_and_escapes_outside_text) {
    ModuleResult plain = Result("10.0.0.5", "programmed");
    plain.seconds = 1.5;
    plain.bytes = 512;
    plain.attempts = 1;
    EXPECT_EQ(TraceLine("2026-12-09T06:17:30.123Z", Facts(), plain),
              R"({"time": "2026-12-09T06:17:30.123Z", "station": "line-3", "operator": "ana", )"
              R"("version": "0.1.0", "file": "/srv/images/QX19_APP.s19", "sha256": "66840dda", )"
              R"("platform": "QX19", "base": 65536, "length": 512, "address": "10.0.0.5", )"
              R"("attempt": 1, "outcome": "programmed", "detail": "", "seconds": 1.500, )"
              R"("bytes": 512})"
              "\n");

    const std::vector<std::string> head = {"time",   "station",  "operator", "version", "file",
                                           "sha256", "platform", "base",     "length",  "address"};
    const std::vector<std::string> tail = {"attempt", "outcome", "detail", "seconds", "bytes"};
    const struct {
        const char* name;
        std::string mac;
        Confirm confirm;
        std::optional<bool> confirmed;
        const char* confirmedText;  // as written, or null when the field is absent
    } cases[] = {
        {"no search, no confirm", "", Confirm::No, std::nullopt, nullptr},
        {"seen by a search", "00-11-22-33-44-55", Confirm::No, std::nullopt, nullptr},
        {"confirmed", "00-11-22-33-44-55", Confirm::Yes, true, "true"},
        {"not confirmed", "", Confirm::Yes, false, "false"},
        {"never programmed", "", Confirm::Yes, std::nullopt, "null"},
    };
    for (const auto& c : cases) {
        ModuleResult result = Result("10.0.0.6", "module error");
        // A module's own text with a quote, a backslash, a line end, a control and a high byte.
        result.detail = "Flash \"A\\B\"\r\nwrite\x01 failed\xE9";
        result.mac = c.mac;
        result.confirmed = c.confirmed;
        result.application = "QX19 \"app\"\n2.1";
        auto facts = Facts(c.confirm);
        facts.station = "bench\n\"7\"";
        const std::string line = TraceLine("2026-12-09T06:17:30.123Z", facts, result);

        ASSERT_EQ(line.find('\n'), line.size() - 1) << c.name;
        auto expected = head;
        if (!c.mac.empty()) expected.emplace_back("mac");
        expected.insert(expected.end(), tail.begin(), tail.end());
        if (c.confirmedText != nullptr)
            expected.insert(expected.end(), {"confirmed", "application"});
        EXPECT_EQ(Keys(line), expected) << c.name;
        EXPECT_NE(line.find(R"("detail": "Flash \"A\\B\"\u000d\u000awrite\u0001 failed\u00e9")"),
                  std::string::npos)
            << line;
        EXPECT_NE(line.find(R"("station": "bench\u000a\"7\"")"), std::string::npos) << line;
        if (c.confirmedText != nullptr) {
            EXPECT_NE(line.find(std::string("\"confirmed\": ") + c.confirmedText +
                                R"(, "application": "QX19 \"app\"\u000a2.1")"),
                      std::string::npos)
                << line;
        }
    }
}

TEST(TraceLog, time_is_utc_with_milliseconds) {
    using namespace std::chrono;
    const struct {
        sys_time<milliseconds> when;
        const char* text;
    } cases[] = {
        {sys_days(1970y / January / 1), "1970-01-01T00:00:00.000Z"},
        {sys_days(2024y / February / 29) + 23h + 59min + 59s + 999ms, "2024-02-29T23:59:59.999Z"},
        {sys_days(2026y / December / 9) + 6h + 17min + 30s + 7ms, "2026-12-09T06:17:30.007Z"},
    };
    for (const auto& c : cases) EXPECT_EQ(UtcTimestamp(c.when), c.text);
}

TEST(TraceLog, run_facts_come_from_the_image_and_its_absolute_path) {
    const Folder folder;
    const fs::path previous = fs::current_path();
    fs::current_path(folder.path);
    static_cast<void>(folder.Write(
        "QX19_APP.s19", "S0QX19\r\nS107100001020304DE\r\nS107100405060708CA\r\nS9030000FC\r\n"));
    struct : omblor::image::MessageSink {
        void Show(std::string_view /*text*/) override {}
    } sink;
    const auto image = omblor::image::LoadAppImage("QX19_APP.s19", sink);
    ASSERT_TRUE(image.has_value());
    const RunFacts facts = GatherRunFacts(*image, "QX19_APP.s19", Confirm::Yes);
    fs::current_path(previous);

    EXPECT_EQ(fs::path(facts.file), fs::absolute(folder.path / "QX19_APP.s19"));
    EXPECT_EQ(facts.sha256, "66840dda154e8a113c31dd0ad32f7f3a366a80e8136979d8f5a101d3d29d6f72");
    EXPECT_EQ(facts.platform, "QX19");
    EXPECT_EQ(facts.base, 0x1000U);
    EXPECT_EQ(facts.length, 8U);
    EXPECT_EQ(facts.confirm, Confirm::Yes);
    EXPECT_FALSE(facts.version.empty());
    EXPECT_FALSE(facts.station.empty());
    EXPECT_FALSE(facts.operatorName.empty());
}

TEST(TraceLog, two_writers_append_whole_lines_to_one_file) {
    const Folder folder;
    const std::string path = folder.Write("trace.jsonl", "{\"earlier\": \"run\"}\n");
    auto first = TraceLog::Open(path, Facts());
    auto second = TraceLog::Open(path, Facts());
    ASSERT_TRUE(std::holds_alternative<TraceLog>(first));
    ASSERT_TRUE(std::holds_alternative<TraceLog>(second));
    ModuleResult result = Result("10.0.0.7", "timed out");
    // Lines longer than any buffer a writer might keep.
    result.detail = std::string(20000, 'x');
    for (unsigned i = 1; i <= 20; ++i) {
        result.attempts = i;
        std::string error;
        ASSERT_TRUE(std::get<TraceLog>(i % 2 != 0 ? first : second).Append(result, error)) << error;
    }
    const auto lines = Lines(folder.Read("trace.jsonl"));
    ASSERT_EQ(lines.size(), 21U);
    EXPECT_EQ(lines[0], "{\"earlier\": \"run\"}");
    for (unsigned i = 1; i <= 20; ++i) {
        const auto object = nlohmann::json::parse(lines[i]);
        EXPECT_EQ(object["attempt"], i);
        EXPECT_EQ(object["detail"].get<std::string>().size(), 20000U);
    }
}

#ifndef _WIN32
// A disk that takes only part of a line (here a file size limit) leaves the torn piece on a line
// of its own: the next line is whole, and reading the log back names the torn one.
TEST(TraceLog, a_line_the_disk_takes_in_part_leaves_the_next_one_whole) {
    const Folder folder;
    const std::string path = folder.Write("trace.jsonl", "");
    auto log = TraceLog::Open(path, Facts());
    ASSERT_TRUE(std::holds_alternative<TraceLog>(log));
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto ignoredBefore = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool torn = std::get<TraceLog>(log).Append(Result("10.0.0.1", "timed out"), error);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, ignoredBefore);
    EXPECT_FALSE(torn);
    EXPECT_FALSE(error.empty());
    ASSERT_TRUE(std::get<TraceLog>(log).Append(Result("10.0.0.2", "timed out"), error)) << error;

    // A later run appending to a log that ends inside a line starts on a line of its own too.
    std::ofstream(path, std::ios::binary | std::ios::app) << R"({"address": "10.)";
    auto later = TraceLog::Open(path, Facts());
    ASSERT_TRUE(std::holds_alternative<TraceLog>(later));
    ASSERT_TRUE(std::get<TraceLog>(later).Append(Result("10.0.0.4", "timed out"), error)) << error;

    const auto lines = Lines(folder.Read("trace.jsonl"));
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(lines[0].size(), 100U);
    EXPECT_EQ(nlohmann::json::parse(lines[1])["address"], "10.0.0.2");
    EXPECT_EQ(lines[2], R"({"address": "10.)");
    EXPECT_EQ(nlohmann::json::parse(lines[3])["address"], "10.0.0.4");
    const auto read = FailedAddresses(path);
    ASSERT_TRUE(std::holds_alternative<std::string>(read));
    EXPECT_EQ(std::get<std::string>(read), path + ": line 1 is not a result line");
}
#endif

TEST(TraceLog, a_log_that_cannot_be_opened_says_why) {
    const Folder folder;
    for (const fs::path& path : {folder.path / "missing" / "trace.jsonl", folder.path}) {
        const auto opened = TraceLog::Open(path.string(), Facts());
        ASSERT_TRUE(std::holds_alternative<std::string>(opened)) << path;
        EXPECT_FALSE(std::get<std::string>(opened).empty()) << path;
    }
}

std::string ResultLine(const std::string& address, const std::string& outcome) {
    return R"({"address": ")" + address + R"(", "outcome": ")" + outcome +
           R"(", "detail": "", "seconds": 0.000, "bytes": 0})";
}

TEST(FailedFrom, the_last_line_of_each_address_counts) {
    const struct {
        const char* name;
        std::vector<std::string> lines;
        Addresses failed;
    } cases[] = {
        {"programmed and skipped are done",
         {ResultLine("10.0.0.1", "programmed"), ResultLine("10.0.0.2", "timed out"),
          ResultLine("10.0.0.3", "skipped"), ResultLine("10.0.0.4", "connect error"),
          ResultLine("10.0.0.5", "not started"), ResultLine("10.0.0.6", "not confirmed")},
         {"10.0.0.2", "10.0.0.4", "10.0.0.5", "10.0.0.6"}},
        {"a later line wins, the first one sets the order",
         {ResultLine("10.0.0.9", "timed out"), ResultLine("10.0.0.8", "programmed"),
          ResultLine("10.0.0.9", "programmed"), ResultLine("10.0.0.8", "refused"),
          ResultLine("10.0.0.7", "receive error"), ResultLine("10.0.0.8", "module error")},
         {"10.0.0.8", "10.0.0.7"}},
        {"blank lines, CR LF and a skipped module without address",
         {"", ResultLine("10.0.0.1", "cancelled") + "\r", "   ", ResultLine("", "skipped")},
         {"10.0.0.1"}},
        {"nothing", {}, {}},
    };
    for (const auto& c : cases) {
        std::string text;
        for (const auto& line : c.lines) text += line + "\n";
        const auto read = FailedAddressesIn(text);
        ASSERT_TRUE(std::holds_alternative<Addresses>(read)) << c.name;
        EXPECT_EQ(std::get<Addresses>(read), c.failed) << c.name;
    }
}

TEST(FailedFrom, a_line_that_is_no_result_is_an_error_naming_it) {
    const struct {
        std::string text;
        const char* reason;
    } cases[] = {
        {"ADDRESS   SECONDS  BYTES  OUTCOME\n10.0.0.1  1.000  512  programmed\n",
         "line 1 is not a result line"},
        {ResultLine("10.0.0.1", "programmed") + "\n\n" +
             R"({"address": "10.0.0.2", "platform": "QX19", "interfaces": []})",
         "line 3 is not a result line"},
        {R"({"address": "10.0.0.2", "outcome": 7})", "line 1 is not a result line"},
        {R"([{"address": "10.0.0.2", "outcome": "timed out"}])", "line 1 is not a result line"},
        {R"({"address": "10.0.0.2", "outcome": "timed out")", "line 1 is not a result line"},
    };
    for (const auto& c : cases) {
        const auto read = FailedAddressesIn(c.text);
        ASSERT_TRUE(std::holds_alternative<std::string>(read)) << c.text;
        EXPECT_EQ(std::get<std::string>(read), c.reason);
    }
}

}  // namespace
