// Shared by the image tests: S-record lines built with a correct checksum (or a chosen one) and a
// sink that keeps what the reader shows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/MessageSink.h"
#include "support/ScratchDir.h"

namespace omblor::image::testing {

// One record of the given type, upper-case hex, no line end.
inline std::string Record(int type, std::uint64_t address, const std::vector<std::uint8_t>& data,
                          std::optional<std::uint8_t> checksum = std::nullopt) {
    static constexpr int kAddressBytes[10] = {2, 2, 3, 4, 5, 2, 3, 4, 3, 2};
    std::vector<std::uint8_t> body;
    for (int i = kAddressBytes[type] - 1; i >= 0; --i)
        body.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
    body.insert(body.end(), data.begin(), data.end());
    body.insert(body.begin(), static_cast<std::uint8_t>(body.size() + 1));
    unsigned sum = 0;
    for (const std::uint8_t b : body) sum += b;
    body.push_back(checksum.value_or(static_cast<std::uint8_t>(0xFF - (sum & 0xFF))));
    std::string text = "S" + std::to_string(type);
    for (const std::uint8_t b : body) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", b);
        text += hex;
    }
    return text;
}

struct CollectingSink final : MessageSink {
    std::vector<std::string> shown;
    std::optional<std::size_t> recordAt;
    void Show(std::string_view text) override { shown.emplace_back(text); }
    void OnRecordAt(std::size_t offset) override { recordAt = offset; }
};

using omblor::testing::ScratchDir;

}  // namespace omblor::image::testing
