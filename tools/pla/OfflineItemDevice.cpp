#include "tools/pla/OfflineItemDevice.h"

#include "audio/MoxCDDevice.h"
#include "audio/MoxMidDevice.h"
#include "audio/MoxWavDevice.h"
#include "model/MoxObject.h"
#include "platform/files/CurrentDirectory.h"

OfflineSources OfflineSources::Find(const std::string& dataFolder, int rate) {
    // Absolute, so that a reason names the file a user can look for.
    return {dataFolder.empty() ? GetCurrentDirectoryPath().value_or(".") : dataFolder,
            MciLayer::Config::FromEnvironment(), rate};
}

OfflineItemDevice::OfflineItemDevice(LONG kind, const OfflineSources& sources)
    : m_kind(kind)
    , m_sources(sources) {}

bool OfflineItemDevice::Play(const std::string& name) {
    m_sound.reset();
    m_reason.clear();
    switch (m_kind) {
    case kindWave:
        return OpenFile(MoxWavDevice::Folder(), name);
    case kindMidi:
        return OpenFile(MoxMidDevice::Folder(), name);
    default:
        return OpenTrack(name);
    }
}

bool OfflineItemDevice::OpenFile(const std::string& folder, const std::string& name) {
    const std::optional<std::string> path =
        MoxDevice::DataFilePath(m_sources.dataFolder, folder, name);
    if (!path) {
        m_reason = "\"" + name + "\" is not a bare file name";
        return false;
    }
    EngineStatus status;
    if (m_kind == kindWave) {
        m_sound = OfflineDecoder::OpenWave(*path, m_sources.rate, status);
    } else if (m_sources.media.soundFont.empty()) {
        m_reason = std::string("No SoundFont to play MIDI files with (install ") +
                   MciLayer::kDefaultSoundFont + " or name one in QUILLON_SOUNDFONT)";
        return false;
    } else {
        m_sound =
            OfflineDecoder::OpenMidi(*path, m_sources.media.soundFont, m_sources.rate, status);
    }
    if (!m_sound) {
        // A SoundFont's failure names the font; a file's does not name the file.
        m_reason = status.error == EngineError::NoSoundFont ? status.message
                                                            : *path + ": " + status.message;
    }
    return m_sound != nullptr;
}

bool OfflineItemDevice::OpenTrack(const std::string& name) {
    if (!m_tocStatus) {
        m_tocStatus = SoundEngine::ReadCd(m_sources.media.cdDevice, m_toc);
    }
    if (!m_tocStatus->ok()) {
        m_reason = m_tocStatus->message;
        return false;
    }
    const std::optional<DWORD> track = MoxCDDevice::TrackNumber(name);
    // A track plays from its start to the next one's; the last one to the end of the disc.
    if (!track || *track > static_cast<DWORD>(m_toc.LastTrack()) ||
        m_toc.TrackStart(static_cast<int>(*track)) < 0) {
        m_reason = name + ": the disc has no such track (it has tracks " +
                   std::to_string(m_toc.firstTrack) + " to " + std::to_string(m_toc.LastTrack()) +
                   ")";
        return false;
    }
    const int number = static_cast<int>(*track);
    if (!m_toc.IsAudioTrack(number)) {
        m_reason = name + ": a data track, not music";
        return false;
    }
    EngineStatus status;
    m_sound = OfflineDecoder::OpenCd(m_toc.device, m_toc.TrackStart(number),
                                     m_toc.TrackStart(number + 1), m_sources.rate, status);
    if (!m_sound) {
        m_reason = name + ": " + status.message;
    }
    return m_sound != nullptr;
}
