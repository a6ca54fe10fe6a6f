// The real window in-process under the offscreen platform, driven with QTest key and mouse
// events: what the keyboard does in every dialog, where message boxes open and what they say.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QTreeWidget>
#include <chrono>
#include <functional>
#include <string>

#include "framework/CDialog.h"
#include "framework/MessageBox.h"
#include "framework/qt/QtHost.h"
#include "net/EventLoop.h"
#include "resources/ResourceIds.h"

namespace {

using namespace std::chrono_literals;
namespace fw = omblor::framework;
namespace res = omblor::resources;

// Runs `body` with the Qt host installed, as the program does.
int WithQt(const std::function<int()>& body) {
    static int argc = 1;
    static char name[] = "omblor";
    static char* argv[] = {name, nullptr};
    return fw::RunWithQtHost(argc, argv, body);
}

// Runs `act` from the modal loop of `dialog` once its window is up.
int RunActing(fw::CDialog& dialog, const std::function<void(QWidget&)>& act) {
    omblor::net::ScopedTimer later(30ms, omblor::net::Repeat::No, [&] {
        QWidget* window = QApplication::activeModalWidget();
        ASSERT_NE(window, nullptr);
        act(*window);
    });
    return dialog.DoModal();
}

// Any template, with every command it can send recorded instead of acted on.
class Recorder final : public fw::CDialog {
  public:
    explicit Recorder(int templateId) : CDialog(templateId) {}
    int command = 0;
    unsigned sysCommand = 0;

  protected:
    void OnOK() override { Record(fw::IDOK); }
    void OnCancel() override { Record(fw::IDCANCEL); }
    [[nodiscard]] fw::MessageMap GetMessageMap() const override {
        static constexpr auto kFind = &Recorder::OnFind;
        static constexpr auto kBrowse = &Recorder::OnBrowse;
        static constexpr auto kSearch = &Recorder::OnSearchAgain;
        static constexpr auto kSys = &Recorder::OnSysCommand;
        static const fw::MessageMapEntry kMap[] = {
            fw::OnSysCommandEntry<Recorder>(&kSys),
            fw::OnCommandEntry<Recorder>(res::IDC_FIND, &kFind),
            fw::OnCommandEntry<Recorder>(res::IDC_BROWSE, &kBrowse),
            fw::OnCommandEntry<Recorder>(res::IDC_SEARCH_AGAIN, &kSearch),
        };
        return kMap;
    }

  private:
    void OnFind() { Record(res::IDC_FIND); }
    void OnBrowse() { Record(res::IDC_BROWSE); }
    void OnSearchAgain() { Record(res::IDC_SEARCH_AGAIN); }
    void OnSysCommand(unsigned id, std::intptr_t /*lParam*/) {
        sysCommand = id;
        EndDialog(fw::IDCANCEL);
    }
    void Record(int id) {
        if (command == 0) command = id;
        EndDialog(id);
    }
};

struct KeyCase {
    int templateId;
    int focus;  // the control that has the keyboard focus
    Qt::Key key;
    int command;  // what the dialog hears
    int via = 0;  // a control that had the focus before
};

// Enter presses the focused push button, or the default one when the focus is elsewhere; Space
// presses the focused button; Esc cancels.
constexpr KeyCase kKeyCases[] = {
    {res::IDD_OMBLOR_DIALOG, fw::IDOK, Qt::Key_Return, fw::IDOK},
    {res::IDD_OMBLOR_DIALOG, fw::IDCANCEL, Qt::Key_Return, fw::IDCANCEL},
    {res::IDD_OMBLOR_DIALOG, res::IDC_FIND, Qt::Key_Return, res::IDC_FIND},
    {res::IDD_OMBLOR_DIALOG, res::IDC_BROWSE, Qt::Key_Enter, res::IDC_BROWSE},
    {res::IDD_OMBLOR_DIALOG, res::IDC_IPADDR2, Qt::Key_Return, fw::IDOK},
    {res::IDD_OMBLOR_DIALOG, res::IDC_IPADDR2, Qt::Key_Return, fw::IDOK, fw::IDCANCEL},
    {res::IDD_OMBLOR_DIALOG, res::IDC_REBOOT, Qt::Key_Return, fw::IDOK},
    {res::IDD_OMBLOR_DIALOG, res::IDC_FIND, Qt::Key_Space, res::IDC_FIND},
    {res::IDD_OMBLOR_DIALOG, res::IDC_FILENAME, Qt::Key_Escape, fw::IDCANCEL},
    {res::IDD_IDFIND, fw::IDOK, Qt::Key_Return, fw::IDOK},
    {res::IDD_IDFIND, fw::IDCANCEL, Qt::Key_Return, fw::IDCANCEL},
    {res::IDD_IDFIND, res::IDC_SEARCH_AGAIN, Qt::Key_Return, res::IDC_SEARCH_AGAIN},
    {res::IDD_IDFIND, res::IDC_DEVICE_TREE, Qt::Key_Return, fw::IDOK},
    {res::IDD_IDFIND, res::IDC_DEVICE_TREE, Qt::Key_Escape, fw::IDCANCEL},
    {res::IDD_UPDATE, fw::IDCANCEL, Qt::Key_Return, fw::IDCANCEL},
    {res::IDD_UPDATE, fw::IDCANCEL, Qt::Key_Escape, fw::IDCANCEL},
    {res::IDD_PASSWORD, fw::IDOK, Qt::Key_Return, fw::IDOK},
    {res::IDD_PASSWORD, fw::IDCANCEL, Qt::Key_Return, fw::IDCANCEL},
    {res::IDD_PASSWORD, fw::IDCANCEL, Qt::Key_Space, fw::IDCANCEL},
    {res::IDD_PASSWORD, res::IDC_USERNAME, Qt::Key_Return, fw::IDOK},
    {res::IDD_PASSWORD, res::IDC_PASSWORD, Qt::Key_Escape, fw::IDCANCEL},
};

TEST(QtWindow, keys_press_the_focused_button_the_default_one_or_cancel) {
    WithQt([] {
        for (const KeyCase& k : kKeyCases) {
            SCOPED_TRACE(::testing::Message() << "template " << k.templateId << " focus "
                                              << k.focus << " key " << k.key);
            Recorder dialog(k.templateId);
            RunActing(dialog, [&](QWidget& window) {
                // The focus goes where the operator's Tab or click would put it.
                if (k.via != 0) dialog.GotoDlgCtrl(k.via);
                dialog.GotoDlgCtrl(k.focus);
                QWidget* focused = window.focusWidget();
                ASSERT_NE(focused, nullptr);
                EXPECT_EQ(focused->objectName(), QString::number(k.focus));
                QTest::keyClick(focused, k.key);
                if (dialog.command == 0) dialog.EndDialog(-1);
            });
            EXPECT_EQ(dialog.command, k.command);
        }
        return 0;
    });
}

// Raises a message box from its initialisation, before its window is on screen.
class BoxAtStart final : public fw::CDialog {
  public:
    BoxAtStart() : CDialog(res::IDD_UPDATE) {}

