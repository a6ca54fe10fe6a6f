// The Qt host: real widgets built from the dialog templates, Qt message boxes and file chooser,
// all on the Qt event loop.
#pragma once

#include <functional>
#include <memory>

#include "framework/Host.h"

class QWidget;

namespace omblor::framework {

class QtHost final : public Host {
  public:
    QtHost();
    ~QtHost() override;

    std::unique_ptr<HostWindow> CreateHostWindow(CDialog& dialog) override;
    int MessageBox(std::string_view text, std::string_view caption, unsigned type) override;
    int MessageBoxWithDetails(std::string_view text, std::string_view caption, unsigned type,
                              std::string_view details) override;
    std::optional<std::string> ChooseFile(const FileChooserRequest& request) override;

  private:
    class Window;
    [[nodiscard]] QWidget* TopVisibleWindow() const;
    std::vector<Window*> open_;  // innermost last; the parent of new boxes
};

// Makes the QApplication, installs the Qt event loop and this host, runs `body`, tears down.
int RunWithQtHost(int argc, char** argv, const std::function<int()>& body);

}  // namespace omblor::framework
