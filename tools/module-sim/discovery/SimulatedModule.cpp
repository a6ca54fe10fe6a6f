#include "module-sim/discovery/SimulatedModule.h"

#include <algorithm>
#include <charconv>
#include <fstream>

#include "module-sim/CommandLine.h"

namespace omblor::modulesim {

namespace {

using discovery::Ipv4Address;
using discovery::MacAddress;

// Reply offsets as the module lays them out.
constexpr std::size_t kFixedSize =
    discovery::ReplyRecord::kReplyOffset + discovery::ReplyRecord::kSize;
constexpr std::size_t kRecordLength = 5;
constexpr std::size_t kConfigured = 9;
constexpr std::size_t kInterfaceMac = 112;
constexpr std::size_t kIdentity = 123;
constexpr std::size_t kType = 129;
constexpr std::size_t kMarker = 130;
constexpr std::size_t kActive = 131;

template <typename Bytes>
void Put(std::vector<std::uint8_t>& d, std::size_t at, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), d.begin() + static_cast<std::ptrdiff_t>(at));
}

std::optional<unsigned> ParseNumber(std::string_view text, unsigned max) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
    return value;
}

// "-" stands for nothing; escapes let a text carry blanks, NULs or any other byte.
std::optional<std::string> ParseText(std::string_view text) {
    if (text == "-") return std::string();
    return Unescape(text);
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

}  // namespace

const std::string_view kModuleFileHelp =
    "Module file: one module interface a line, nine fields separated by blanks; blank lines\n"
    "and lines starting with # are skipped:\n"
    "  MAC IDENTITY TYPE CONFIGURED ACTIVE PLATFORM APPLICATION SOURCE DELAY\n"
    "  MAC          interface MAC, 02-00-00-00-00-01 (or with colons)\n"
    "  IDENTITY     device identity shared by the module's interfaces, or - for none\n"
    "  TYPE         interface type byte, 0..255 (0 Ethernet, 1 WiFi, 2 Ethernet2)\n"
    "  CONFIGURED   configured address, 0.0.0.0 for DHCP\n"
    "  ACTIVE       active address (sets the extension marker), or - for no marker\n"
    "  PLATFORM     platform name, - for empty\n"
    "  APPLICATION  application name, - for none at all\n"
    "  SOURCE       address the reply comes from (relayed: the address in the trailer)\n"
    "  DELAY        milliseconds between a request and this interface's reply\n"
    "  Texts take \\xHH and \\\\ escapes (\\x20 for a blank).\n"
    "Example, a module with two interfaces:\n"
    "  02-00-00-00-01-01 0a-00-00-00-00-01 0 10.1.2.3 10.1.2.3 QX19 App 10.1.2.3 0\n"
    "  02-00-00-00-01-02 0a-00-00-00-00-01 1 0.0.0.0 - QX19 App 10.1.2.4 20\n";

std::optional<MacAddress> ParseMac(std::string_view text) {
    MacAddress mac{};
    if (text.size() != 17) return std::nullopt;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i > 0 && text[3 * i - 1] != '-' && text[3 * i - 1] != ':') return std::nullopt;
        const auto* first = text.data() + 3 * i;
        unsigned byte = 0;
        const auto [end, ec] = std::from_chars(first, first + 2, byte, 16);
        if (ec != std::errc() || end != first + 2) return std::nullopt;
        mac[i] = static_cast<std::uint8_t>(byte);
    }
    return mac;
}

std::optional<Ipv4Address> ParseAddress(std::string_view text) {
    Ipv4Address address;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t dot = i < 3 ? text.find('.') : text.size();
        if (dot == std::string_view::npos) return std::nullopt;
        const auto octet = ParseNumber(text.substr(0, dot), 255);
        if (!octet || dot == 0 || dot > 3) return std::nullopt;
        address.octets[i] = static_cast<std::uint8_t>(*octet);
        text.remove_prefix(std::min(text.size(), dot + 1));
        if (i < 3 && text.empty()) return std::nullopt;
    }
    return address;
}

