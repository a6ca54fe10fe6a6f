// What the reader makes of each record type digit: how many address bytes follow the count,
// and whether the record carries image data or is passed over. S0 and S9 are not listed: their
// lines are never taken as records, only read over as text.
#pragma once

#include <cstdint>

namespace omblor::image {

struct SRecordType {
    enum class Kind : std::uint8_t { None, Data, PassOver };

    Kind kind = Kind::None;
    std::uint8_t addressBytes = 0;

    // The type whose digit follows an upper-case 'S'; Kind::None for anything but '1' to '8'.
    static constexpr SRecordType Of(std::uint8_t digit) {
        switch (digit) {
            case '1':
                return {Kind::Data, 2};
            case '2':
                return {Kind::Data, 3};
            case '3':
                return {Kind::Data, 4};
            // Five address bytes gathered into 32 bits: the first is shifted out.
            case '4':
                return {Kind::Data, 5};
            // Record counts: checked, then passed over; they say nothing about the image.
            case '5':
            case '6':
                return {Kind::PassOver, 0};
            // Start addresses: the address is read over; the module is told only the base.
            case '7':
                return {Kind::PassOver, 4};
            case '8':
                return {Kind::PassOver, 3};
            default:
                return {};
        }
    }
};

}  // namespace omblor::image
