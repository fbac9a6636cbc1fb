#include "platform/engine/CdDisc.h"

#include <cdio/logging.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <mutex>

namespace {
// libcdio writes its warnings (a CUE sheet's short pregaps, a drive's retries) to our standard
// error on every open, which a service's journal would fill with; what matters reaches the
// caller as a status.
void QuietLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] { cdio_log_set_handler([](cdio_log_level_t, const char*) {}); });
}

bool EndsWithCue(const std::string& path) {
    if (path.size() < 4) {
        return false;
    }
    std::string ext = path.substr(path.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".cue";
}
} // namespace

std::string CdDisc::DefaultDrive() {
    QuietLibraryLog();
    char* drive = cdio_get_default_device(nullptr);
    if (drive == nullptr) {
        return {};
    }
    std::string result = drive;
    cdio_free(drive);
    return result;
}

std::unique_ptr<CdDisc> CdDisc::Open(const std::string& device, EngineStatus& status) {
    QuietLibraryLog();
    std::unique_ptr<CdDisc> disc(new CdDisc());
    disc->m_device = device.empty() ? DefaultDrive() : device;
    if (disc->m_device.empty()) {
        status = EngineStatus::Fail(EngineError::CdNotReady, "No CD drive was found");
        return nullptr;
    }
    disc->m_image = EndsWithCue(disc->m_device);
    if (disc->m_image) {
        struct stat st {};
        std::string bin = disc->m_device.substr(0, disc->m_device.size() - 4) + ".bin";
        if (::stat(disc->m_device.c_str(), &st) != 0 || ::stat(bin.c_str(), &st) != 0) {
            status = EngineStatus::Fail(EngineError::CdNotReady,
                                        "The CD image (CUE and BIN) was not found");
            return nullptr;
        }
    }
    disc->m_cdio.reset(
        cdio_open(disc->m_device.c_str(), disc->m_image ? DRIVER_BINCUE : DRIVER_UNKNOWN));
    if (!disc->m_cdio) {
        status = EngineStatus::Fail(EngineError::CdNotReady, disc->m_image
                                                                 ? "The CD image cannot be read"
                                                                 : "The CD drive cannot be opened");
        return nullptr;
    }
    track_t count = cdio_get_num_tracks(disc->m_cdio.get());
    track_t first = cdio_get_first_track_num(disc->m_cdio.get());
    if (count == CDIO_INVALID_TRACK || count == 0 || first == CDIO_INVALID_TRACK) {
        status = EngineStatus::Fail(EngineError::CdNotReady, "There is no disc in the CD drive");
        return nullptr;
    }
    disc->m_first = first;
    disc->m_count = count;
    disc->m_leadout = cdio_get_track_lsn(disc->m_cdio.get(), CDIO_CDROM_LEADOUT_TRACK);
    if (disc->m_leadout == CDIO_INVALID_LSN || disc->m_leadout <= 0) {
        status = EngineStatus::Fail(EngineError::CdNotReady, "The disc's contents cannot be read");
        return nullptr;
    }
    status = EngineStatus::Ok();
    return disc;
}

std::int32_t CdDisc::TrackStart(int track) const {
    if (track == LastTrack() + 1) {
        return m_leadout;
    }
    if (track < m_first || track > LastTrack()) {
        return CDIO_INVALID_LSN;
    }
    return cdio_get_track_lsn(m_cdio.get(), static_cast<track_t>(track));
}

bool CdDisc::IsAudioTrack(int track) const {
    if (track < m_first || track > LastTrack()) {
        return false;
    }
    return cdio_get_track_format(m_cdio.get(), static_cast<track_t>(track)) == TRACK_FORMAT_AUDIO;
}

CdToc CdDisc::Toc() const {
    CdToc toc;
    toc.device = m_device;
    toc.firstTrack = m_first;
    toc.leadout = m_leadout;
    for (int track = m_first; track <= LastTrack(); ++track) {
        toc.trackStarts.push_back(TrackStart(track));
        toc.audioTracks.push_back(IsAudioTrack(track));
    }
    return toc;
}
