#include "ui/QtMessageBoxHandler.h"

#include "platform/mci/Mci.h"
#include "ui/CWaitCursor.h"
#include "ui/QtFileDialogHandler.h"
#include "ui/QtNotifyWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

namespace {

/// How a message box looked, and what the handler returned once it was answered.
struct Shown {
    int result = 0;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::StandardButtons buttons;
    bool waitCursor = true;
};

/// Shows a message through the handler and answers its box with `press`.
Shown show(const std::string& text, UINT type, QMessageBox::StandardButton press) {
    Shown seen;
    QTimer::singleShot(0, [&seen, press] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen = {0,
                    box->icon(),
                    box->text(),
                    box->textFormat(),
                    box->standardButtons(),
                    QApplication::overrideCursor() != nullptr};
            box->button(press)->click();
        }
    });
    seen.result = QtMessageBoxHandler().Show(text, type);
    return seen;
}

// Shown under two wait cursors: the cursor makes way while a message is shown, then comes back.
TEST(QtMessageBoxHandlerTest, ShowsTheIconButtonsAndPlainTextOfTheTypeWithoutTheWaitCursor) {
    const CWaitCursor outer;
    const CWaitCursor inner;
    using B = QMessageBox;
    const std::tuple<UINT, B::StandardButton, int, B::Icon, B::StandardButtons> cases[] = {
        {MB_OK | MB_ICONSTOP, B::Ok, IDOK, B::Critical, B::Ok},
        {MB_YESNO | MB_ICONQUESTION, B::No, IDNO, B::Question, B::Yes | B::No},
        {MB_YESNO | MB_ICONQUESTION, B::Yes, IDYES, B::Question, B::Yes | B::No}};
    for (const auto& [type, press, result, icon, buttons] : cases) {
        const Shown shown = show("Unable to find <B>.pla & co", type, press);
        EXPECT_EQ(std::tuple(shown.result, shown.icon, shown.buttons),
                  std::tuple(result, icon, buttons));
        EXPECT_EQ(shown.text, QStringLiteral("Unable to find <B>.pla & co"));
        EXPECT_EQ(shown.format, Qt::PlainText) << "file names are not markup";
        EXPECT_FALSE(shown.waitCursor);
    }
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
}

TEST(QtNotifyWindowTest, MessagesPostedFromManyThreadsArriveInOrderOnTheInterfaceThread) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 500;
    std::map<WPARAM, std::vector<LPARAM>> received;
    bool offThread = false;
    QtNotifyWindow window([&](UINT message, WPARAM wParam, LPARAM lParam) {
        offThread = offThread || QThread::currentThread() != QApplication::instance()->thread();
        EXPECT_EQ(message, MM_MCINOTIFY);
        received[wParam].push_back(lParam);
    });
    NotifyWindow* handle = &window;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([handle, t] {
            for (int i = 0; i < kPerThread; ++i) {
                handle->PostMessage(MM_MCINOTIFY, static_cast<WPARAM>(t), i);
            }
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    EXPECT_TRUE(received.empty()) << "nothing is handled inside PostMessage";
    QCoreApplication::sendPostedEvents(&window);
    EXPECT_FALSE(offThread);
    ASSERT_EQ(received.size(), static_cast<std::size_t>(kThreads));
    for (const auto& [thread, values] : received) {
        ASSERT_EQ(values.size(), static_cast<std::size_t>(kPerThread)) << "thread " << thread;
        for (int i = 0; i < kPerThread; ++i) {
            EXPECT_EQ(values[static_cast<std::size_t>(i)], i) << "thread " << thread;
        }
    }
}

TEST(QtNotifyWindowTest, MessagesStillQueuedWhenTheWindowGoesAreDropped) {
    int handled = 0;
    auto window = std::make_unique<QtNotifyWindow>([&](UINT, WPARAM, LPARAM) { ++handled; });
    window->PostMessage(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 1);
    window->PostMessage(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 2);
    window.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(handled, 0);
}

TEST(FileDialogTest, TheFiltersIgnoreCase) {
    EXPECT_EQ(QtFileDialogHandler::CaseInsensitiveFilter(
                  QStringLiteral("MIDI (*.mid *.rmi);;Wave Files (*.wav)")),
              QStringLiteral("MIDI (*.[mM][iI][dD] *.[rR][mM][iI]);;Wave Files (*.[wW][aA][vV])"));
}

} // namespace
