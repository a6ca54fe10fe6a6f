// A module's byte stream through the line framer and the line rules, as the update socket
// handles it; the framer must never write past its buffer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "update/LineFramer.h"
#include "update/ModuleLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    omblor::update::LineFramer framer;
    std::string platform;
    for (std::size_t i = 0; i < size; ++i) {
        if (framer.Push(static_cast<char>(data[i])) != omblor::update::LineFramer::Result::Line) {
            continue;
        }
        const std::string_view line(framer.Text());
        const auto code = omblor::update::ParseLineCode(line);
        if (code == 100) platform = omblor::update::PlatformNameOf(line);
        if (code == 102) (void)omblor::update::PlatformAccepts(platform, "QX19");
        if (code >= 201 && code <= 300 && line.size() > 3) (void)line.substr(3);
        framer.Reset();
    }
    return 0;
}
