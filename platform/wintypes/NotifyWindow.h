#pragma once

#include "platform/wintypes/WinTypes.h"

/// What a window handle (HWND) stands for here: a receiver of posted messages. The desktop
/// program implements it with Qt events, a headless program with a plain queue.
///
/// PostMessage is thread-safe, never blocks for long and returns before the message is handled;
/// the receiver handles its messages on its own thread, in the order they were posted.
class NotifyWindow {
public:
    virtual ~NotifyWindow() = default;
    virtual void PostMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};
