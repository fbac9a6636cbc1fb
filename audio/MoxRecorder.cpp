#include "audio/MoxRecorder.h"

#include "model/MoxLockGuard.h"
#include "platform/files/FindPathNoCase.h"
#include "res/StringTable.h"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace {

const char* kWaveAudio =
    reinterpret_cast<const char*>(static_cast<std::uintptr_t>(MCI_DEVTYPE_WAVEFORM_AUDIO));

// "Wave Files/" without its trailing separator.
std::string waveFolder() {
    std::string folder = LoadResourceString(IDS_WAVE_FOLDER);
    while (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

bool isBareName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos;
}

} // namespace

MoxRecorder::MoxRecorder(const MoxDeviceEnvironment& environment, const DWORD& quality)
    : MoxDevice(environment)
    , m_quality(quality) {
    ProbeOnce();
}

MoxRecorder::~MoxRecorder() {
    MoxRecorder::Stop();
}

bool MoxRecorder::Play(const std::string&) {
    return false;
}

MCIERROR MoxRecorder::Probe() {
    return 0;
}

void MoxRecorder::ApplyQuality(DWORD quality) {
    m_channels = 1;
    switch (quality) {
    case 0:
        m_bitsPerSample = 8;
        m_samplesPerSecond = 22050;
        break;
    case 2:
        m_bitsPerSample = 16;
        m_samplesPerSecond = 44100;
        break;
    default:
        m_bitsPerSample = 8;
        m_samplesPerSecond = 44100;
        break;
    }
}

std::string MoxRecorder::BuildPath(bool createFolder) {
    const std::string base = m_environment.dataFolder == nullptr ? "." : *m_environment.dataFolder;
    const std::string wave = waveFolder();
    std::optional<std::string> folder = FindPathNoCase(base, wave);
    if (!folder) {
        folder = base + "/" + wave;
        if (createFolder) {
            // A data folder without its wave folder would lose the recording at the save.
            std::error_code ignored;
            std::filesystem::create_directories(*folder, ignored);
        }
    }
    std::optional<std::string> file = FindPathNoCase(*folder, m_fileName);
    std::string path = file ? *file : *folder + "/" + m_fileName;
    return path.size() <= kMaxPath ? path : std::string();
}

void MoxRecorder::Record() {
    const DWORD quality = m_quality; // read first: a change while recording counts next time
    MoxLockGuard guard(m_lock);
    ApplyQuality(quality);
    if (m_playing) {
        return;
    }
    m_recordError = 0;
    // A saved announcement was renamed from the working file: never record over it.
    m_fileName = kWorkingFileName;
    if (BuildPath(true).empty()) {
        m_lastError = "Unable to open this PC's WAVE device for recording. The path of the "
                      "recording would be longer than " +
                      std::to_string(kMaxPath) + " characters.";
        return;
    }

    m_open = MCI_OPEN_PARMS{};
    m_open.lpstrDeviceType = kWaveAudio;
    m_open.lpstrElementName = "";
    const MCIERROR opened =
        Send(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID, &m_open);
    if (opened != 0) {
        m_recordError = opened;
        m_lastError = "Unable to open this PC's WAVE device for recording. " + ErrorText(opened);
        return;
    }
    m_deviceId = m_open.wDeviceID;
    m_playing = true;

    m_set = MCI_WAVE_SET_PARMS{};
    m_set.wFormatTag = WAVE_FORMAT_PCM;
    m_set.nChannels = m_channels;
    m_set.nSamplesPerSec = m_samplesPerSecond;
    m_set.nBlockAlign = static_cast<WORD>(m_channels * m_bitsPerSample / 8);
    m_set.nAvgBytesPerSec = m_samplesPerSecond * m_set.nBlockAlign;
    m_set.wBitsPerSample = m_bitsPerSample;
    const MCIERROR set =
        Send(m_deviceId, MCI_SET,
             MCI_WAVE_SET_FORMATTAG | MCI_WAVE_SET_CHANNELS | MCI_WAVE_SET_SAMPLESPERSEC |
                 MCI_WAVE_SET_AVGBYTESPERSEC | MCI_WAVE_SET_BLOCKALIGN | MCI_WAVE_SET_BITSPERSAMPLE,
             &m_set);
    if (set != 0) {
        m_recordError = set;
        m_lastError = "Unable to set the preferred recording quality for this PC's WAVE device. " +
                      ErrorText(set);
        CloseDevice();
        return;
    }

    m_record = MCI_RECORD_PARMS{};
    m_record.dwCallback = NotifyCallback();
    const MCIERROR recorded = Send(m_deviceId, MCI_RECORD, MCI_NOTIFY, &m_record);
    if (recorded != 0) {
        m_recordError = recorded;
        m_lastError = "Unable to record using this PC's WAVE device. " + ErrorText(recorded);
        CloseDevice();
        return;
    }
    m_recording = true;
}

void MoxRecorder::Stop() {
    MoxLockGuard guard(m_lock);
    if (!m_playing) {
        return;
    }
    MCI_GENERIC_PARMS generic{};
    Send(m_deviceId, MCI_STOP, MCI_WAIT, &generic);
    if (m_recording) {
        std::string path = BuildPath(true);
        if (path.empty()) {
            // Only a name set while recording can do this: keep the recording, under the
            // working name, whose path Record found short enough.
            m_lastError = "The recording's path would be longer than " + std::to_string(kMaxPath) +
                          " characters: it was saved as " + kWorkingFileName + ".";
            m_fileName = kWorkingFileName;
            path = BuildPath(true);
        }
        if (!path.empty()) {
            char file[kMaxPath + 1] = {};
            path.copy(file, kMaxPath);
            m_save = MCI_SAVE_PARMS{};
            m_save.lpfilename = file;
            Send(m_deviceId, MCI_SAVE, MCI_SAVE_FILE | MCI_WAIT, &m_save);
            m_save.lpfilename = nullptr; // the buffer goes out of scope
        }
        m_recording = false;
    }
    CloseDevice();
}

void MoxRecorder::CloseDevice() {
    MCI_GENERIC_PARMS generic{};
    Send(m_deviceId, MCI_CLOSE, MCI_WAIT, &generic);
    m_playing = false;
}

std::string MoxRecorder::GetFileName() {
    MoxLockGuard guard(m_lock);
    return m_fileName;
}

bool MoxRecorder::SetFileName(const std::string& name) {
    MoxLockGuard guard(m_lock);
    if (name.size() > kMaxPath || !isBareName(name)) {
        return false;
    }
    m_fileName = name;
    return true;
}

std::string MoxRecorder::GetFilePath() {
    MoxLockGuard guard(m_lock);
    return BuildPath(false);
}

bool MoxRecorder::IsRecording() {
    MoxLockGuard guard(m_lock);
    return m_recording;
}

MCIERROR MoxRecorder::LastRecordError() {
    MoxLockGuard guard(m_lock);
    return m_recordError;
}
