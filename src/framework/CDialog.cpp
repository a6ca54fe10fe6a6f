#include "framework/CDialog.h"

#include <chrono>
#include <utility>

#include "framework/CDataExchange.h"
#include "framework/Host.h"
#include "resources/DialogTemplate.h"

namespace omblor::framework {

CDialog::CDialog(int templateId, CDialog* parent)
    : templateId_(templateId),
      template_(resources::FindDialogTemplate(templateId)),
      parent_(parent) {}

CDialog::~CDialog() {
    KillAllTimers();
    for (auto& control : controls_) SecureWipe(control.text);
}

int CDialog::DoModal() {
    if (template_ == nullptr || running_) return -1;
    running_ = true;
    ended_ = false;
    result_ = 0;

    controls_.clear();
    for (const auto& t : template_->controls) {
        ControlState state;
        state.tmpl = &t;
        state.id = t.id;
        state.kind = t.kind;
        state.text = std::string(t.text);
        controls_.push_back(std::move(state));
    }
    focusId_ = resources::kNoControlId;
    menu_.clear();
    window_ = CurrentHost().CreateHostWindow(*this);

    if (OnInitDialog() && focusId_ == resources::kNoControlId) {
        for (const auto& control : controls_) {
            if (control.IsTabStop() && control.enabled) {
                GotoDlgCtrl(control.id);
                break;
            }
        }
    }
    if (!ended_) {
        window_->Shown();
        if (net::EventLoop* loop = net::EventLoop::Current()) {
            loop->RunUntil([this] { return ended_; });
        } else {
            EndDialog(-1);  // no loop to run on
        }
    }

    // The window goes now; the object (and whatever it owns) lives on until its owner drops it.
    KillAllTimers();
    window_->Ended(result_);
    window_.reset();
    for (auto& control : controls_) SecureWipe(control.text);
    controls_.clear();
    running_ = false;
    return result_;
}

void CDialog::EndDialog(int result) {
    if (!running_ || ended_) return;
    result_ = result;
    ended_ = true;
    if (window_) window_->EndRequested(result);
}

bool CDialog::UpdateData(bool saveAndValidate) {
    if (!IsOpen()) return false;
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return !dx.Failed();
}

std::uintptr_t CDialog::SetTimer(std::uintptr_t id, unsigned elapseMs) {
    if (!IsOpen() || id == 0) return 0;
    timers_.erase(id);
    timers_.emplace(id, net::ScopedTimer(std::chrono::milliseconds(elapseMs), net::Repeat::Yes,
                                         [this, id] { Dispatch(Message::Timer, 0, id, 0); }));
    return id;
}

bool CDialog::KillTimer(std::uintptr_t id) {
    return timers_.erase(id) > 0;
}

void CDialog::KillAllTimers() {
    timers_.clear();
}

ControlState* CDialog::FindControl(int id) {
    if (id == resources::kNoControlId) return nullptr;
    for (auto& control : controls_) {
        if (control.id == id) return &control;
    }
    return nullptr;
}

void CDialog::GotoDlgCtrl(int id) {
    if (FindControl(id) == nullptr) return;
    focusId_ = id;
    if (window_) window_->FocusChanged(id);
}

void CDialog::NotifyChanged(int id) {
    if (window_) window_->ControlChanged(id);
}

void CDialog::NotifyTreeItemChanged(int id, HTREEITEM item) {
    if (window_) window_->TreeItemChanged(id, item);
}

void CDialog::SelectAllText(int id) {
    if (window_) window_->SelectAllText(id);
}

void CDialog::HandleCommand(int id) {
    if (!IsOpen()) return;
    if (ControlState* control = FindControl(id);
        control != nullptr && control->kind == resources::ControlKind::CheckBox) {
        // An automatic check box toggles itself before its owner hears of the click.
        control->checked = control->checked != 0 ? 0 : 1;
        NotifyChanged(id);
    }
    Dispatch(Message::Command, id, 0, 0);
}

void CDialog::HandleSysCommand(unsigned command) {
    if (IsOpen()) Dispatch(Message::SysCommand, 0, command, 0);
}

void CDialog::Dispatch(Message message, int id, std::uintptr_t wParam, std::intptr_t lParam) {
    for (const auto& entry : GetMessageMap()) {
        if (entry.message == message && (message != Message::Command || entry.id == id)) {
            entry.thunk(*this, entry.member, wParam, lParam);
            return;
        }
    }
    if (message == Message::Command) {
        if (id == IDOK) OnOK();
        if (id == IDCANCEL) OnCancel();
    }
    if (message == Message::SysCommand) DefaultSysCommand(static_cast<unsigned>(wParam), lParam);
}

void CDialog::DefaultSysCommand(unsigned command, std::intptr_t /*lParam*/) {
    constexpr unsigned kClose = 0xF060;
    if ((command & 0xFFF0U) == kClose) OnCancel();
}

void CDialog::AppendSystemMenuItem(unsigned id, std::string_view text) {
    menu_.push_back({id, std::string(text)});
}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::DoDataExchange(CDataExchange* /*pDX*/) {}

void CDialog::OnOK() {
    if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

}  // namespace omblor::framework
