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
#include <variant>

#include "Commands.h"
#include "Options.h"
#include "Sha256.h"
#include "StderrMessages.h"
#include "image/AppImageReader.h"
#include "platform/ReplaceFile.h"

namespace omblor::ctl {

namespace {

using omblor::image::AppImage;

// The image, or the exit code: a file that cannot be read is a file error, a refused one a
// failure.
std::variant<AppImage, int> Load(const std::string& path) {
    StderrMessages sink(path);
    auto image = omblor::image::LoadAppImage(path, sink);
    if (image) return std::move(*image);
    return sink.OpenFailed() ? kExitUsage : kExitFailed;
}

int Info(const std::string& path) {
    auto loaded = Load(path);
    if (const int* code = std::get_if<int>(&loaded)) return *code;
    const auto* image = &std::get<AppImage>(loaded);
    std::printf("header: %s\n", image->headerText.c_str());
    std::printf("base: 0x%08X\n", static_cast<unsigned>(image->baseAddress));
    std::printf("length: %u (0x%X)\n", static_cast<unsigned>(image->length),
                static_cast<unsigned>(image->length));
    std::printf("sha256: %s\n", Sha256Hex(image->Bytes()).c_str());
    return 0;
}

int Convert(const std::string& path, const std::string& out) {
    auto loaded = Load(path);
    if (const int* code = std::get_if<int>(&loaded)) return *code;
    const auto* image = &std::get<AppImage>(loaded);
    if (!platform::WriteFileReplacing(out, std::as_bytes(image->Bytes()),
                                      platform::FileKind::Output)) {
        std::fprintf(stderr, "omblorctl: cannot write %s: %s\n", out.c_str(), std::strerror(errno));
        return kExitFailed;
    }
    return 0;
}

}  // namespace

int RunImage(int argc, char** argv) {
    const auto parsed = ParseImage(argc, argv);
    if (!parsed.options) return parsed.exitCode;
    const ImageOptions& options = *parsed.options;
    return options.action == ImageAction::Info ? Info(options.file)
                                               : Convert(options.file, options.out);
}

}  // namespace omblor::ctl
