#include "framework/CFileDialog.h"

#include "framework/WinTypes.h"

namespace omblor::framework {

std::vector<FileFilter> ParseFilter(std::string_view filter) {
    std::vector<FileFilter> out;
    while (!filter.empty()) {
        const auto bar = filter.find('|');
        if (bar == 0 || bar == std::string_view::npos) break;
        FileFilter entry;
        entry.description = std::string(filter.substr(0, bar));
        filter.remove_prefix(bar + 1);
        const auto end = filter.find('|');
        entry.pattern = std::string(filter.substr(0, end));
        out.push_back(std::move(entry));
        if (end == std::string_view::npos) break;
        filter.remove_prefix(end + 1);
    }
    return out;
}

CFileDialog::CFileDialog(bool /*openFileDialog*/, std::string_view /*defaultExtension*/,
                         std::string_view /*fileName*/, unsigned flags, std::string_view filter) {
    request_.filters = ParseFilter(filter);
    request_.hideReadOnly = (flags & OFN_HIDEREADONLY) != 0;
}

int CFileDialog::DoModal() {
    request_.initialLocation = initial_;
    auto chosen = CurrentHost().ChooseFile(request_);
    if (!chosen) return IDCANCEL;
    path_ = std::move(*chosen);
    return IDOK;
}

}  // namespace omblor::framework
