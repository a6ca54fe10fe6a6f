// The "open file" chooser: a filter in the classic "description|pattern||" form, an optional
// initial location, modal like every other window.
#pragma once

#include <string>
#include <string_view>

#include "framework/Host.h"

namespace omblor::framework {

inline constexpr unsigned OFN_HIDEREADONLY = 0x00000004;

class CFileDialog {
  public:
    CFileDialog(bool openFileDialog, std::string_view defaultExtension, std::string_view fileName,
                unsigned flags, std::string_view filter);

    // IDOK when a file was chosen, IDCANCEL otherwise.
    int DoModal();
    [[nodiscard]] std::string GetPathName() const { return path_; }
    void SetInitialLocation(std::string_view location) { initial_ = std::string(location); }
    [[nodiscard]] const FileChooserRequest& Request() const { return request_; }

  private:
    FileChooserRequest request_;
    std::string initial_;
    std::string path_;
};

// Splits "desc|pattern|desc|pattern||" into its entries.
std::vector<FileFilter> ParseFilter(std::string_view filter);

}  // namespace omblor::framework
