#include "platform/mci/MciRecordingDevice.h"

#include "platform/engine/SoundEngine.h"

#include <utility>

MciRecordingDevice::MciRecordingDevice(SoundEngine& engine, MCIDEVICEID id, SourceId capture)
    : MciDevice(engine, Kind::Wave, id, "")
    , m_capture(capture) {}

MCIERROR MciRecordingDevice::PreparePlay(DWORD_PTR, const MCI_PLAY_PARMS*, const PlayState&,
                                         PlayStart&) {
    return MCIERR_FILENAME_REQUIRED;
}

MCIERROR MciRecordingDevice::Status(DWORD_PTR, MCI_STATUS_PARMS& parms, const PlayState& state) {
    switch (parms.dwItem) {
    case MCI_STATUS_NUMBER_OF_TRACKS:
        parms.dwReturn = 1;
        return 0;
    case MCI_STATUS_MODE:
        parms.dwReturn = state.playing ? MCI_MODE_RECORD : MCI_MODE_STOP;
        return 0;
    case MCI_STATUS_LENGTH:
    case MCI_STATUS_POSITION: // the end of what was recorded
        parms.dwReturn =
            FramesToMs(m_engine.CapturedFrames(m_capture), m_engine.CaptureFormat(m_capture).rate);
        return 0;
    default:
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
}

MCIERROR MciRecordingDevice::SetWaveFormat(DWORD_PTR flags, const MCI_WAVE_SET_PARMS& parms) {
    // Fields not given keep their values; alignment and rate of bytes follow from the others
    // unless given, and then they must agree.
    PcmFormat format = m_engine.CaptureFormat(m_capture);
    if ((flags & MCI_WAVE_SET_FORMATTAG) != 0 && parms.wFormatTag != WAVE_FORMAT_PCM) {
        return MCIERR_WAVE_NOT_PCM;
    }
    if ((flags & MCI_WAVE_SET_CHANNELS) != 0) {
        format.channels = parms.nChannels;
    }
    if ((flags & MCI_WAVE_SET_BITSPERSAMPLE) != 0) {
        format.bitsPerSample = parms.wBitsPerSample;
    }
    if ((flags & MCI_WAVE_SET_SAMPLESPERSEC) != 0) {
        if (parms.nSamplesPerSec > 1000000) {
            return MCIERR_WAVE_BAD_FORMAT;
        }
        format.rate = static_cast<int>(parms.nSamplesPerSec);
    }
    if (format.channels < 1 || format.channels > 2 ||
        (format.bitsPerSample != 8 && format.bitsPerSample != 16) || format.rate < 8000 ||
        format.rate > 192000) {
        return MCIERR_WAVE_BAD_FORMAT;
    }
    const auto align = static_cast<DWORD>(format.BlockAlign());
    if ((flags & MCI_WAVE_SET_BLOCKALIGN) != 0 && parms.nBlockAlign != align) {
        return MCIERR_WAVE_INCONSISTENT;
    }
    if ((flags & MCI_WAVE_SET_AVGBYTESPERSEC) != 0 &&
        parms.nAvgBytesPerSec != static_cast<DWORD>(format.rate) * align) {
        return MCIERR_WAVE_INCONSISTENT;
    }
    EngineStatus status = m_engine.SetCaptureFormat(m_capture, format);
    if (status.error == EngineError::Busy) {
        return MCIERR_FORMAT_FIXED;
    }
    return Report(status);
}

MCIERROR MciRecordingDevice::StartRecording(EndHandler onEnd, std::uint64_t& serial) {
    return Report(m_engine.StartCapture(m_capture, std::move(onEnd), &serial));
}

MCIERROR MciRecordingDevice::Save(const char* path) {
    return ReportFailure(m_engine.SaveCapture(m_capture, path), path);
}

void MciRecordingDevice::Halt() {
    if (m_capture != 0) {
        m_engine.StopCapture(m_capture); // returns at once
    }
}

void MciRecordingDevice::Release() {
    if (SourceId capture = std::exchange(m_capture, 0)) {
        m_engine.CloseCapture(capture);
    }
}
