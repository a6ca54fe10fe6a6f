#include "update/ModuleLine.h"

#include <limits>

namespace omblor::update {

std::int32_t ParseLineCode(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || (line[i] >= '\t' && line[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        value = value * 10 + (line[i] - '0');
        if (value > kLimit) value = kLimit;  // stays clamped however many digits follow
    }
    if (negative) {
        return value >= kLimit ? std::numeric_limits<std::int32_t>::min()
                               : static_cast<std::int32_t>(-value);
    }
    return value >= kLimit ? std::numeric_limits<std::int32_t>::max()
                           : static_cast<std::int32_t>(value);
}

std::string PlatformNameOf(std::string_view line) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return {};
    const std::string_view rest = line.substr(colon + 1);
    return std::string(rest.substr(0, rest.find(':')));
}

bool PlatformAccepts(std::string& platform, std::string_view headerText) {
    if (platform.empty()) return true;
    if (platform == "QX19-512" && headerText == "QX19") platform = "QX19";
    return platform == headerText;
}

std::array<std::uint8_t, 8> ImageHeaderReply(std::uint32_t baseAddress, std::uint32_t length) {
    return {
        static_cast<std::uint8_t>(baseAddress >> 24), static_cast<std::uint8_t>(baseAddress >> 16),
        static_cast<std::uint8_t>(baseAddress >> 8),  static_cast<std::uint8_t>(baseAddress),
        static_cast<std::uint8_t>(length >> 24),      static_cast<std::uint8_t>(length >> 16),
        static_cast<std::uint8_t>(length >> 8),       static_cast<std::uint8_t>(length)};
}

std::string CredentialsReply(std::string_view user, std::string_view password) {
    std::string reply;
    reply.reserve(user.size() + password.size() + 3);
    reply.append(user);
    reply.push_back('\0');
    reply.append(password);
    reply.append("\r\n");
    return reply;
}

}  // namespace omblor::update
