#pragma once

#include "platform/wintypes/WinTypes.h"

#include <optional>
#include <string>

/// Where the software mixer keeps its fader levels and mutes between runs: named 32-bit values.
/// The program stores them in the per-user registry under SoftMixer::registryKey, one DWORD
/// value per name; tests use MemoryMixerLevelStore.
///
/// Called from any thread, one call at a time (the mixer serialises them).
class MixerLevelStore {
public:
    virtual ~MixerLevelStore() = default;
    /// The value stored under the name, or nothing (first run, or unreadable).
    virtual std::optional<DWORD> LoadLevel(const std::string& name) = 0;
    /// Stores one value. A failure is the store's own business: the level still applies now.
    /// Called on every change (a slider being dragged makes many, an item starting one): a
    /// store that rewrites a file may keep the values and write them out later.
    virtual void SaveLevel(const std::string& name, DWORD value) = 0;
};
