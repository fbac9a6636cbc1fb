#include "platform/mci/MciFileDevice.h"

#include "platform/engine/SoundEngine.h"

MciFileDevice::MciFileDevice(SoundEngine& engine, Kind kind, MCIDEVICEID id, SourceId source,
                             std::string path)
    : MciDevice(engine, kind, id, std::move(path)) {
    m_source = source;
}

MCIERROR MciFileDevice::PreparePlay(DWORD_PTR flags, const MCI_PLAY_PARMS* parms, const PlayState&,
                                    PlayStart&) {
    if (m_source == 0) {
        return MCIERR_FILENAME_REQUIRED;
    }
    if ((flags & MCI_TO) != 0) {
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
    if ((flags & MCI_FROM) != 0) {
        std::uint64_t frame = static_cast<std::uint64_t>(parms->dwFrom) *
                              static_cast<std::uint64_t>(m_engine.MixRate()) / 1000;
        return Report(m_engine.Seek(m_source, frame));
    }
    return 0;
}

MCIERROR MciFileDevice::Status(DWORD_PTR, MCI_STATUS_PARMS& parms, const PlayState& state) {
    switch (parms.dwItem) {
    case MCI_STATUS_NUMBER_OF_TRACKS:
        parms.dwReturn = 1;
        return 0;
    case MCI_STATUS_MODE:
        parms.dwReturn = PlayMode(state);
        return 0;
    case MCI_STATUS_LENGTH: {
        std::uint64_t frames = m_source != 0 ? m_engine.Length(m_source) : 0;
        if (frames == 0 && m_kind == Kind::Sequencer) {
            return MCIERR_UNSUPPORTED_FUNCTION; // a MIDI file's length is known once played
        }
        parms.dwReturn = FramesToMs(frames, m_engine.MixRate());
        return 0;
    }
    case MCI_STATUS_POSITION:
        parms.dwReturn =
            FramesToMs(m_source != 0 ? m_engine.Position(m_source) : 0, m_engine.MixRate());
        return 0;
    default:
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
}
