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
#include <vector>

namespace {

/// Answers the next message box that opens with the given button, after noting how it looks.
struct BoxAnswer {
    explicit BoxAnswer(QMessageBox::StandardButton button)
        : press(button) {}

    QMessageBox::StandardButton press;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::StandardButtons buttons;
    bool waitCursorWhileShown = true;
    bool seen = false;

    void arm() {
        QTimer::singleShot(0, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            seen = true;
            icon = box->icon();
            text = box->text();
            format = box->textFormat();
            buttons = box->standardButtons();
            waitCursorWhileShown = QApplication::overrideCursor() != nullptr;
            box->button(press)->click();
        });
    }
};

TEST(QtMessageBoxHandlerTest, ShowsTheIconButtonsAndPlainTextOfTheType) {
    QtMessageBoxHandler handler;

    BoxAnswer stop{QMessageBox::Ok};
    stop.arm();
    EXPECT_EQ(handler.Show("Unable to find <B>.pla & co", MB_OK | MB_ICONSTOP), IDOK);
    ASSERT_TRUE(stop.seen);
    EXPECT_EQ(stop.icon, QMessageBox::Critical);
    EXPECT_EQ(stop.text, QStringLiteral("Unable to find <B>.pla & co"));
    EXPECT_EQ(stop.format, Qt::PlainText) << "file names are not markup";
    EXPECT_EQ(stop.buttons, QMessageBox::Ok);

    BoxAnswer no{QMessageBox::No};
    no.arm();
    EXPECT_EQ(handler.Show("Save?", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(no.icon, QMessageBox::Question);
    EXPECT_EQ(no.buttons, QMessageBox::Yes | QMessageBox::No);

    BoxAnswer yes{QMessageBox::Yes};
    yes.arm();
    EXPECT_EQ(handler.Show("Save?", MB_YESNO | MB_ICONQUESTION), IDYES);
}

TEST(QtMessageBoxHandlerTest, TheWaitCursorMakesWayWhileAMessageIsShown) {
    QtMessageBoxHandler handler;
    CWaitCursor outer;
    CWaitCursor inner;
    BoxAnswer box{QMessageBox::Ok};
    box.arm();
    handler.Show("Reading the play list failed", MB_ICONSTOP);
    ASSERT_TRUE(box.seen);
    EXPECT_FALSE(box.waitCursorWhileShown);
    ASSERT_NE(QApplication::overrideCursor(), nullptr) << "and comes back afterwards";
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
    EXPECT_EQ(QtFileDialogHandler::CaseInsensitiveFilter(QStringLiteral("*.wav")),
              QStringLiteral("*.[wW][aA][vV]"));
}

} // namespace
