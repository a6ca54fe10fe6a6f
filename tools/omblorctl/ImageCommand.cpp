// omblorctl image info|convert: reads an application file with the same reader the update uses,
// and either describes the image or writes its bytes. Refusals print the reader's messages on
// stderr.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Commands.h"
#include "ReaderMessages.h"
#include "Sha256.h"
#include "image/AppImageReader.h"
#include "platform/ReplaceFile.h"

namespace omblor::ctl {

namespace {

using omblor::image::AppImage;

constexpr std::string_view kUsage =
    "usage: omblorctl image info FILE\n"
    "       omblorctl image convert FILE OUT.bin\n";

// Lower-case hex of the image's SHA-256, as sha256sum prints it for the converted file.
std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
    std::string hex;
    constexpr char kDigits[] = "0123456789abcdef";
    for (const std::uint8_t byte : Sha256(bytes)) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 0xF]);
    }
    return hex;
}

std::optional<AppImage> Load(const std::string& path) {
    StderrMessages sink(path);
    return omblor::image::LoadAppImage(path, sink);
}

int Info(const std::string& path) {
    const auto image = Load(path);
    if (!image) return kExitFailed;
    std::printf("header: %s\n", image->headerText.c_str());
    std::printf("base: 0x%08X\n", static_cast<unsigned>(image->baseAddress));
    std::printf("length: %u (0x%X)\n", static_cast<unsigned>(image->length),
                static_cast<unsigned>(image->length));
    std::printf("sha256: %s\n", Sha256Hex(image->Bytes()).c_str());
    return 0;
}

int Convert(const std::string& path, const std::string& out) {
    const auto image = Load(path);
    if (!image) return kExitFailed;
    if (!platform::WriteFileReplacing(out, std::as_bytes(image->Bytes()), platform::FileKind::Output)) {
        std::fprintf(stderr, "omblorctl: cannot write %s: %s\n", out.c_str(), std::strerror(errno));
        return kExitFailed;
    }
    return 0;
}

}  // namespace

int RunImage(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "info") return Info(args[1]);
    if (args.size() == 3 && args[0] == "convert") return Convert(args[1], args[2]);
    std::fwrite(kUsage.data(), 1, kUsage.size(), stderr);
    return kExitUsage;
}

}  // namespace omblor::ctl
