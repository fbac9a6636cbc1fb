#pragma once

#include "tests/support/WaitFor.h"

#include "platform/engine/EngineTypes.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/// Collects the end reports of engine sources for tests to wait on.
class EndLog {
public:
    struct Entry {
        SourceId id;
        EndReason reason;
        std::uint64_t serial;
        std::chrono::steady_clock::time_point when;
    };

    EndHandler Handler() {
        return [this](SourceId id, EndReason reason, std::uint64_t serial) {
            std::lock_guard lock(m_mutex);
            m_entries.push_back({id, reason, serial, std::chrono::steady_clock::now()});
            m_changed.notify_all();
        };
    }
    bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_entries.size() >= count; });
    }
    std::vector<Entry> Entries() const {
        std::lock_guard lock(m_mutex);
        return m_entries;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Entry> m_entries;
};

/// Chooses SDL's audio driver for the engines made after it ("disk" writes what is played into
/// file, "dummy" plays into nothing, both in real time). SDL reads it when its audio starts.
inline void UseSdlDriver(const std::string& driver, const std::string& diskFile = {}) {
    ::setenv("SDL_AUDIODRIVER", driver.c_str(), 1);
    if (!diskFile.empty()) {
        ::setenv("SDL_DISKAUDIOFILE", diskFile.c_str(), 1);
    }
}

/// The script that restarts the private sound server (scripts/test sets it), or "" outside it.
inline std::string SoundServerScript() {
    const char* server = std::getenv("QUILLON_SOUND_SERVER");
    return server != nullptr ? server : "";
}
