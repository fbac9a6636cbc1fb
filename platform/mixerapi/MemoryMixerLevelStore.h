#pragma once

#include "platform/mixerapi/MixerLevelStore.h"

#include <map>
#include <mutex>

/// Levels kept in memory for the life of the object.
class MemoryMixerLevelStore final : public MixerLevelStore {
public:
    std::optional<DWORD> LoadLevel(const std::string& name) override;
    void SaveLevel(const std::string& name, DWORD value) override;

    /// Everything stored so far.
    std::map<std::string, DWORD> Levels() const;
    /// How many times SaveLevel was called.
    int SaveCount() const;

private:
    mutable std::mutex m_mutex;
    std::map<std::string, DWORD> m_levels;
    int m_saves = 0;
};
