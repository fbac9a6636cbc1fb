#include "platform/mci/MciCdDevice.h"

#include "platform/engine/SoundEngine.h"

#include <algorithm>

namespace {
constexpr std::int32_t kMsfOffset = 150; // MSF counts the two-second lead-in before sector 0

std::int32_t SectorsOf(DWORD minute, DWORD second, DWORD frame) {
    return static_cast<std::int32_t>((minute * 60 + second) * CdToc::kSectorsPerSecond + frame);
}

DWORD SectorsToMsf(std::int32_t sectors) {
    sectors = std::max(sectors, 0);
    return MCI_MAKE_MSF(static_cast<BYTE>(std::min(sectors / (75 * 60), 255)),
                        static_cast<BYTE>((sectors / 75) % 60), static_cast<BYTE>(sectors % 75));
}

DWORD SectorsToMs(std::int32_t sectors) {
    return static_cast<DWORD>(static_cast<std::int64_t>(std::max(sectors, 0)) * 1000 /
                              CdToc::kSectorsPerSecond);
}
} // namespace

MciCdDevice::MciCdDevice(SoundEngine& engine, MCIDEVICEID id, CdToc toc)
    : MciDevice(engine, Kind::CdAudio, id, toc.device)
    , m_toc(std::move(toc)) {
    m_timeFormat = MCI_FORMAT_MSF;
}

bool MciCdDevice::AcceptsTimeFormat(DWORD format) const {
    return format == MCI_FORMAT_MILLISECONDS || format == MCI_FORMAT_MSF ||
           format == MCI_FORMAT_TMSF;
}

MCIERROR MciCdDevice::PreparePlay(DWORD_PTR flags, const MCI_PLAY_PARMS* parms,
                                  const PlayState& state, PlayStart& start) {
    const bool reposition = (flags & (MCI_FROM | MCI_TO)) != 0;
    if (!reposition && m_source != 0 && !state.failed && m_engine.IsOpen(m_source) &&
        m_engine.Position(m_source) < m_engine.Length(m_source)) {
        return 0; // resume
    }
    std::int32_t first = 0;
    std::int32_t end = 0;
    if (MCIERROR error = Range(flags, parms, first, end)) {
        return error;
    }
    if (MCIERROR error = Report(m_engine.OpenCd(m_toc.device, first, end, start.newSource))) {
        return error;
    }
    m_start = first;
    return 0;
}

MCIERROR MciCdDevice::ToSector(DWORD value, bool isEnd, std::int32_t& sector) const {
    switch (m_timeFormat) {
    case MCI_FORMAT_MILLISECONDS:
        sector = static_cast<std::int32_t>(static_cast<std::int64_t>(value) *
                                           CdToc::kSectorsPerSecond / 1000);
        return 0;
    case MCI_FORMAT_MSF:
        sector = SectorsOf(MCI_MSF_MINUTE(value), MCI_MSF_SECOND(value), MCI_MSF_FRAME(value)) -
                 kMsfOffset;
        sector = std::max(sector, 0);
        return 0;
    case MCI_FORMAT_TMSF: {
        int track = MCI_TMSF_TRACK(value);
        std::int32_t offset =
            SectorsOf(MCI_TMSF_MINUTE(value), MCI_TMSF_SECOND(value), MCI_TMSF_FRAME(value));
        if (track < m_toc.firstTrack) {
            return MCIERR_OUTOFRANGE;
        }
        if (track > m_toc.LastTrack()) {
            if (!isEnd) {
                return MCIERR_OUTOFRANGE;
            }
            sector = m_toc.leadout;
            return 0;
        }
        sector = m_toc.TrackStart(track) + offset;
        return 0;
    }
    default:
        return MCIERR_BAD_TIME_FORMAT;
    }
}

MCIERROR MciCdDevice::Range(DWORD_PTR flags, const MCI_PLAY_PARMS* parms, std::int32_t& start,
                            std::int32_t& end) const {
    start = m_toc.TrackStart(m_toc.firstTrack);
    end = m_toc.leadout;
    if ((flags & MCI_FROM) != 0) {
        if (MCIERROR error = ToSector(parms->dwFrom, false, start)) {
            return error;
        }
    }
    if ((flags & MCI_TO) != 0) {
        if (MCIERROR error = ToSector(parms->dwTo, true, end)) {
            return error;
        }
    }
    end = std::min(end, m_toc.leadout);
    if (start < 0 || start >= end) {
        return MCIERR_OUTOFRANGE;
    }
    for (int track = m_toc.LastTrack(); track >= m_toc.firstTrack; --track) {
        if (m_toc.TrackStart(track) <= start) {
            if (!m_toc.IsAudioTrack(track)) {
                return MCIERR_NOT_AUDIO_TRACK;
            }
            break;
        }
    }
    return 0;
}

DWORD_PTR MciCdDevice::FromSector(std::int32_t sector) const {
    if (m_timeFormat == MCI_FORMAT_MILLISECONDS) {
        return SectorsToMs(sector);
    }
    if (m_timeFormat == MCI_FORMAT_MSF) {
        return SectorsToMsf(sector + kMsfOffset);
    }
    int track = m_toc.firstTrack;
    while (track < m_toc.LastTrack() && m_toc.TrackStart(track + 1) <= sector) {
        ++track;
    }
    DWORD msf = SectorsToMsf(sector - m_toc.TrackStart(track));
    return MCI_MAKE_TMSF(static_cast<BYTE>(track), MCI_MSF_MINUTE(msf), MCI_MSF_SECOND(msf),
                         MCI_MSF_FRAME(msf));
}

MCIERROR MciCdDevice::Status(DWORD_PTR flags, MCI_STATUS_PARMS& parms, const PlayState& state) {
    switch (parms.dwItem) {
    case MCI_STATUS_NUMBER_OF_TRACKS:
        parms.dwReturn = static_cast<DWORD_PTR>(m_toc.TrackCount());
        return 0;
    case MCI_STATUS_MODE:
        parms.dwReturn = PlayMode(state);
        return 0;
    case MCI_STATUS_LENGTH: {
        std::int32_t length = m_toc.leadout - m_toc.TrackStart(m_toc.firstTrack);
        if ((flags & MCI_TRACK) != 0) {
            auto track = static_cast<int>(parms.dwTrack);
            if (track < m_toc.firstTrack || track > m_toc.LastTrack()) {
                return MCIERR_OUTOFRANGE;
            }
            length = m_toc.TrackStart(track + 1) - m_toc.TrackStart(track);
        }
        // Lengths are durations: MSF without the lead-in, also in TMSF.
        parms.dwReturn =
            m_timeFormat == MCI_FORMAT_MILLISECONDS ? SectorsToMs(length) : SectorsToMsf(length);
        return 0;
    }
    case MCI_STATUS_POSITION: {
        std::uint64_t frames = m_source != 0 ? m_engine.Position(m_source) : 0;
        std::int32_t sector = (m_source != 0 ? m_start : m_toc.TrackStart(m_toc.firstTrack)) +
                              static_cast<std::int32_t>(frames / CdToc::kFramesPerSector);
        parms.dwReturn = FromSector(sector);
        return 0;
    }
    default:
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
}
