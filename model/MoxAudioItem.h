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

protected:
    MoxAudioItem(LONG kind, MoxItemOutput output, const std::string& name);

    /// Sets the kind's fader to this item's volume, then asks the kind's player to play the
    /// name. False when there is no player or it did not start.
    bool PlayOnOutput();
    void StopOnOutput();

private:
    MoxItemOutput m_output;
    DWORD m_volume = 0; ///< 0..100
    DWORD m_reservedB = 1;
};
