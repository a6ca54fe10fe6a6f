// The Windows host: every dialog is a real Win32 dialog built from its template and run by the
// dialog manager's own modal loop (DialogBoxIndirectParam), so Tab, Enter, Esc and the close
// box behave as Windows users expect; message boxes are MessageBox and the chooser is
// GetOpenFileName. Socket notifications, ticks and posted calls reach their window in every one
// of these loops, since they are all the thread's message loop.
#pragma once

#include <memory>
#include <vector>

#include "framework/Host.h"

namespace omblor::framework::win32 {

class Win32Host final : public Host {
  public:
    Win32Host();
    ~Win32Host() override;

    // Whether this process may open windows at all (wine without a display refuses them).
    static bool CanOpenWindows();

    std::unique_ptr<HostWindow> CreateHostWindow(CDialog& dialog) override;
    int MessageBox(std::string_view text, std::string_view caption, unsigned type) override;
    std::optional<std::string> ChooseFile(const FileChooserRequest& request) override;

  private:
    class Window;
    // The window new boxes and dialogs belong to: the innermost open dialog.
    void* Owner() const;

    std::vector<Window*> open_;  // innermost last
};

}  // namespace omblor::framework::win32
