#include "ReferenceReader.h"

#include <cstdio>

namespace omblor::fuzz {

namespace {
unsigned Digit(unsigned char c) {
    unsigned u = c;
    if (u >= 'a' && u <= 'z') u -= 32;
    if (u < 'A' || u > 0x7F) return u - '0';
    return u - 'A' + 10;
}

struct Reader {
    std::string_view text;
    ReferenceResult result;

    std::uint8_t Byte(std::size_t at) const {
        return static_cast<std::uint8_t>(16 * Digit(text[at]) + Digit(text[at + 1]));
    }

    bool Fail(std::size_t at, std::vector<std::string> messages) {
        result.recordAt = at;
        result.messages = std::move(messages);
        return false;
    }

    bool Run() {
        std::size_t p = 0;
        if (text.size() >= 2 && text[0] == 'S' && text[1] == '0') {
            const std::size_t end = text.find_first_of("\r\n");
            if (end == std::string_view::npos) {
                p = text.size();
            } else {
                result.headerText = std::string(text.substr(2, std::min<std::size_t>(end - 2, 79)));
                p = end + 1;
            }
        }
        bool haveData = false;
        std::uint32_t next = 0;
        std::uint32_t base = 0;
        std::vector<std::uint8_t>& out = result.image;
        while (p < text.size()) {
            const bool record =
                text[p] == 'S' && p + 1 < text.size() && text[p + 1] >= '1' && text[p + 1] <= '8';
            if (!record) {
                ++p;
                continue;
            }
            const int type = text[p + 1] - '0';
            if (p + 4 > text.size()) return Fail(p, {"S record cut short by end of file \n"});
            const unsigned count = Byte(p + 2);
            if (p + 4 + 2 * count > text.size())
                return Fail(p, {"S record cut short by end of file \n"});
            unsigned sum = count;
            for (unsigned i = 0; i < count; ++i) sum += Byte(p + 4 + 2 * i);
            sum &= 0xFF;
            if (sum != 0xFF) {
                char line[32];
                std::snprintf(line, sizeof line, "Checksum Error %x\n", sum);
                return Fail(p, {line, "S record checksum error \n"});
            }
            static const unsigned kAddressBytes[9] = {0, 2, 3, 4, 5, 0, 0, 4, 3};
            const unsigned addressBytes = kAddressBytes[type];
            if (count < addressBytes + 1)
                return Fail(p, {"S record count too small for its address \n"});
            std::uint32_t address = 0;
            for (unsigned i = 0; i < addressBytes; ++i)
                address = (address << 8) | Byte(p + 4 + 2 * i);
            const std::size_t dataAt = p + 4 + 2 * addressBytes;
            if (type >= 5) {
                p = dataAt;
                continue;
            }
            const unsigned dataBytes = count - addressBytes - 1;
            if (!haveData) {
                haveData = true;
                base = next = address;
            } else if (address < next) {
                return Fail(p, {"Srecords must be in asending order \n"});
            } else if (address > next) {
                const std::size_t gap = address - next;
                if (out.size() + gap > dataAt) return Fail(p, {"Conversion Error \n"});
                out.insert(out.end(), gap, 0);
                next = address;
            }
            for (unsigned i = 0; i < dataBytes; ++i) out.push_back(Byte(dataAt + 2 * i));
            next += dataBytes;
            p = dataAt + 2 * dataBytes;
        }
        if (!haveData) {
            result.messages = {"No data records in file"};
            return false;
        }
        while (next % 4 != 0) {
            out.push_back(0);
            ++next;
        }
        result.baseAddress = base;
        result.length = next - base;
        return true;
    }
};
}  // namespace

ReferenceResult ReadReference(std::string_view file) {
    Reader reader;
    reader.text = file.substr(0, file.find('\0'));
    reader.result.ok = reader.Run();
    if (!reader.result.ok) reader.result.image.clear();
    return reader.result;
}

}  // namespace omblor::fuzz
