#include "app/RegistryMixerLevelStore.h"

#include "platform/registry/Registry.h"

RegistryMixerLevelStore::RegistryMixerLevelStore(std::string keyPath,
                                                 std::chrono::milliseconds interval)
    : m_keyPath(std::move(keyPath))
    , m_interval(interval)
    , m_writer([this] { writeLoop(); }) {}

RegistryMixerLevelStore::~RegistryMixerLevelStore() {
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_changed.notify_one();
    m_writer.join();
    Flush();
}

std::optional<DWORD> RegistryMixerLevelStore::LoadLevel(const std::string& name) {
    {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_pending.find(name); it != m_pending.end()) {
            return it->second;
        }
    }
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, m_keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    BYTE data[4] = {};
    DWORD size = sizeof data;
    const LSTATUS result = RegQueryValueEx(key, name.c_str(), nullptr, &type, data, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != 4) {
        return std::nullopt;
    }
    return static_cast<DWORD>(data[0]) | (static_cast<DWORD>(data[1]) << 8) |
           (static_cast<DWORD>(data[2]) << 16) | (static_cast<DWORD>(data[3]) << 24);
}

void RegistryMixerLevelStore::SaveLevel(const std::string& name, DWORD value) {
    {
        std::lock_guard lock(m_mutex);
        m_pending[name] = value;
    }
    m_changed.notify_one();
}

void RegistryMixerLevelStore::Flush() {
    std::lock_guard writing(m_writeMutex);
    std::map<std::string, DWORD> values;
    {
        std::lock_guard lock(m_mutex);
        values.swap(m_pending);
    }
    write(values);
}

void RegistryMixerLevelStore::writeLoop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_closing || !m_pending.empty(); });
        if (m_closing) {
            return;
        }
        // Let changes gather, so that a burst costs one write.
        m_changed.wait_for(lock, m_interval, [this] { return m_closing; });
        lock.unlock();
        Flush();
        lock.lock();
    }
}

void RegistryMixerLevelStore::write(const std::map<std::string, DWORD>& values) {
    if (values.empty()) {
        return;
    }
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, m_keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                       KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return; // levels still apply; they are just not remembered
    }
    for (const auto& [name, value] : values) {
        const BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                              static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
        RegSetValueEx(key, name.c_str(), 0, REG_DWORD, data, sizeof data);
    }
    RegCloseKey(key);
}
