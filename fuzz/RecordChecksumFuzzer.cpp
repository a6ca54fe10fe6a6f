// One record through VerifyRecordChecksum, the reader's own check: it must never read past the
// text it was given, and its verdict, message and decoded bytes must agree with a plain sum.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/AppImageReader.h"

namespace {
struct Collect final : omblor::image::MessageSink {
    std::vector<std::string> messages;
    void Show(std::string_view text) override { messages.emplace_back(text); }
};

unsigned Digit(unsigned char c) {
    unsigned u = c;
    if (u >= 'a' && u <= 'z') u -= 32;
    return (u < 'A' || u > 0x7F) ? u - '0' : u - 'A' + 10;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly the input's size, so reading one byte further is caught.
    const std::vector<char> copy(data, data + size);
    omblor::image::RecordBytes bytes{};
    Collect sink;
    const bool ok =
        omblor::image::VerifyRecordChecksum(std::string_view(copy.data(), size), bytes, sink);

    auto byte = [&](std::size_t at) { return (16 * Digit(data[at]) + Digit(data[at + 1])) & 0xFF; };
    std::vector<std::string> expected;
    bool expectOk = false;
    if (size < 4 || size < 4 + 2 * std::size_t(byte(2))) {
        expected = {"S record cut short by end of file \n"};
    } else {
        const unsigned count = byte(2);
        unsigned sum = 0;
        for (unsigned i = 0; i <= count; ++i) {
            sum += byte(2 + 2 * i);
            if (bytes[i] != byte(2 + 2 * i)) std::abort();
        }
        sum &= 0xFF;
        expectOk = sum == 0xFF;
        if (!expectOk) {
            char line[32];
            std::snprintf(line, sizeof line, "Checksum Error %x\n", sum);
            expected = {line};
        }
    }
    if (ok != expectOk || sink.messages != expected) std::abort();
    return 0;
}
