#pragma once

#include <string>

/// What an audio item needs of the shared player of its kind: is it usable, play a name,
/// stop; and, to follow one item with the next without a gap, cue a name after what a player
/// plays now. The media players implement it; tests use players of their own.
///
/// A player has a current play and cued plays waiting in order. Every play comes with a
/// completion notice (and, from players that can cue, a near-end notice well before its end,
/// so that the next item can be cued in time).
class MoxItemDevice {
public:
    virtual ~MoxItemDevice() = default;
    /// The player answered when it was probed at start-up.
    virtual bool IsReady() const = 0;
    /// Starts playing the item's name (a file name or "Track N") with a completion notice.
    /// Returns true when the item is playing: started now, or already playing.
    virtual bool Play(const std::string& name) = 0;
    /// Stops the current play, and takes back a cued one.
    virtual void Stop() = 0;

    /// Whether this player can cue (and be followed by a cue).
    virtual bool CanCue() const { return false; }
    /// Cues the name to start on the sample right after the last one of what `after` plays or
    /// has cued last (`after` may be this player itself: a repetition, or the next item of its
    /// kind), with its notices. True when cued; a cue that failed leaves nothing open.
    virtual bool Cue(const std::string&, MoxItemDevice&) { return false; }
    /// Takes back the cues that have not started; the current play goes on.
    virtual void Uncue() {}
    /// The first cue has started (what it followed has ended): it becomes the current play,
    /// and the play that was current on this player, if any, is closed.
    virtual void Promote() {}
    /// The current play has ended and a cue of another player took over: closes it; cues stay.
    virtual void Finish() { Stop(); }
};
