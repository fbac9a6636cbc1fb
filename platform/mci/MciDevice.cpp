#include "platform/mci/MciDevice.h"

#include "platform/engine/SoundEngine.h"

#include <utility>

MciDevice::MciDevice(SoundEngine& engine, Kind kind, MCIDEVICEID id, std::string subject)
    : m_engine(engine)
    , m_kind(kind)
    , m_id(id)
    , m_subject(std::move(subject)) {}

MCIERROR MciDevice::Report(const EngineStatus& status) const {
    return ReportFailure(status, m_subject);
}

DWORD_PTR MciDevice::PlayMode(const PlayState& state) const {
    return state.playing && m_source != 0 && m_engine.IsPlaying(m_source) ? MCI_MODE_PLAY
                                                                          : MCI_MODE_STOP;
}

SourceId MciDevice::UseSource(SourceId source) {
    return std::exchange(m_source, source);
}

bool MciDevice::AcceptsTimeFormat(DWORD format) const {
    return format == MCI_FORMAT_MILLISECONDS;
}

MCIERROR MciDevice::SetWaveFormat(DWORD_PTR, const MCI_WAVE_SET_PARMS&) {
    return CanRecord();
}

MCIERROR MciDevice::StartRecording(EndHandler, std::uint64_t&) {
    return CanRecord();
}

MCIERROR MciDevice::Save(const char*) {
    return CanRecord();
}

void MciDevice::Halt() {
    if (m_source != 0) {
        m_engine.Stop(m_source);
    }
}

void MciDevice::Release() {
    if (SourceId source = std::exchange(m_source, 0)) {
        m_engine.Close(source);
    }
}

MCIERROR MciDevice::CanRecord() const {
    return m_kind == Kind::Wave ? MCIERR_NONAPPLICABLE_FUNCTION : MCIERR_UNSUPPORTED_FUNCTION;
}

MCIERROR ToMciError(const EngineStatus& status) {
    switch (status.error) {
    case EngineError::None:
        return 0;
    case EngineError::FileNotFound:
        return MCIERR_FILE_NOT_FOUND;
    case EngineError::FileUnreadable:
        return MCIERR_FILE_READ;
    case EngineError::InvalidFile:
    case EngineError::UnsupportedEncoding:
        return MCIERR_INVALID_FILE;
    case EngineError::NoSoundFont:
        return MCIERR_NO_SOUNDFONT;
    case EngineError::NoOutput:
        return MCIERR_NO_OUTPUT_DEVICE;
    case EngineError::CdNotReady:
        return MCIERR_DEVICE_NOT_READY;
    case EngineError::NotAudioTrack:
        return MCIERR_NOT_AUDIO_TRACK;
    case EngineError::OutOfRange:
        return MCIERR_OUTOFRANGE;
    case EngineError::TooManySources:
        return MCIERR_TOO_MANY_OPEN;
    case EngineError::Unsupported:
        return MCIERR_UNSUPPORTED_FUNCTION;
    case EngineError::InvalidSource:
        return MCIERR_INTERNAL;
    case EngineError::NoInput:
        return MCIERR_NO_INPUT_DEVICE;
    case EngineError::WriteFailed:
        return MCIERR_FILE_WRITE;
    case EngineError::Busy:
        return MCIERR_RECORDING_RUNS;
    }
    return MCIERR_INTERNAL;
}

DWORD_PTR FramesToMs(std::uint64_t frames, int rate) {
    return static_cast<DWORD_PTR>(frames * 1000 / static_cast<std::uint64_t>(rate));
}

MCIERROR ReportFailure(const EngineStatus& status, const std::string& subject) {
    if (!status.ok()) {
        ThreadLastFailure() = subject.empty() ? status.message : subject + ": " + status.message;
    }
    return ToMciError(status);
}

std::string& ThreadLastFailure() {
    thread_local std::string failure;
    return failure;
}
