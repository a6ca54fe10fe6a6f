// <windows.h> first: the framework's headers then replace the few macros whose names they use.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "framework/CDialog.h"
#include "framework/ControlState.h"
#include "framework/win32/DialogTemplateBuilder.h"
#include "framework/win32/Win32Host.h"
#include "platform/SecureWipe.h"
#include "resources/Artwork.h"
#include "resources/DialogTemplate.h"

namespace omblor::framework::win32 {

namespace {

using resources::ControlKind;

HINSTANCE Instance() {
    return ::GetModuleHandleA(nullptr);
}

// The native tree item handles (the framework's own HTREEITEM is an integer).
using NativeItem = ::HTREEITEM;
const auto kNativeRoot = reinterpret_cast<NativeItem>(static_cast<ULONG_PTR>(-0x10000));
const auto kNativeLast = reinterpret_cast<NativeItem>(static_cast<ULONG_PTR>(-0x0FFFE));

std::string WindowText(HWND window) {
    const int length = ::GetWindowTextLengthA(window);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int got = ::GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return text;
}

HICON LoadAppIcon(int id, int metricX, int metricY) {
    return static_cast<HICON>(::LoadImageA(Instance(), MAKEINTRESOURCEA(id), IMAGE_ICON,
                                           ::GetSystemMetrics(metricX), ::GetSystemMetrics(metricY),
                                           LR_DEFAULTCOLOR));
}

}  // namespace

// One open dialog: its template in the dialog manager's form, and its HWND while it runs.
class Win32Host::Window final : public HostWindow {
  public:
    Window(Win32Host& host, CDialog& dialog)
        : host_(host), dialog_(dialog), template_(BuildDialogTemplate(*dialog.Template())) {}
    ~Window() override {
        std::erase(host_.open_, this);
        if (images_ != nullptr) ::ImageList_Destroy(images_);
        if (bigIcon_ != nullptr) ::DestroyIcon(bigIcon_);
        if (smallIcon_ != nullptr) ::DestroyIcon(smallIcon_);
    }

    // The dialog manager runs the modal loop from here until EndRequested ends it.
    void Shown() override {
        auto* owner = static_cast<HWND>(host_.Owner());
        host_.open_.push_back(this);
        const INT_PTR result = ::DialogBoxIndirectParamA(
            Instance(), reinterpret_cast<LPCDLGTEMPLATEA>(template_.data()), owner, &DialogProc,
            reinterpret_cast<LPARAM>(this));
        hwnd_ = nullptr;
        std::erase(host_.open_, this);
        // A dialog that could not be made must still end, or its caller would wait for ever.
        if (result == -1) dialog_.EndDialog(-1);
    }
    void ControlChanged(int id) override {
        if (hwnd_ == nullptr) return;
        if (ControlState* c = dialog_.FindControl(id)) Sync(*c);
    }
    void FocusChanged(int id) override {
        if (hwnd_ == nullptr) return;
        if (HWND control = ::GetDlgItem(hwnd_, id)) {
            ::SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
        }
    }
    void SelectAllText(int id) override {
        if (hwnd_ != nullptr) ::SendDlgItemMessageA(hwnd_, id, EM_SETSEL, 0, -1);
    }
    void EndRequested(int result) override {
        if (hwnd_ != nullptr) ::EndDialog(hwnd_, result);
    }
    void Ended(int /*result*/) override {}

