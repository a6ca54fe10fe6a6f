// The Qt host under the offscreen platform: the main window opens from its template, typing
// reaches the controls' state, and Dismiss ends it with IDCANCEL, all on the Qt event loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <chrono>

#include "app/COmblorDlg.h"
#include "update/CPassDlg.h"
#include "framework/qt/QtHost.h"
#include "net/EventLoop.h"

namespace {

using namespace std::chrono_literals;

QWidget* OpenDialog() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->windowTitle() == QStringLiteral("DRUVANE")) return w;
    }
    return nullptr;
}

TEST(QtHost, main_window_takes_typing_and_dismiss_ends_it) {
    ::setenv("OMBLOR_HKLM", "/dev/null/HKLM.reg", 1);
    int argc = 1;
    char name[] = "omblor";
    char* argv[] = {name, nullptr};
    std::string typed;
    int ticks = 0;
    const int code = omblor::framework::RunWithQtHost(argc, argv, [&] {
        omblor::app::COmblorDlg dlg("-I10.1.2.3");
        // Ticks of a loop timer must keep coming while the dialog is modal.
        omblor::net::ScopedTimer tick(5ms, omblor::net::Repeat::Yes, [&] { ++ticks; });
        omblor::net::ScopedTimer act(200ms, omblor::net::Repeat::No, [&] {
            QWidget* window = OpenDialog();
            ASSERT_NE(window, nullptr);
            const auto edits = window->findChildren<QLineEdit*>();
            ASSERT_GE(edits.size(), 4);
            edits[0]->selectAll();
            QTest::keyClicks(edits[0], QStringLiteral("192"));
            typed = dlg.FindControl(1000)->text;
            for (QPushButton* b : window->findChildren<QPushButton*>()) {
                if (b->text() == QStringLiteral("Dismiss")) b->click();
            }
        });
        return dlg.DoModal();
    });
    EXPECT_EQ(code, omblor::framework::IDCANCEL);
    EXPECT_EQ(typed, "192");
    EXPECT_GT(ticks, 5);
}

TEST(QtHost, enter_in_the_credentials_prompt_is_ok_and_takes_the_hidden_password) {
    int argc = 1;
    char name[] = "omblor";
    char* argv[] = {name, nullptr};
    bool hidden = false;
    std::string password;
    const int code = omblor::framework::RunWithQtHost(argc, argv, [&] {
        omblor::update::CPassDlg prompt;
        omblor::net::ScopedTimer act(200ms, omblor::net::Repeat::No, [&] {
            QWidget* window = QApplication::activeModalWidget();
            ASSERT_NE(window, nullptr);
            const auto edits = window->findChildren<QLineEdit*>();
            ASSERT_EQ(edits.size(), 2);
            hidden = edits[1]->echoMode() == QLineEdit::Password;
            QTest::keyClicks(edits[1], QStringLiteral("pw"));
            QTest::keyClick(edits[1], Qt::Key_Return);
        });
        const int result = prompt.DoModal();
        password = prompt.password;
        return result;
    });
    EXPECT_EQ(code, omblor::framework::IDOK);
    EXPECT_TRUE(hidden);
    EXPECT_EQ(password, "pw");
}

}  // namespace
