#pragma once

#include "platform/mixerapi/MixerLevelStore.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

/// Keeps the software mixer's levels in the per-user registry, one REG_DWORD value per name
/// under the mixer's own key. Every item that starts sets its fader, and a slider being dragged
/// sets it many times a second; writing the store file each time would put a disk write (and
/// its wait) on the player's thread. So levels are kept here and written by a thread of the
/// store's own, at most once per interval, and whatever is left when the store goes.
class RegistryMixerLevelStore final : public MixerLevelStore {
public:
    explicit RegistryMixerLevelStore(std::string keyPath,
                                     std::chrono::milliseconds interval = std::chrono::seconds(2));
    ~RegistryMixerLevelStore() override;
    RegistryMixerLevelStore(const RegistryMixerLevelStore&) = delete;
    RegistryMixerLevelStore& operator=(const RegistryMixerLevelStore&) = delete;

    std::optional<DWORD> LoadLevel(const std::string& name) override;
    void SaveLevel(const std::string& name, DWORD value) override;
    /// Writes what is waiting now.
    void Flush();

private:
    void writeLoop();
    void write(const std::map<std::string, DWORD>& values);

    const std::string m_keyPath;
    const std::chrono::milliseconds m_interval;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, DWORD> m_pending; // guarded by m_mutex
    bool m_closing = false;                 // guarded by m_mutex
    std::mutex m_writeMutex;                // one writer at a time, in order
    std::thread m_writer;
};
