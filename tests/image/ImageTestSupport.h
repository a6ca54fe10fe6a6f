// Shared by the image tests: S-record lines built with a correct checksum (or a chosen one), a
// sink that keeps what the reader shows, and a scratch folder that goes away with the test.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/MessageSink.h"

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

class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "omblor-image-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

    std::string Write(const std::string& name, std::string_view content) const {
        const auto file = path_ / name;
        std::ofstream(file, std::ios::binary)
            .write(content.data(), static_cast<std::streamsize>(content.size()));
        return file.string();
    }

    static std::string Read(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

  private:
    std::filesystem::path path_;
};

}  // namespace omblor::image::testing
