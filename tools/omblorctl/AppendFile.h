// A file that several processes append whole lines to, each line on the disk before the call
// returns: one write per line to a file opened for appending only (O_APPEND, FILE_APPEND_DATA),
// so lines of different writers never tear, then fsync (FlushFileBuffers), so a crash or a power
// cut loses no line that was reported written.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace omblor::ctl {

class AppendFile {
  public:
    // The file at `path`, created when missing, or the system's reason it cannot be opened.
    static std::variant<AppendFile, std::string> Open(const std::string& path);

    AppendFile(AppendFile&&) noexcept;
    AppendFile& operator=(AppendFile&&) noexcept;
    ~AppendFile();

    // Writes `line` (which ends in its newline) in one write and waits until it is on the disk.
    // Blocks for that one flush: the price of a record that survives a power cut. False with
    // `error` saying why when the line may not have been kept.
    bool AppendDurably(std::string_view line, std::string& error);

  private:
    struct Handle;  // the platform's open file
    explicit AppendFile(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> handle_;
};

}  // namespace omblor::ctl
