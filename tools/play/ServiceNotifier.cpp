#include "tools/play/ServiceNotifier.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>

ServiceNotifier::ServiceNotifier() {
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        m_feedInterval = std::max(std::chrono::milliseconds(1),
                                  std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::microseconds(usec / 2)));
    }
}

void ServiceNotifier::Ready(const std::string& status) const {
    sd_notify(0, ("READY=1\nSTATUS=" + status).c_str());
}

void ServiceNotifier::FeedWatchdog() const {
    sd_notify(0, "WATCHDOG=1");
}

void ServiceNotifier::Stopping(const std::string& status) const {
    sd_notify(0, ("STOPPING=1\nSTATUS=" + status).c_str());
}
