// The seam between the dialog framework and whatever shows the windows: a Qt host with real
// widgets, the Windows host on the system's dialog manager, or the console host that runs every
// dialog from a terminal or a script. A dialog never
// asks which host it runs on; the framework keeps the controls' state and tells the host what
// changed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// <windows.h> turns MessageBox into MessageBoxA; the host's operation keeps its own name.
#undef MessageBox

namespace omblor::framework {

class CDialog;

// The host's side of one open dialog.
class HostWindow {
  public:
    HostWindow() = default;
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    virtual ~HostWindow() = default;

    // The dialog is initialised and its modal loop is about to run.
    virtual void Shown() = 0;
    // The state of control `id` changed (text, check, enabled, position, tree, ...).
    virtual void ControlChanged(int id) = 0;
    // One item of tree `id` was added or changed (text, state); the rest of the tree did not.
    virtual void TreeItemChanged(int id, std::uintptr_t /*item*/) { ControlChanged(id); }
    virtual void FocusChanged(int id) = 0;
    // Select all text of edit `id` (after a failed validation).
    virtual void SelectAllText(int id) = 0;
    // EndDialog was called: a host whose modal loop is the system's own ends it here.
    virtual void EndRequested(int /*result*/) {}
    // The modal loop ended with `result`; the window goes away right after.
    virtual void Ended(int result) = 0;
};

struct FileFilter {
    std::string description;
    std::string pattern;
};

struct FileChooserRequest {
    std::vector<FileFilter> filters;
    std::string initialLocation;  // a folder or a file path; empty for the default place
    bool hideReadOnly = true;
};

class Host {
  public:
    Host() = default;
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    virtual ~Host() = default;

    // Called by CDialog::DoModal once the dialog's controls exist.
    virtual std::unique_ptr<HostWindow> CreateHostWindow(CDialog& dialog) = 0;
    // Modal; returns the button pressed (always IDOK for an OK-only box).
    virtual int MessageBox(std::string_view text, std::string_view caption, unsigned type) = 0;
    // The same box with a details part that says what the text cannot (a path, an address, the
    // system's reason); the text stays exactly as given. Hosts without one show the box alone.
    virtual int MessageBoxWithDetails(std::string_view text, std::string_view caption,
                                      unsigned type, std::string_view /*details*/) {
        return MessageBox(text, caption, type);
    }
    // Modal; the chosen full path, or nothing when the operator cancels.
    virtual std::optional<std::string> ChooseFile(const FileChooserRequest& request) = 0;
};

// The host of this process. Installed by the start-up code; tests may install their own.
Host& CurrentHost();
void SetCurrentHost(Host* host);

// Runs the program's body with `host` installed, and takes it away again before the host (and
// the loop it runs on) goes.
int RunWithHost(Host& host, const std::function<int()>& body);

}  // namespace omblor::framework
