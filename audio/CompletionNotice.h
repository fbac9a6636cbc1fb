#pragma once

#include "platform/wintypes/WinTypes.h"

class MciPort;
class MoxPlayListPlayer;

/// What a window does with a completion notice (MM_MCINOTIFY) that reaches it: a notice of a
/// device that has been closed since it was posted belongs to an item the player has already
/// left, and is dropped; any other goes to the player, which advances on success or failure.
/// Returns true when the notice was passed on.
bool ForwardCompletionNotice(MciPort& mci, MoxPlayListPlayer& player, WPARAM noticeCode,
                             LPARAM deviceId);
