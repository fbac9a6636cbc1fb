#pragma once

#include "platform/files/FileDescriptor.h"

#include <QObject>

#include <array>
#include <csignal>

class QSocketNotifier;

/// Turns the signals that end a desktop session into a Qt signal on the interface thread:
/// SIGTERM (logout, shutdown, kill), SIGHUP (the session or terminal went) and SIGINT
/// (Ctrl+C). The handler, which may run on any thread, only writes the signal's number into a
/// socket pair; a QSocketNotifier reads it in whichever event loop runs, so that the program
/// ends from there, never from inside the handler. One at a time in a process; the previous
/// handlers come back when it goes.
class QuitSignals final : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

signals:
    /// One of the signals came (SIGTERM, SIGHUP or SIGINT).
    void Received(int signalNumber);

private:
    static void onSignal(int signalNumber);
    void readSignals();

    static constexpr std::array<int, 3> kSignals{SIGTERM, SIGHUP, SIGINT};

    FileDescriptor m_read;
    FileDescriptor m_write;
    QSocketNotifier* m_notifier = nullptr;
    std::array<struct sigaction, kSignals.size()> m_previous{};
};