  protected:
    bool OnInitDialog() override {
        CDialog::OnInitDialog();
        fw::AfxMessageBox("Failed to open file");
        EndDialog(fw::IDCANCEL);
        return true;
    }
};

struct BoxSeen {
    QWidget* owner = reinterpret_cast<QWidget*>(1);
    QRect frame;
    QString detailed;
};

// Looks at the message box that opens next and closes it.
omblor::net::ScopedTimer WatchNextBox(BoxSeen& seen) {
    return omblor::net::ScopedTimer(30ms, omblor::net::Repeat::Yes, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        seen.owner = box->parentWidget();
        seen.frame = box->frameGeometry();
        seen.detailed = box->detailedText();
        box->accept();
    });
}

TEST(QtWindow, a_box_opens_centred_over_the_topmost_window_on_screen_or_on_the_screen) {
    WithQt([] {
        BoxSeen over;
        QWidget* mainWindow = nullptr;
        QRect mainFrame;
        Recorder main(res::IDD_OMBLOR_DIALOG);
        RunActing(main, [&](QWidget& window) {
            mainWindow = &window;
            mainFrame = window.frameGeometry();
            const auto watch = WatchNextBox(over);
            fw::AfxMessageBox("IP not set");
            main.EndDialog(fw::IDCANCEL);
        });
        EXPECT_EQ(over.owner, mainWindow);
        EXPECT_LT((over.frame.center() - mainFrame.center()).manhattanLength(), 8);
        // Wide enough for the caption beside the title bar's buttons.
        EXPECT_GE(over.frame.width(), 200);

        BoxSeen alone;
        BoxAtStart starting;
        const auto watch = WatchNextBox(alone);
        starting.DoModal();
        EXPECT_EQ(alone.owner, nullptr);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_LT((alone.frame.center() - screen.center()).manhattanLength(), 8);
        return 0;
    });
}

TEST(QtWindow, shift_f10_and_the_menu_key_open_the_window_menu) {
    WithQt([] {
        for (const QKeyCombination keys : {QKeyCombination(Qt::ShiftModifier, Qt::Key_F10),
                                          QKeyCombination(Qt::Key_Menu)}) {
            Recorder main(res::IDD_OMBLOR_DIALOG);
            QString item;
            RunActing(main, [&](QWidget& window) {
                main.AppendSystemMenuItem(res::IDM_ABOUTBOX, "&About Druvane...");
                omblor::net::ScopedTimer pick(30ms, omblor::net::Repeat::No, [&] {
                    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                    ASSERT_NE(menu, nullptr);
                    item = menu->actions().value(0)->text();
                    menu->actions().value(0)->trigger();
                    menu->close();
                });
                QTest::keyClick(&window, keys.key(), keys.keyboardModifiers());
            });
            EXPECT_EQ(item, QStringLiteral("&About Druvane..."));
            EXPECT_EQ(main.sysCommand, static_cast<unsigned>(res::IDM_ABOUTBOX));
        }
        return 0;
    });
}

TEST(QtWindow, the_tree_draws_lines_and_the_bar_its_percentage) {
    WithQt([] {
        Recorder find(res::IDD_IDFIND);
        RunActing(find, [&](QWidget& window) {
            auto* tree = window.findChild<QTreeWidget*>();
            ASSERT_NE(tree, nullptr);
            EXPECT_EQ(tree->style()->name(), QStringLiteral("windows"));
            EXPECT_TRUE(tree->rootIsDecorated());
            find.EndDialog(fw::IDCANCEL);
        });
        Recorder update(res::IDD_UPDATE);
        RunActing(update, [&](QWidget& window) {
            auto* bar = window.findChild<QProgressBar*>();
            ASSERT_NE(bar, nullptr);
            EXPECT_EQ(bar->text(), QStringLiteral("0%"));
            update.EndDialog(fw::IDCANCEL);
        });
        return 0;
    });
}

}  // namespace
