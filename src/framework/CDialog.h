// The modal dialog every window of the program derives from: built from a dialog template,
// run with DoModal() on a nested event loop (so sockets and timers keep going), left only
// through EndDialog(). Data exchange, message maps, timers and control state live here; how
// the window looks is the host's business.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/ControlState.h"
#include "framework/MessageMap.h"
#include "framework/WinTypes.h"
#include "net/EventLoop.h"

namespace omblor::resources {
struct DialogTemplate;
}

namespace omblor::framework {

class CDataExchange;
class HostWindow;

class CDialog {
  public:
    explicit CDialog(int templateId, CDialog* parent = nullptr);
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;
    virtual ~CDialog();

    // Runs the dialog modally and returns the result given to EndDialog (IDOK, IDCANCEL, ...),
    // or -1 when the template is missing or the dialog is already running.
    int DoModal();
    void EndDialog(int result);

    // Display direction (false) fills the controls from the fields; the reading direction (true)
    // takes and validates them. Returns false when a control failed validation.
    bool UpdateData(bool saveAndValidate = true);

    // Window timers: the dialog's timer handler (a Message::Timer map entry) runs about once per
    // interval until KillTimer or the window goes. Returns the identifier, or 0 on failure.
    std::uintptr_t SetTimer(std::uintptr_t id, unsigned elapseMs);
    bool KillTimer(std::uintptr_t id);

    // Whether the open window waits for the operator (the console host ends such a window when
    // its input runs out). A window driven by its own events says no.
    [[nodiscard]] virtual bool WaitsForOperator() const { return true; }

    // --- Used by controls and hosts ---
    [[nodiscard]] bool IsOpen() const { return window_ != nullptr; }
    [[nodiscard]] int TemplateId() const { return templateId_; }
    [[nodiscard]] const resources::DialogTemplate* Template() const { return template_; }
    [[nodiscard]] CDialog* Parent() const { return parent_; }
    std::vector<ControlState>& Controls() { return controls_; }
    ControlState* FindControl(int id);
    [[nodiscard]] int FocusId() const { return focusId_; }
    void GotoDlgCtrl(int id);
    void NotifyChanged(int id);
    void NotifyTreeItemChanged(int id, HTREEITEM item);
    void SelectAllText(int id);

    // Operator input delivered by a host.
    void HandleCommand(int id);
    void HandleSysCommand(unsigned command);
    void HandleCancel() { OnCancel(); }
    // A file dropped on the window; hosts offer drops only to dialogs that accept them.
    [[nodiscard]] virtual bool AcceptsDroppedFiles() const { return false; }
    void HandleDropFile(std::string_view path) {
        if (IsOpen()) OnDropFile(path);
    }

    // System-menu items added by the dialog (the Qt host offers them in a context menu).
    struct SystemMenuItem {
        unsigned id = 0;
        std::string text;
    };
    void AppendSystemMenuItem(unsigned id, std::string_view text);
    [[nodiscard]] const std::vector<SystemMenuItem>& SystemMenuItems() const { return menu_; }
    void SetIcon(int iconId) { iconId_ = iconId; }
    [[nodiscard]] int IconId() const { return iconId_; }

  protected:
    virtual bool OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnDropFile(std::string_view /*path*/) {}
    // The dialog's handlers; the base has none.
    [[nodiscard]] virtual MessageMap GetMessageMap() const { return {}; }
    // What a system command does when the dialog has no handler: the close command cancels.
    void DefaultSysCommand(unsigned command, std::intptr_t lParam);

  private:
    void Dispatch(Message message, int id, std::uintptr_t wParam, std::intptr_t lParam);
    void KillAllTimers();

    int templateId_ = 0;
    const resources::DialogTemplate* template_ = nullptr;
    CDialog* parent_ = nullptr;
    std::vector<ControlState> controls_;
    std::unique_ptr<HostWindow> window_;
    std::map<std::uintptr_t, net::ScopedTimer> timers_;
    std::vector<SystemMenuItem> menu_;
    int iconId_ = 0;
    int focusId_ = resources::kNoControlId;
    bool running_ = false;
    bool ended_ = false;
    int result_ = 0;
};

}  // namespace omblor::framework
