#include "platform/engine/CdDecoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

// CD samples are little-endian and are used as they are read.
static_assert(std::endian::native == std::endian::little);

std::unique_ptr<CdDecoder> CdDecoder::Open(const std::string& device, std::int32_t startLsn,
                                           std::int32_t endLsn, CdReadMode mode,
                                           EngineStatus& status) {
    std::unique_ptr<CdDecoder> decoder(new CdDecoder());
    decoder->m_disc = CdDisc::Open(device, status);
    if (!decoder->m_disc) {
        return nullptr;
    }
    if (startLsn < 0 || endLsn < startLsn || endLsn > decoder->m_disc->Leadout()) {
        status = EngineStatus::Fail(EngineError::OutOfRange, "The range is not on the disc");
        return nullptr;
    }
    decoder->m_start = startLsn;
    decoder->m_end = endLsn;
    decoder->m_next = startLsn;
    bool paranoia =
        mode == CdReadMode::Paranoia || (mode == CdReadMode::Auto && !decoder->m_disc->IsImage());
    if (paranoia) {
        decoder->m_drive.reset(
            cdio_cddap_identify_cdio(decoder->m_disc->Handle(), CDDA_MESSAGE_FORGETIT, nullptr));
        if (!decoder->m_drive || cdio_cddap_open(decoder->m_drive.get()) != 0) {
            status = EngineStatus::Fail(EngineError::CdNotReady,
                                        "The CD drive does not allow reading digital audio");
            return nullptr;
        }
        decoder->m_paranoia.reset(cdio_paranoia_init(decoder->m_drive.get()));
        if (!decoder->m_paranoia) {
            status = EngineStatus::Fail(EngineError::CdNotReady, "The CD reader cannot start");
            return nullptr;
        }
        cdio_paranoia_modeset(decoder->m_paranoia.get(),
                              PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
        cdio_paranoia_seek(decoder->m_paranoia.get(), startLsn, SEEK_SET);
    }
    decoder->m_samples.resize(static_cast<std::size_t>(kSectorsPerRead) * CdDisc::kFramesPerSector *
                              2);
    status = EngineStatus::Ok();
    return decoder;
}

bool CdDecoder::FillSectors() {
    int count = std::min<std::int32_t>(kSectorsPerRead, m_end - m_next);
    if (m_readHook) {
        m_readHook(m_next);
    }
    if (m_paranoia) {
        for (int i = 0; i < count; ++i) {
            // At most three retries: a scratched spot then fails instead of stalling the music.
            std::int16_t* sector = cdio_paranoia_read_limited(m_paranoia.get(), nullptr, 3);
            if (sector == nullptr) {
                m_error = "The CD could not be read at sector " + std::to_string(m_next + i);
                return false;
            }
            std::memcpy(&m_samples[static_cast<std::size_t>(i) * CdDisc::kFramesPerSector * 2],
                        sector, CDIO_CD_FRAMESIZE_RAW);
        }
    } else if (cdio_read_audio_sectors(m_disc->Handle(), m_samples.data(), m_next,
                                       static_cast<unsigned>(count)) != DRIVER_OP_SUCCESS) {
        m_error = "The CD could not be read at sector " + std::to_string(m_next);
        return false;
    }
    m_next += count;
    m_sampleFrames = static_cast<std::size_t>(count) * CdDisc::kFramesPerSector;
    m_used = 0;
    return true;
}

long CdDecoder::Read(float* stereo, long frames) {
    if (m_failed) {
        return -1;
    }
    long done = 0;
    while (done < frames) {
        if (m_used == m_sampleFrames) {
            if (m_next >= m_end) {
                break;
            }
            if (!FillSectors()) {
                m_failed = true;
                return done > 0 ? done : -1;
            }
        }
        std::size_t n =
            std::min<std::size_t>(m_sampleFrames - m_used, static_cast<std::size_t>(frames - done));
        const std::int16_t* in = &m_samples[m_used * 2];
        float* out = stereo + done * 2;
        for (std::size_t i = 0; i < n * 2; ++i) {
            out[i] = static_cast<float>(in[i]) * (1.0f / 32768.0f);
        }
        m_used += n;
        done += static_cast<long>(n);
    }
    return done;
}

bool CdDecoder::Seek(std::uint64_t frame) {
    if (m_failed || frame > LengthFrames()) {
        return false;
    }
    auto sector = static_cast<std::int32_t>(frame / CdDisc::kFramesPerSector);
    m_next = m_start + sector;
    m_sampleFrames = 0;
    m_used = 0;
    if (m_paranoia) {
        cdio_paranoia_seek(m_paranoia.get(), m_next, SEEK_SET);
    }
    std::size_t skip = frame % CdDisc::kFramesPerSector;
    if (skip > 0 && m_next < m_end) {
        if (!FillSectors()) {
            m_failed = true;
            return false;
        }
        m_used = skip;
    }
    return true;
}

std::uint64_t CdDecoder::LengthFrames() const {
    return static_cast<std::uint64_t>(m_end - m_start) * CdDisc::kFramesPerSector;
}
