#include "platform/mixerapi/MemoryMixerLevelStore.h"

std::optional<DWORD> MemoryMixerLevelStore::LoadLevel(const std::string& name) {
    std::lock_guard lock(m_mutex);
    if (auto it = m_levels.find(name); it != m_levels.end()) {
        return it->second;
    }
    return std::nullopt;
}

void MemoryMixerLevelStore::SaveLevel(const std::string& name, DWORD value) {
    std::lock_guard lock(m_mutex);
    m_levels[name] = value;
    ++m_saves;
}

std::map<std::string, DWORD> MemoryMixerLevelStore::Levels() const {
    std::lock_guard lock(m_mutex);
    return m_levels;
}

int MemoryMixerLevelStore::SaveCount() const {
    std::lock_guard lock(m_mutex);
    return m_saves;
}
