#include "FailedFrom.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "ModuleResult.h"

namespace omblor::ctl {

namespace {

bool BlankLine(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

}  // namespace

std::variant<Addresses, std::string> FailedAddressesIn(std::string_view text) {
    Addresses order;
    std::unordered_map<std::string, std::string> lastOutcome;
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (BlankLine(line)) continue;

        const auto object = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
        const auto address = object.is_object() ? object.find("address") : object.end();
        const auto outcome = object.is_object() ? object.find("outcome") : object.end();
        if (address == object.end() || outcome == object.end() || !address->is_string() ||
            !outcome->is_string()) {
            return "line " + std::to_string(number) + " is not a result line";
        }
        // A module skipped for want of an address cannot be run again.
        const auto& dotted = address->get_ref<const std::string&>();
        if (dotted.empty()) continue;
        const auto [entry, added] =
            lastOutcome.insert_or_assign(dotted, outcome->get<std::string>());
        if (added) order.push_back(dotted);
    }
    Addresses failed;
    for (const std::string& dotted : order) {
        const std::string& word = lastOutcome.at(dotted);
        if (word != outcome::kProgrammed && word != outcome::kSkipped) failed.push_back(dotted);
    }
    return failed;
}

std::variant<Addresses, std::string> FailedAddresses(const std::string& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    std::string text;
    if (file) {
        char chunk[65536];
        std::size_t length = 0;
        while ((length = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
            text.append(chunk, length);
    }
    if (!file || std::ferror(file.get()) != 0) return path + ": " + std::strerror(errno);
    auto read = FailedAddressesIn(text);
    if (auto* reason = std::get_if<std::string>(&read)) *reason = path + ": " + *reason;
    return read;
}

}  // namespace omblor::ctl