std::vector<std::uint8_t> BuildReplyDatagram(const SimulatedModule& module) {
    std::vector<std::uint8_t> d(kFixedSize, 0);
    Put(d, 0, std::string_view("KVTR"));
    d[4] = 'r';
    for (std::size_t i = 0; i < 4; ++i) {
        d[kRecordLength + i] =
            static_cast<std::uint8_t>(discovery::ReplyRecord::kSize >> (24 - 8 * i));
    }
    Put(d, kConfigured, module.configured.octets);
    Put(d, kInterfaceMac, module.mac);
    Put(d, kIdentity, module.identity);
    d[kType] = module.type;
    if (module.active) {
        d[kMarker] = discovery::ReplyRecord::kExtensionMarker;
        Put(d, kActive, module.active->octets);
    }
    d.insert(d.end(), module.platform.begin(), module.platform.end());
    d.push_back(0);
    if (module.application) {
        d.insert(d.end(), module.application->begin(), module.application->end());
        d.push_back(0);
    }
    return d;
}

ModuleLine ParseModuleLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto fields = SplitFields(line);
    if (fields.empty() || fields[0].starts_with('#')) return std::optional<SimulatedModule>();
    if (fields.size() != 9) {
        return ModuleLineError{"expected 9 fields, found " + std::to_string(fields.size())};
    }
    SimulatedModule m;
    const auto mac = ParseMac(fields[0]);
    if (!mac) return ModuleLineError{"bad MAC \"" + std::string(fields[0]) + "\""};
    m.mac = *mac;
    if (fields[1] != "-") {
        const auto identity = ParseMac(fields[1]);
        if (!identity) return ModuleLineError{"bad identity \"" + std::string(fields[1]) + "\""};
        m.identity = *identity;
    }
    const auto type = ParseNumber(fields[2], 255);
    if (!type) return ModuleLineError{"bad type \"" + std::string(fields[2]) + "\""};
    m.type = static_cast<std::uint8_t>(*type);
    const auto configured = ParseAddress(fields[3]);
    if (!configured)
        return ModuleLineError{"bad configured address \"" + std::string(fields[3]) + "\""};
    m.configured = *configured;
    if (fields[4] != "-") {
        m.active = ParseAddress(fields[4]);
        if (!m.active)
            return ModuleLineError{"bad active address \"" + std::string(fields[4]) + "\""};
    }
    const auto platform = ParseText(fields[5]);
    if (!platform) return ModuleLineError{"bad platform text \"" + std::string(fields[5]) + "\""};
    m.platform = *platform;
    if (fields[6] != "-") {
        m.application = ParseText(fields[6]);
        if (!m.application) {
            return ModuleLineError{"bad application text \"" + std::string(fields[6]) + "\""};
        }
    }
    const auto source = ParseAddress(fields[7]);
    if (!source) return ModuleLineError{"bad source address \"" + std::string(fields[7]) + "\""};
    m.source = *source;
    const auto delay = ParseNumber(fields[8], 3'600'000);
    if (!delay) return ModuleLineError{"bad delay \"" + std::string(fields[8]) + "\""};
    m.delay = std::chrono::milliseconds(*delay);
    if (BuildReplyDatagram(m).size() > kMaxReplySize) {
        return ModuleLineError{"reply longer than " + std::to_string(kMaxReplySize) + " bytes"};
    }
    return std::optional<SimulatedModule>(std::move(m));
}

ModuleList ReadModuleFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) return path + ": cannot open";
    std::vector<SimulatedModule> modules;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        auto parsed = ParseModuleLine(line);
        if (const auto* error = std::get_if<ModuleLineError>(&parsed)) {
            return path + ":" + std::to_string(number) + ": " + error->reason;
        }
        if (auto& module = std::get<std::optional<SimulatedModule>>(parsed)) {
            modules.push_back(std::move(*module));
        }
    }
    return modules;
}

std::vector<SimulatedModule> GenerateModules(int count, Ipv4Address first) {
    std::vector<SimulatedModule> modules;
    modules.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        const auto n = static_cast<std::uint32_t>(i + 1);
        SimulatedModule m;
        m.mac = {0x02, 0, 0, 0, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
        m.source = Ipv4Address::FromHostOrder(first.HostOrder() + n - 1);
        m.configured = m.source;
        m.active = m.source;
        m.application = "Gen" + std::to_string(n);
        modules.push_back(std::move(m));
    }
    return modules;
}

}  // namespace omblor::modulesim
