#pragma once

#include <chrono>
#include <string>

/// Tells the service manager how the player is doing when it runs as a notify service:
/// READY=1 once a list plays, WATCHDOG=1 while the player's worker lives, STOPPING=1 on the
/// way out. Outside a service (no NOTIFY_SOCKET) every call does nothing.
class ServiceNotifier {
public:
    /// Reads the watchdog's timeout from the environment (WATCHDOG_USEC, WATCHDOG_PID).
    ServiceNotifier();

    /// How often the watchdog is fed: half its timeout, so one late feed is forgiven; zero
    /// when the service has no watchdog.
    std::chrono::milliseconds FeedInterval() const { return m_feedInterval; }

    void Ready(const std::string& status) const;
    void FeedWatchdog() const;
    void Stopping(const std::string& status) const;

private:
    std::chrono::milliseconds m_feedInterval{0};
};
