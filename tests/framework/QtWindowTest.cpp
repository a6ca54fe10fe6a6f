// The real window in-process under the offscreen platform, driven with QTest key and mouse
// events: what the keyboard does in every dialog, where message boxes open and what they say.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/COmblorDlg.h"
#include "framework/Controls.h"
#include "support/RunProgram.h"
#include "support/ScratchDir.h"
#include "update/CUpdateDlg.h"
#include "update/SampleApp.h"

#include "framework/CDialog.h"
#include "framework/MessageBox.h"
#include "framework/qt/QtHost.h"
#include "net/EventLoop.h"
#include "resources/ResourceIds.h"

namespace {

using namespace std::chrono_literals;
namespace fw = omblor::framework;
namespace res = omblor::resources;
using omblor::testing::ScratchDir;

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
    void OnOK() override { On<fw::IDOK>(); }
    void OnCancel() override { On<fw::IDCANCEL>(); }
    [[nodiscard]] fw::MessageMap GetMessageMap() const override {
        static constexpr auto kFind = &Recorder::On<res::IDC_FIND>;
        static constexpr auto kBrowse = &Recorder::On<res::IDC_BROWSE>;
        static constexpr auto kSearch = &Recorder::On<res::IDC_SEARCH_AGAIN>;
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
    template <int Id>
    void On() {
        if (command == 0) command = Id;
        EndDialog(Id);
    }
    void OnSysCommand(unsigned id, std::intptr_t /*lParam*/) {
        sysCommand = id;
        EndDialog(fw::IDCANCEL);
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
    {res::IDD_OMBLOR_DIALOG, fw::IDCANCEL, Qt::Key_Return, fw::IDCANCEL},
    {res::IDD_OMBLOR_DIALOG, res::IDC_FIND, Qt::Key_Return, res::IDC_FIND},
    {res::IDD_OMBLOR_DIALOG, res::IDC_BROWSE, Qt::Key_Enter, res::IDC_BROWSE},
    {res::IDD_OMBLOR_DIALOG, res::IDC_IPADDR2, Qt::Key_Return, fw::IDOK},
    {res::IDD_OMBLOR_DIALOG, res::IDC_IPADDR2, Qt::Key_Return, fw::IDOK, fw::IDCANCEL},
    {res::IDD_OMBLOR_DIALOG, res::IDC_REBOOT, Qt::Key_Return, fw::IDOK},
    {res::IDD_OMBLOR_DIALOG, res::IDC_FIND, Qt::Key_Space, res::IDC_FIND},
    {res::IDD_OMBLOR_DIALOG, res::IDC_FILENAME, Qt::Key_Escape, fw::IDCANCEL},
    {res::IDD_IDFIND, res::IDC_SEARCH_AGAIN, Qt::Key_Return, res::IDC_SEARCH_AGAIN},
    {res::IDD_IDFIND, res::IDC_DEVICE_TREE, Qt::Key_Return, fw::IDOK},
    {res::IDD_IDFIND, res::IDC_DEVICE_TREE, Qt::Key_Escape, fw::IDCANCEL},
    {res::IDD_UPDATE, fw::IDCANCEL, Qt::Key_Return, fw::IDCANCEL},
    {res::IDD_PASSWORD, fw::IDCANCEL, Qt::Key_Space, fw::IDCANCEL},
    {res::IDD_PASSWORD, res::IDC_USERNAME, Qt::Key_Return, fw::IDOK},
    {res::IDD_PASSWORD, res::IDC_PASSWORD, Qt::Key_Escape, fw::IDCANCEL},
};

TEST(QtWindow, keys_press_the_focused_button_the_default_one_or_cancel) {
    WithQt([] {
        for (const KeyCase& k : kKeyCases) {
            SCOPED_TRACE(::testing::Message() << "template " << k.templateId << " focus " << k.focus
                                              << " key " << k.key);
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

struct BoxSeen {
    QWidget* owner = reinterpret_cast<QWidget*>(1);
    QRect frame;
    QString text;
    QString details;
};

// Looks at each message box that opens and closes it.
omblor::net::ScopedTimer WatchBoxes(BoxSeen& seen) {
    return omblor::net::ScopedTimer(10ms, omblor::net::Repeat::Yes, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        seen = {box->parentWidget(), box->frameGeometry(), box->text(), box->detailedText()};
        box->accept();
    });
}

TEST(QtWindow, a_box_opens_centred_over_the_main_window_and_shift_f10_or_menu_opens_its_menu) {
    WithQt([] {
        for (const QKeyCombination keys :
             {QKeyCombination(Qt::ShiftModifier, Qt::Key_F10), QKeyCombination(Qt::Key_Menu)}) {
            Recorder main(res::IDD_OMBLOR_DIALOG);
            QString item;
            RunActing(main, [&](QWidget& window) {
                BoxSeen box;
                const auto watch = WatchBoxes(box);
                fw::AfxMessageBox("IP not set");
                EXPECT_EQ(box.owner, &window);
                EXPECT_LT((box.frame.center() - window.frameGeometry().center()).manhattanLength(),
                          8);
                // Wide enough for the caption beside the title bar's buttons.
                EXPECT_GE(box.frame.width(), 200);
                main.AppendSystemMenuItem(res::IDM_ABOUTBOX, "&About Druvane...");
                omblor::net::ScopedTimer pick(30ms, omblor::net::Repeat::No, [&] {
                    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                    ASSERT_NE(menu, nullptr);
                    item = menu->actions().value(0)->text();
                    menu->actions().value(0)->trigger();
                    menu->close();
                });
                // Window shortcuts need the window to be the active one, as it is on a desktop
                // once the box has gone.
                window.activateWindow();
                EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
                QTest::keyClick(&window, keys.key(), keys.keyboardModifiers());
                if (main.sysCommand == 0) main.EndDialog(-1);
            });
            EXPECT_EQ(item, QStringLiteral("&About Druvane..."));
            EXPECT_EQ(main.sysCommand, static_cast<unsigned>(res::IDM_ABOUTBOX));
        }
        return 0;
    });
}

// The sample application for a "QX19" module.
std::string WriteImageFile(const ScratchDir& dir) {
    return dir.Write("t_APP.s19", std::string("S0QX19\r\n") + omblor::testing::kRecords);
}

// The file is read before the update window is on screen: its boxes have no owner.
TEST(QtWindow, failure_boxes_open_centred_on_the_screen_and_say_more_in_their_details) {
    const ScratchDir scratch;
    const std::string dir = scratch.path().string();
    const std::string bad = scratch.Write("bad_APP.s19", "S0QX19\r\nS3090001000001020304EC\r\n");
    const std::string cases[][3] = {
        {bad, "S record checksum error \n",
         "File: " + bad + "\nLine 2, column 1\nRecord: S3090001000001020304EC"},
        {dir, "Failed to open file", "File: " + dir + "\nReason: it is a folder"},
    };
    WithQt([&] {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        for (const auto& [file, text, details] : cases) {
            omblor::update::CUpdateDlg update(file, 0x7F000001, 1, nullptr);
            BoxSeen seen;
            const auto watch = WatchBoxes(seen);
            EXPECT_EQ(update.DoModal(), fw::IDCANCEL);
            EXPECT_EQ(seen.text.toStdString(), text);
            EXPECT_EQ(seen.details.toStdString(), details);
            EXPECT_EQ(seen.owner, nullptr);
            EXPECT_LT((seen.frame.center() - screen.center()).manhattanLength(), 8);
        }
        return 0;
    });
}

TEST(QtWindow, the_status_line_follows_one_exchange) {
    const ScratchDir dir;
    const std::string file = WriteImageFile(dir);
    omblor::testing::BackgroundProgram module(
        "module-sim", {"--address", "127.7.0.1", "--timeout", "20", "--line-delay", "150",
                       "--credentials", "op:pw", "--progress", "325,400", "--end-wait", "1"});
    ASSERT_TRUE(module.WaitForLine("listening"));
    std::vector<std::string> seen;
    QString firstBar;
    bool hidden = false;
    const int result = WithQt([&] {
        omblor::update::CUpdateDlg update(file, 0x7F070001, 1, nullptr);
        omblor::net::ScopedTimer watch(5ms, omblor::net::Repeat::Yes, [&] {
            QWidget* top = QApplication::activeModalWidget();
            if (top == nullptr) return;
            if (top->windowTitle() == QStringLiteral("Password needed")) {
                QTest::keyClicks(top->findChild<QLineEdit*>(QStringLiteral("1013")), "op");
                auto* password = top->findChild<QLineEdit*>(QStringLiteral("1014"));
                hidden = password->echoMode() == QLineEdit::Password;
                QTest::keyClicks(password, "pw");
                QTest::keyClick(password, Qt::Key_Return);
                return;
            }
            auto* bar = top->findChild<QProgressBar*>();
            if (bar != nullptr && firstBar.isEmpty()) firstBar = bar->text();
            if (auto* status = top->findChild<QLabel*>(QStringLiteral("1016"))) {
                const std::string text = status->text().toStdString();
                if (seen.empty() || seen.back() != text) seen.push_back(text);
            }
        });
        return update.DoModal();
    });
    EXPECT_EQ(result, fw::IDOK);
    EXPECT_EQ(module.Finish().exitCode, 0);
    EXPECT_TRUE(hidden);
    EXPECT_EQ(firstBar, QStringLiteral("0%"));
    const std::vector<std::string> expected = {
        "Connecting to 127.7.0.1 port 20034...",
        "Connected; module platform QX19",
        "Waiting for the user name and password...",
        "Image header sent: 8 bytes at 0x00010000",
        "Sending the image: 8 of 8 bytes",
        "Programming: 25%",
        "Programming: 100%",
        "Told the module to reboot",
    };
    // "Done" shows only for as long as the dialog takes to close; the watch may not see it.
    if (!seen.empty() && seen.back() == "Done") seen.pop_back();
    EXPECT_EQ(seen, expected);
}

TEST(QtWindow, a_dropped_file_fills_the_file_name_is_stored_as_browse_would_and_dismiss_cancels) {
    const ScratchDir dir;
    const std::string file = WriteImageFile(dir);
    const std::string hive = (dir.path() / "HKLM.reg").string();
    ::setenv("OMBLOR_HKLM", hive.c_str(), 1);
    QStringList filters;
    QStringList selected;
    const int result = WithQt([&] {
        omblor::app::COmblorDlg main("");
        return RunActing(main, [&](QWidget& window) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file))});
            const QPoint at =
                window.findChild<QLineEdit*>(QStringLiteral("1006"))->geometry().center();
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&window, &enter);
            EXPECT_TRUE(enter.isAccepted());
            QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&window, &drop);
            EXPECT_EQ(main.FindControl(res::IDC_FILENAME)->text, file);
            // Browse opens where the dropped file is, showing the filter's pattern once.
            omblor::net::ScopedTimer look(30ms, omblor::net::Repeat::No, [&] {
                auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                ASSERT_NE(chooser, nullptr);
                filters = chooser->nameFilters();
                selected = chooser->selectedFiles();
                chooser->reject();
            });
            main.HandleCommand(res::IDC_BROWSE);
            window.findChild<QPushButton*>(QStringLiteral("2"))->click();  // Dismiss
        });
    });
    ::unsetenv("OMBLOR_HKLM");
    EXPECT_EQ(result, fw::IDCANCEL);
    EXPECT_EQ(filters, QStringList{QStringLiteral("Application Files (*_APP.s19)")});
    EXPECT_EQ(selected, QStringList{QString::fromStdString(file)});
    EXPECT_NE(ScratchDir::Read(hive).find("t_APP.s19"), std::string::npos);
}

