// The Windows host on a display (wine under Xvfb): the main window as the dialog manager builds it
// from its template, the keyboard as the dialog manager handles it, and the tree and progress
// controls of the other templates. The checks look at the real windows, as a person would.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "app/COmblorApp.h"
#include "framework/CDataExchange.h"
#include "framework/CDialog.h"
#include "framework/Controls.h"
#include "framework/win32/Win32Host.h"
#include "net/EventLoop.h"
#include "net/Win32EventLoop.h"
#include "resources/Artwork.h"
#include "resources/ResourceIds.h"

namespace {

using namespace std::chrono_literals;
namespace fw = omblor::framework;
namespace res = omblor::resources;

struct Control {
    int id;
    std::string className;
    std::string text;
    LONG style;
};

std::string ClassOf(HWND window) {
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    char text[256] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

std::vector<Control> ControlsOf(HWND dialog) {
    std::vector<Control> out;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        out.push_back({static_cast<short>(::GetDlgCtrlID(child)), ClassOf(child), TextOf(child),
                       ::GetWindowLongA(child, GWL_STYLE)});
    }
    return out;
}

struct Win32Window : ::testing::Test {
    omblor::net::Win32EventLoop loop;
    fw::win32::Win32Host host;

    void SetUp() override {
        if (!fw::win32::Win32Host::CanOpenWindows()) GTEST_SKIP() << "no display";
        omblor::net::EventLoop::SetCurrent(&loop);
        fw::SetCurrentHost(&host);
    }
    void TearDown() override {
        fw::SetCurrentHost(nullptr);
        omblor::net::EventLoop::SetCurrent(nullptr);
    }
    // Calls `step` with the dialog's window once a window titled `title` is up; gives up (and
    // fails) after ten seconds, closing whatever is open.
    void WhenOpen(const char* title, std::function<void(HWND)> step) {
        auto timer = std::make_shared<omblor::net::ScopedTimer>();
        auto waited = std::make_shared<int>(0);
        *timer = omblor::net::ScopedTimer(50ms, omblor::net::Repeat::Yes, [=, this] {
            HWND window = ::FindWindowA(nullptr, title);
            if (window == nullptr || !::IsWindowVisible(window)) {
                if (++*waited == 200) {
                    ADD_FAILURE() << "no window \"" << title << "\"";
                    timer->Stop();
                }
                return;
            }
            timer->Stop();
            step(window);
        });
        timers_.push_back(timer);
    }
    // A key as the operator presses it, on the focused control.
    static void Press(WPARAM key) {
        HWND focus = ::GetFocus();
        ::PostMessageA(focus, WM_KEYDOWN, key, 0);
        ::PostMessageA(focus, WM_KEYUP, key, 0xC0000000);
    }

