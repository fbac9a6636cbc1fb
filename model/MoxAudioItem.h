#pragma once

#include "model/MoxItemOutputs.h"
#include "model/MoxObject.h"

/// One entry of a play list: a wave file, a MIDI file or a CD track, with its own volume.
///
/// Record: MoxObject's, then ReservedB, then Volume (4 bytes each). ReservedB comes first in
/// the file although it is declared after Volume.
class MoxAudioItem : public MoxObject {
    QUILLON_DECLARE_SERIAL(MoxAudioItem)
public:
    MoxAudioItem() = default;

    void Serialize(CArchive& ar) override;

    void SetVolume(DWORD volume) { m_volume = volume; }
    DWORD GetVolume() const { return m_volume; }
    void SetReservedB(DWORD value) { m_reservedB = value; }
    DWORD GetReservedB() const { return m_reservedB; }

    // Following one item with the next without a gap (the play list player does this).
    /// Whether this item can be cued after `after` (both players can cue).
    bool CanCueAfter(const MoxAudioItem& after) const;
    /// Cues this item to start right after `after` (the item that plays, or the one cued last;
    /// maybe this one): the kind's fader takes this item's volume when it starts to sound, and
    /// its player cues its name. True when cued.
    bool Cue(MoxAudioItem& after);
    /// Takes back the cues of this item's player.
    void Uncue();
    /// This item's cue has started: it is this item's play now. `previous` (the item that
    /// played before it, maybe this one) lets go of its player.
    void TakeOver(MoxAudioItem& previous);

protected:
    MoxAudioItem(LONG kind, MoxItemOutput output, const std::string& name);

    /// Sets the kind's fader to this item's volume, then asks the kind's player to play the
    /// name. False when there is no player or it did not start.
    bool PlayOnOutput();
    void StopOnOutput();
    /// Items that start and stop their player once each way keep track here: a cue that
    /// started makes the item started, and an item whose play its player closed for a cue
    /// that followed it is no longer started.
    virtual void SetStarted(bool) {}

private:
    MoxItemOutput m_output;
    DWORD m_volume = 0; ///< 0..100
    DWORD m_reservedB = 1;
};