    [[nodiscard]] HWND Handle() const { return hwnd_; }

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<Window*>(lParam);
            ::SetWindowLongPtrA(window, DWLP_USER, lParam);
            self->hwnd_ = window;
            return self->Init();
        }
        auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrA(window, DWLP_USER));
        return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
    }

    INT_PTR Init() {
        if (dialog_.IconId() != 0) {
            bigIcon_ = LoadAppIcon(dialog_.IconId(), SM_CXICON, SM_CYICON);
            smallIcon_ = LoadAppIcon(dialog_.IconId(), SM_CXSMICON, SM_CYSMICON);
            ::SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
            ::SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
        }
        if (HMENU menu = ::GetSystemMenu(hwnd_, FALSE);
            menu != nullptr && !dialog_.SystemMenuItems().empty()) {
            ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            for (const auto& item : dialog_.SystemMenuItems()) {
                ::AppendMenuA(menu, MF_STRING, item.id, item.text.c_str());
            }
        }
        for (ControlState& c : dialog_.Controls()) {
            if (c.id != resources::kNoControlId) Sync(c);
        }
        if (HWND focus = ::GetDlgItem(hwnd_, dialog_.FocusId())) {
            ::SetFocus(focus);
            return FALSE;  // the focus is set
        }
        return TRUE;
    }

    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_COMMAND: {
                const int id = LOWORD(wParam);
                const unsigned code = HIWORD(wParam);
                if (code == EN_CHANGE) {
                    TakeTypedText(id, reinterpret_cast<HWND>(lParam));
                } else if (code == BN_CLICKED) {
                    // Buttons, the check box, and IDOK / IDCANCEL from Enter, Esc and the close
                    // box, as the dialog manager turns them into commands.
                    dialog_.HandleCommand(id);
                }
                return TRUE;
            }
            case WM_NOTIFY: {
                const auto* header = reinterpret_cast<const NMHDR*>(lParam);
                if (!syncing_ &&
                    (header->code == TVN_SELCHANGEDA || header->code == TVN_SELCHANGEDW)) {
                    const auto* change = reinterpret_cast<const NMTREEVIEWA*>(lParam);
                    if (ControlState* c = dialog_.FindControl(static_cast<int>(header->idFrom))) {
                        c->selected = change->itemNew.hItem != nullptr
                                          ? static_cast<HTREEITEM>(change->itemNew.lParam)
                                          : 0;
                    }
                }
                return FALSE;
            }
            case WM_SYSCOMMAND: {
                const auto command = static_cast<unsigned>(wParam & 0xFFF0);
                const auto& items = dialog_.SystemMenuItems();
                const bool ours = std::any_of(items.begin(), items.end(),
                                              [&](const auto& item) { return item.id == command; });
                if (!ours && command != SC_CLOSE) return FALSE;  // move, minimise, ...
                dialog_.HandleSysCommand(static_cast<unsigned>(wParam));
                return TRUE;
            }
            default:
                return FALSE;
        }
    }

    // Typed text goes straight into the control's state; the old text may be a password.
    void TakeTypedText(int id, HWND edit) {
        if (syncing_) return;
        ControlState* c = dialog_.FindControl(id);
        if (c == nullptr || c->kind != ControlKind::Edit) return;
        std::string typed = WindowText(edit);
        SecureWipe(c->text);
        c->text = typed;
        SecureWipe(typed);
    }

    void Sync(ControlState& c) {
        HWND control = ::GetDlgItem(hwnd_, c.id);
        if (control == nullptr) return;
        syncing_ = true;
        ::EnableWindow(control, c.enabled ? TRUE : FALSE);
        switch (c.kind) {
            case ControlKind::Edit:
            case ControlKind::PushButton:
            case ControlKind::DefPushButton: {
                std::string shown = WindowText(control);
                if (shown != c.text) ::SetWindowTextA(control, c.text.c_str());
                SecureWipe(shown);
                break;
            }
            case ControlKind::CheckBox:
                ::SendMessageA(control, BM_SETCHECK, c.checked != 0 ? BST_CHECKED : BST_UNCHECKED,
                               0);
                break;
            case ControlKind::Progress:
                ::SendMessageA(control, PBM_SETRANGE32, static_cast<WPARAM>(c.rangeLow),
                               static_cast<LPARAM>(c.rangeHigh));
                ::SendMessageA(control, PBM_SETPOS, static_cast<WPARAM>(c.position), 0);
                break;
            case ControlKind::Tree:
                SyncTree(control, c);
                break;
            case ControlKind::Static:
            case ControlKind::Icon:
                break;
        }
        syncing_ = false;
    }

    void SyncTree(HWND tree, ControlState& c) {
        if (c.stateImageList != 0 && images_ == nullptr) {
            images_ = ::ImageList_LoadImageA(
                Instance(), MAKEINTRESOURCEA(c.stateImageList), resources::kStateImageWidth, 1,
                resources::kStateImageMaskColour, IMAGE_BITMAP, LR_CREATEDIBSECTION);
            ::SendMessageA(tree, TVM_SETIMAGELIST, TVSIL_STATE, reinterpret_cast<LPARAM>(images_));
        }
        if (c.items.empty() && !items_.empty()) {
            ::SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(kNativeRoot));
            items_.clear();
            selected_ = 0;
        }
        for (const TreeItemState& item : c.items) {
            auto it = items_.find(item.handle);
            if (it == items_.end()) {
                TVINSERTSTRUCTA insert{};
                const auto parent = items_.find(item.parent);
                insert.hParent = parent != items_.end() ? parent->second.native : kNativeRoot;
                insert.hInsertAfter = kNativeLast;
                insert.item.mask = TVIF_TEXT | TVIF_STATE | TVIF_PARAM;
                insert.item.pszText = const_cast<char*>(item.text.c_str());
                insert.item.state = item.state & TVIS_STATEIMAGEMASK;
                insert.item.stateMask = TVIS_STATEIMAGEMASK;
                insert.item.lParam = static_cast<LPARAM>(item.handle);
                const auto native = reinterpret_cast<NativeItem>(
                    ::SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
                items_[item.handle] = ItemShown{native, item.text, item.state};
                if (parent != items_.end()) {
                    ::SendMessageA(tree, TVM_EXPAND, TVE_EXPAND,
                                   reinterpret_cast<LPARAM>(parent->second.native));
                }
                continue;
            }
            ItemShown& shown = it->second;
            if (shown.text == item.text && shown.state == item.state) continue;
            TVITEMA update{};
            update.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_STATE;
            update.hItem = shown.native;
            update.pszText = const_cast<char*>(item.text.c_str());
            update.state = item.state & TVIS_STATEIMAGEMASK;
            update.stateMask = TVIS_STATEIMAGEMASK;
            ::SendMessageA(tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&update));
            shown.text = item.text;
            shown.state = item.state;
        }
        if (c.selected != selected_) {
            const auto it = items_.find(c.selected);
            ::SendMessageA(
                tree, TVM_SELECTITEM, TVGN_CARET,
                reinterpret_cast<LPARAM>(it != items_.end() ? it->second.native : nullptr));
            selected_ = c.selected;
        }
    }

    // What the native tree shows of one item.
    struct ItemShown {
        NativeItem native = nullptr;
        std::string text;
        unsigned state = 0;
    };

    Win32Host& host_;
    CDialog& dialog_;
    std::vector<std::uint32_t> template_;
    HWND hwnd_ = nullptr;
    HIMAGELIST images_ = nullptr;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    std::map<HTREEITEM, ItemShown> items_;
    HTREEITEM selected_ = 0;
    // Set while the host writes into the controls, so their notifications are not taken for
    // the operator's.
    bool syncing_ = false;
};

