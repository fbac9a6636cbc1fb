#pragma once

#include "platform/wintypes/WinTypes.h"

class MoxAudioItem;

/// Told by the player, on its worker thread, each time it has asked an item to play. A
/// headless player logs it; the desktop program needs none.
class MoxPlayerObserver {
public:
    virtual ~MoxPlayerObserver() = default;
    /// index is the item's place in the list, repetition counts from 0; started says whether
    /// the item is sounding (false: its player could not start it, and the list moves on).
    virtual void OnItemPlayed(const MoxAudioItem& item, DWORD index, DWORD repetition,
                              bool started) = 0;
};
