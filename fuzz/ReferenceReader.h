// A deliberately plain reading of application-file text: one character at a time, a separate
// output buffer, no in-place tricks and no look-ahead. The fuzzer holds the real reader to it,
// so a fast path that goes wrong shows up as a difference, not only as a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace omblor::fuzz {

struct ReferenceResult {
    bool ok = false;
    std::uint32_t baseAddress = 0;
    std::uint32_t length = 0;
    std::string headerText;
    std::vector<std::uint8_t> image;
    std::vector<std::string> messages;
    std::optional<std::size_t> recordAt;
};

ReferenceResult ReadReference(std::string_view file);

}  // namespace omblor::fuzz