TEST(QtWindow, the_find_dialogs_tree_draws_lines_grows_and_a_double_click_does_not_end_it) {
    WithQt([] {
        Recorder find(res::IDD_IDFIND);
        RunActing(find, [&](QWidget& window) {
            auto* tree = window.findChild<QTreeWidget*>();
            ASSERT_NE(tree, nullptr);
            EXPECT_EQ(tree->style()->name(), QStringLiteral("windows"));
            EXPECT_TRUE(tree->rootIsDecorated());
            auto* cancel = window.findChild<QPushButton*>(QStringLiteral("2"));
            const QSize tree0 = tree->size();
            const QPoint cancel0 = cancel->pos();
            window.resize(window.size() + QSize(100, 60));
            EXPECT_EQ(tree->size(), tree0 + QSize(100, 60));
            EXPECT_EQ(cancel->pos(), cancel0 + QPoint(100, 60));
            window.resize(10, 10);  // never below the template's size
            EXPECT_EQ(tree->size(), tree0);

            omblor::framework::CTreeCtrl control;
            control.Attach(&find, res::IDC_DEVICE_TREE);
            control.InsertItem("module");
            QTest::qWait(100);  // the tree follows in batches
            find.EndDialog(fw::IDCANCEL);
            ASSERT_EQ(tree->topLevelItemCount(), 1);
            const QRect item = tree->visualItemRect(tree->topLevelItem(0));
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, item.center());
            EXPECT_EQ(find.command, 0);
        });
        return 0;
    });
}

}  // namespace
