// omblor-image: reads an application file with the same reader the update uses, and either
// describes the image or writes its bytes. Refusals print the reader's messages on stderr.
#include <fcntl.h>
#include <nettle/sha2.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/AppImageReader.h"
#include "image/RecordPlace.h"
#include "net/WriteAll.h"

namespace {

using omblor::image::AppImage;

constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "usage: omblor-image info FILE\n"
    "       omblor-image convert FILE OUT.bin\n";

void Print(std::FILE* to, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), to);
}

// Messages as they stand, one after the other; a message without a final newline gets one so
// the next starts on its own line.
class StderrSink final : public omblor::image::MessageSink {
  public:
    explicit StderrSink(std::string path) : path_(std::move(path)) {}

    void Show(std::string_view text) override {
        Print(stderr, text);
        if (text.empty() || text.back() != '\n') Print(stderr, "\n");
    }

    void OnRecordAt(std::size_t fileOffset) override {
        const auto place = omblor::image::LocateRecord(path_, fileOffset);
        std::fprintf(stderr, "%s:%zu:%zu: record at byte offset %zu\n", path_.c_str(), place.line,
                     place.column, fileOffset);
    }

  private:
    std::string path_;
};

// Lower-case hex of the image's SHA-256, as sha256sum prints it for the converted file.
std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
    sha256_ctx context{};
    sha256_init(&context);
    sha256_update(&context, bytes.size(), bytes.data());
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    std::string hex;
    constexpr char kDigits[] = "0123456789abcdef";
    for (const std::uint8_t byte : digest) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 0xF]);
    }
    return hex;
}

std::optional<AppImage> Load(const std::string& path) {
    StderrSink sink(path);
    return omblor::image::LoadAppImage(path, sink);
}

int Info(const std::string& path) {
    const auto image = Load(path);
    if (!image) return kExitRefused;
    std::printf("header: %s\n", image->headerText.c_str());
    std::printf("base: 0x%08X\n", static_cast<unsigned>(image->baseAddress));
    std::printf("length: %u (0x%X)\n", static_cast<unsigned>(image->length),
                static_cast<unsigned>(image->length));
    std::printf("sha256: %s\n", Sha256Hex(image->Bytes()).c_str());
    return 0;
}

bool WriteFile(int fd, std::span<const std::uint8_t> bytes) {
    const bool written = omblor::net::WriteAll(fd, std::as_bytes(bytes));
    return ::close(fd) == 0 && written;
}

// A regular file (or a new one) is written beside the target and renamed over it, so a script
// never sees half an image. Anything else, a device, a pipe or a symbolic link, is written
// through as it is: renaming over it would replace the thing itself.
bool WriteImage(const std::string& out, std::span<const std::uint8_t> bytes) {
    struct stat info {};
    if (::lstat(out.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        const int fd = ::open(out.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        return fd >= 0 && WriteFile(fd, bytes);
    }
    std::string temporary = out + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(fd, 0666 & ~mask) == 0;
    ok = WriteFile(fd, bytes) && ok;
    if (ok && std::rename(temporary.c_str(), out.c_str()) == 0) return true;
    const int error = errno;
    ::unlink(temporary.c_str());
    errno = error;
    return false;
}

int Convert(const std::string& path, const std::string& out) {
    const auto image = Load(path);
    if (!image) return kExitRefused;
    if (!WriteImage(out, image->Bytes())) {
        std::fprintf(stderr, "omblor-image: cannot write %s: %s\n", out.c_str(),
                     std::strerror(errno));
        return kExitRefused;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "info") return Info(args[1]);
    if (args.size() == 3 && args[0] == "convert") return Convert(args[1], args[2]);
    Print(stderr, kUsage);
    return kExitUsage;
}
