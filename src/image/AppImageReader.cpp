#include "image/AppImageReader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <span>
#include <utility>

#include "image/InPlaceConverter.h"
#include "image/InputFile.h"
#include "resources/Messages.h"

namespace omblor::image {

namespace {
// Lengths are 32-bit, and the image can grow to about the size of the text; refusing larger
// text keeps every length exact.
constexpr std::uint64_t kMaxFileSize = std::numeric_limits<std::uint32_t>::max() - 1;
}  // namespace

void ConvertSlashPath(std::string& path) {
    if (path.size() < 4 || path[0] != '/' || path[1] != '/' || path[3] != '/') return;
    path[0] = path[2];
    path[1] = ':';
    for (std::size_t i = 3; i < path.size(); ++i) path[i - 1] = path[i] == '/' ? '\\' : path[i];
    path.pop_back();
}

void ShowChecksumError(std::uint8_t sum, MessageSink& sink) {
    std::array<char, 32> text{};
    constexpr std::string_view prefix = messages::kChecksumErrorPrefix;
    std::copy(prefix.begin(), prefix.end(), text.begin());
    auto* end =
        std::to_chars(text.data() + prefix.size(), text.data() + text.size() - 1, sum, 16).ptr;
    *end++ = '\n';
    sink.Show(std::string_view(text.data(), static_cast<std::size_t>(end - text.data())));
}

std::optional<AppImage> LoadAppImage(std::string_view path, MessageSink& sink) {
    // A zero inside the path would open some other, shorter name.
    if (path.size() > kMaxPathLength || path.find('\0') != std::string_view::npos) {
        sink.OnOpenFailed(path, path.size() > kMaxPathLength ? "the path is too long"
                                                             : "the path holds a zero byte");
        sink.Show(messages::kFailedToOpen);
        return std::nullopt;
    }
    std::string name(path);
    ConvertSlashPath(name);

    const InputFile file = InputFile::Open(name);
    if (!file.Valid()) {
        sink.OnOpenFailed(name, file.FailureReason());
        sink.Show(messages::kFailedToOpen);
        return std::nullopt;
    }
    const std::uint64_t size = file.Size();
    if (size > kMaxFileSize) {
        sink.Show(messages::kFileTooLarge);
        return std::nullopt;
    }
    auto buffer = ImageBuffer::MapFile(file.Fd(), static_cast<std::size_t>(size));
    if (!buffer) {
        sink.Show(messages::kOutOfMemory);
        return std::nullopt;
    }
    // Known at once where the file is read ahead, only as the text is read where it is mapped.
    const auto readWhole = [&] {
        if (buffer->ReadWhole()) return true;
        sink.OnOpenFailed(name, "the file could not be read whole (it shrank, or a read failed)");
        sink.Show(messages::kFailedToOpen);
        return false;
    };
    if (!readWhole()) return std::nullopt;
    auto converted = InPlaceConverter::Convert(std::span(buffer->data(), buffer->size()),
                                               static_cast<std::size_t>(size), sink, &*buffer);
    if (!converted) return std::nullopt;
    buffer->Keep(converted->length);
    if (!readWhole()) return std::nullopt;

    AppImage image;
    image.buffer = std::move(*buffer);
    image.baseAddress = converted->baseAddress;
    image.length = converted->length;
    image.headerText = std::move(converted->headerText);
    return image;
}

}  // namespace omblor::image