  private:
    std::vector<std::shared_ptr<omblor::net::ScopedTimer>> timers_;
};

TEST_F(Win32Window, main_window_has_its_controls_and_esc_ends_the_program_with_minus_one) {
    std::vector<Control> controls;
    std::string aboutItem;
    bool icon = false;
    WhenOpen("DRUVANE", [&](HWND window) {
        controls = ControlsOf(window);
        char text[64] = {};
        ::GetMenuStringA(::GetSystemMenu(window, FALSE), res::IDM_ABOUTBOX, text, sizeof text,
                         MF_BYCOMMAND);
        aboutItem = text;
        icon = ::SendMessageA(window, WM_GETICON, ICON_BIG, 0) != 0;
        Press(VK_ESCAPE);
    });
    omblor::app::COmblorApp app;
    app.InitInstance();
    EXPECT_EQ(app.ExitInstance(), -1);

    // In template order, with the classes and styles the template asks for.
    const std::vector<std::pair<int, std::string>> expected = {
        {1, "Button"},    {2, "Button"},  {-1, "Static"}, {1000, "Edit"},
        {1001, "Edit"},   {1002, "Edit"}, {1003, "Edit"}, {1004, "Button"},
        {1005, "Button"}, {1006, "Edit"}, {-1, "Static"}, {1012, "Button"}};
    ASSERT_EQ(controls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(controls[i].id, expected[i].first) << i;
        EXPECT_EQ(controls[i].className, expected[i].second) << i;
    }
    EXPECT_EQ(controls[0].text, "Update");
    EXPECT_EQ(controls[0].style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(controls[1].text, "Dismiss");
    EXPECT_EQ(controls[3].style & ES_NUMBER, ES_NUMBER);
    EXPECT_EQ(controls[11].text, "Reboot when complete");
    EXPECT_EQ(controls[11].style & BS_TYPEMASK, BS_AUTOCHECKBOX);
    EXPECT_EQ(aboutItem, "&About Druvane...");
    EXPECT_TRUE(icon);
}

TEST_F(Win32Window, tab_moves_the_focus_and_enter_presses_the_focused_button) {
    int focusAfterTab = 0;
    WhenOpen("DRUVANE", [&](HWND /*window*/) {
        Press(VK_TAB);
        WhenOpen("DRUVANE", [&](HWND) {
            focusAfterTab = ::GetDlgCtrlID(::GetFocus());
            Press(VK_RETURN);  // on Dismiss
        });
    });
    omblor::app::COmblorApp app;
    app.InitInstance();
    EXPECT_EQ(focusAfterTab, 2);
    EXPECT_EQ(app.ExitInstance(), -1);
}

// The discovery template's tree with the state images of bitmap 133, and the update template's
// progress bar, each filled the way their dialogs fill them.
struct TreeDialog : fw::CDialog {
    TreeDialog() : CDialog(res::IDD_IDFIND) {}
    fw::CTreeCtrl tree;
    fw::CImageList images;
    void DoDataExchange(fw::CDataExchange* dx) override {
        fw::DDX_Control(dx, res::IDC_DEVICE_TREE, tree);
    }
    bool OnInitDialog() override {
        CDialog::OnInitDialog();
        images.Create(res::IDB_STATEIMAGES, res::kStateImageWidth, 1, res::kStateImageMaskColour);
        tree.SetImageList(images, fw::TVSIL_STATE);
        const auto top = tree.InsertItem("QX19 module");
        tree.SetItemState(top, fw::INDEXTOSTATEIMAGEMASK(2), fw::TVIS_STATEIMAGEMASK);
        second = tree.InsertItem("10.1.2.3", top);
        return true;
    }
    fw::HTREEITEM second = 0;
};

TEST_F(Win32Window, tree_shows_state_images_and_reports_the_selection) {
    TreeDialog dialog;
    int imageCount = 0;
    int items = 0;
    unsigned stateImage = 0;
    fw::HTREEITEM selected = 0;
    WhenOpen("Find Tarviks", [&](HWND window) {
        HWND tree = ::GetDlgItem(window, res::IDC_DEVICE_TREE);
        EXPECT_EQ(ClassOf(tree), "SysTreeView32");
        EXPECT_EQ(::GetWindowLongA(tree, GWL_STYLE) & (TVS_HASLINES | TVS_HASBUTTONS),
                  TVS_HASLINES | TVS_HASBUTTONS);
        auto images = reinterpret_cast<HIMAGELIST>(
            ::SendMessageA(tree, TVM_GETIMAGELIST, fw::TVSIL_STATE, 0));
        imageCount = images != nullptr ? ::ImageList_GetImageCount(images) : 0;
        items = static_cast<int>(::SendMessageA(tree, TVM_GETCOUNT, 0, 0));
        auto root =
            reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
        stateImage =
            static_cast<unsigned>(::SendMessageA(
                tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(root), fw::TVIS_STATEIMAGEMASK)) >>
            12;
        // The operator picks the child item, then presses Enter.
        auto child = reinterpret_cast<HTREEITEM>(
            ::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(root)));
        ::SetFocus(tree);
        ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child));
        selected = dialog.tree.GetSelectedItem();
        Press(VK_RETURN);
    });
    EXPECT_EQ(dialog.DoModal(), fw::IDOK);
    EXPECT_EQ(imageCount, 8);
    EXPECT_EQ(items, 2);
    EXPECT_EQ(stateImage, 2U);
    EXPECT_EQ(selected, dialog.second);
}

struct ProgressDialog : fw::CDialog {
    ProgressDialog() : CDialog(res::IDD_UPDATE) {}
    fw::CProgressCtrl bar;
    void DoDataExchange(fw::CDataExchange* dx) override {
        fw::DDX_Control(dx, res::IDC_PROGRESS, bar);
    }
    bool OnInitDialog() override {
        CDialog::OnInitDialog();
        bar.SetRange(0, 100);
        bar.SetPos(40);
        return true;
    }
};

TEST_F(Win32Window, progress_bar_shows_its_position_and_the_close_box_cancels) {
    ProgressDialog dialog;
    int position = -1;
    std::string className;
    WhenOpen("Program Tarvik", [&](HWND window) {
        HWND bar = ::GetDlgItem(window, res::IDC_PROGRESS);
        className = ClassOf(bar);
        dialog.bar.SetPos(75);
        position = static_cast<int>(::SendMessageA(bar, PBM_GETPOS, 0, 0));
        ::PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(dialog.DoModal(), fw::IDCANCEL);
    EXPECT_EQ(className, "msctls_progress32");
    EXPECT_EQ(position, 75);
}

TEST_F(Win32Window, chooser_opens_at_the_stored_file_and_returns_the_full_path) {
    // The stored value is a file's path: the chooser opens in its folder, so a bare name typed
    // there comes back with that folder.
    fw::FileChooserRequest request;
    request.filters = {{"Application Files *_APP.s19", "*_APP.s19"}};
    request.initialLocation = "C:\\windows\\win.ini";
    WhenOpen("Open", [&](HWND chooser) {
        constexpr int kFileNameBox = 0x47C;  // cmb13, the explorer-style chooser's name box
        ::SetDlgItemTextA(chooser, kFileNameBox, "system.ini");
        ::PostMessageA(chooser, WM_COMMAND, fw::IDOK, 0);
    });
    auto chosen = host.ChooseFile(request);
    ASSERT_TRUE(chosen.has_value());
    ::CharUpperA(chosen->data());
    EXPECT_EQ(*chosen, "C:\\WINDOWS\\SYSTEM.INI");

    WhenOpen("Open", [&](HWND chooser) { ::PostMessageA(chooser, WM_COMMAND, fw::IDCANCEL, 0); });
    EXPECT_FALSE(host.ChooseFile(request).has_value());
}

}  // namespace
