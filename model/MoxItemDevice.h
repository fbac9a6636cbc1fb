#pragma once

#include <string>

/// What an audio item needs of the shared player of its kind: is it usable, play a name,
/// stop. The media players implement it; tests use players of their own.
class MoxItemDevice {
public:
    virtual ~MoxItemDevice() = default;
    /// The player answered when it was probed at start-up.
    virtual bool IsReady() const = 0;
    /// Starts playing the item's name (a file name or "Track N") with a completion notice.
    /// Returns true when the item is playing: started now, or already playing.
    virtual bool Play(const std::string& name) = 0;
    virtual void Stop() = 0;
};
