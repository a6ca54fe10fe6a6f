// The application the update tests send: two S3 records putting 6 bytes at 0x10000, which the
// converter pads to 8. The file starts with "S0" and the platform before these records.
#pragma once

#include <string>
#include <string_view>

namespace omblor::testing {

inline constexpr const char* kRecords =
    "S3090001000001020304EB\r\n"
    "S307000100040506E8\r\n"
    "S70500010000F9\r\n";
inline const std::string kImage("\x01\x02\x03\x04\x05\x06\x00\x00", 8);
// What goes ahead of the image on the wire: its address and length.
inline const std::string kHeader("\x00\x01\x00\x00\x00\x00\x00\x08", 8);

// The whole application file, for a module of `platform`.
inline std::string SampleFile(std::string_view platform = "QX19") {
    return "S0" + std::string(platform) + "\r\n" + kRecords;
}

}  // namespace omblor::testing
