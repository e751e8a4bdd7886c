// The window under a modal alert or file panel is active again, with its focus where it was,
// once the modal window has closed: the keys (and the application's shortcuts) work at once.

#include "TestSupport.h"

#include "platform/Alert.h"
#include "platform/Workspace.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace {

// A window with two fields, shown and active, the second field focused.
struct FocusedWindow {
    QWidget window;
    QLineEdit* first = new QLineEdit(&window);
    QLineEdit* second = new QLineEdit(&window);
    FocusedWindow()
    {
        auto* column = new QVBoxLayout(&window);
        column->addWidget(first);
        column->addWidget(second);
        window.resize(300, 120);
        window.show();
        window.activateWindow();
        second->setFocus();
    }
    bool ready() const { return QApplication::activeWindow() == &window && QApplication::focusWidget() == second; }
};

// Once the modal window of type T shows, runs `then` and closes it as the key would.
template <typename T>
void answerNext(Qt::Key key, std::function<void()> then = {})
{
    QTimer::singleShot(0, [key, then] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* modal = qobject_cast<T*>(widget); modal && modal->isVisible()) {
                if (then)
                    then();
                QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                QApplication::sendEvent(modal->focusWidget() ? modal->focusWidget() : modal, &press);
            }
        }
    });
}

} // namespace

TEST(ModalFocus, TheWindowUnderAnAlertOrAFilePanelIsActiveWithItsFocusOnceItHasClosed)
{
    FocusedWindow shown;
    ASSERT_TRUE(testing_support::waitUntil([&] { return shown.ready(); }));
    platform::QtAlertPresenter presenter;
    platform::Alert alert;
    alert.messageText = QStringLiteral("Empty Post Name");
    alert.buttons = {QStringLiteral("OK")};
    answerNext<QMessageBox>(Qt::Key_Return);
    EXPECT_EQ(presenter.runModal(alert, shown.second).response, platform::kAlertFirstButtonReturn);
    EXPECT_TRUE(testing_support::waitUntil([&] { return shown.ready(); }));

    // An alert without a parent: the window that was active.
    answerNext<QMessageBox>(Qt::Key_Escape);
    presenter.runModal(alert, nullptr);
    EXPECT_TRUE(testing_support::waitUntil([&] { return shown.ready(); }));

    // A file panel, cancelled.
    platform::QtFilePanels panels;
    platform::PanelRequest request;
    request.kind = platform::PanelRequest::Kind::OpenDirectory;
    request.directory = testing_support::testHome();
    answerNext<QFileDialog>(Qt::Key_Escape);
    EXPECT_FALSE(panels.run(request, &shown.window).has_value());
    EXPECT_TRUE(testing_support::waitUntil([&] { return shown.ready(); }));
}

TEST(ModalFocus, AWindowClosedWhileTheAlertShowedStaysClosed)
{
    FocusedWindow shown;
    ASSERT_TRUE(testing_support::waitUntil([&] { return shown.ready(); }));
    platform::QtAlertPresenter presenter;
    platform::Alert alert;
    alert.messageText = QStringLiteral("Unpublished Post?");
    answerNext<QMessageBox>(Qt::Key_Return, [&shown] { shown.window.close(); });
    presenter.runModal(alert, shown.second);
    EXPECT_TRUE(testing_support::holdsFor([&] { return !shown.window.isVisible(); }, 50));
    EXPECT_NE(QApplication::activeWindow(), &shown.window);
}