Win32Host::Win32Host() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
}

Win32Host::~Win32Host() = default;

bool Win32Host::CanOpenWindows() {
    HWND probe = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                   Instance(), nullptr);
    if (probe == nullptr) return false;
    ::DestroyWindow(probe);
    return true;
}

void* Win32Host::Owner() const {
    for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
        if ((*it)->Handle() != nullptr) return (*it)->Handle();
    }
    return nullptr;
}

std::unique_ptr<HostWindow> Win32Host::CreateHostWindow(CDialog& dialog) {
    return std::make_unique<Window>(*this, dialog);
}

int Win32Host::MessageBox(std::string_view text, std::string_view caption, unsigned type) {
    const std::string body(text);
    const std::string title(caption);
    ::MessageBoxA(static_cast<HWND>(Owner()), body.c_str(), title.c_str(), type);
    return IDOK;
}

std::optional<std::string> Win32Host::ChooseFile(const FileChooserRequest& request) {
    // "description\0pattern\0...\0"
    std::string filter;
    for (const auto& f : request.filters) {
        filter += f.description;
        filter += '\0';
        filter += f.pattern;
        filter += '\0';
    }
    filter += '\0';
    // A stored file path opens the chooser in its folder.
    std::string folder = request.initialLocation;
    const DWORD attributes =
        folder.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesA(folder.c_str());
    if (!folder.empty() &&
        (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)) {
        const auto slash = folder.find_last_of("\\/");
        folder = slash == std::string::npos ? std::string() : folder.substr(0, slash);
    }
    char file[1024] = {};
    OPENFILENAMEA chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = static_cast<HWND>(Owner());
    chooser.lpstrFilter = filter.c_str();
    chooser.lpstrFile = file;
    chooser.nMaxFile = sizeof file;
    chooser.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    chooser.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR |
                    (request.hideReadOnly ? OFN_HIDEREADONLY : 0);
    if (::GetOpenFileNameA(&chooser) == 0) return std::nullopt;
    return std::string(file);
}

}  // namespace omblor::framework::win32
