#include "platform/mci/MciLayer.h"

#include "platform/engine/CdDisc.h"
#include "platform/engine/SoundEngine.h"
#include "platform/wintypes/NotifyWindow.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <utility>
#include <vector>

namespace {
std::atomic<MCIDEVICEID> g_lastDeviceId{0};

enum class Kind { Wave, Sequencer, CdAudio };

MCIERROR ToMciError(const EngineStatus& status) {
    switch (status.error) {
    case EngineError::None:
        return 0;
    case EngineError::FileNotFound:
        return MCIERR_FILE_NOT_FOUND;
    case EngineError::FileUnreadable:
        return MCIERR_FILE_READ;
    case EngineError::InvalidFile:
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

bool HasExtension(const std::string& path, const char* ext) {
    std::size_t n = std::strlen(ext);
    return path.size() > n && strcasecmp(path.c_str() + path.size() - n, ext) == 0;
}

constexpr DWORD_PTR kWaveFormatFlags = MCI_WAVE_SET_FORMATTAG | MCI_WAVE_SET_CHANNELS |
                                       MCI_WAVE_SET_SAMPLESPERSEC | MCI_WAVE_SET_AVGBYTESPERSEC |
                                       MCI_WAVE_SET_BLOCKALIGN | MCI_WAVE_SET_BITSPERSAMPLE;

// What a new recording records until MCI_SET says otherwise: the waveform device's default.
constexpr PcmFormat kDefaultRecordingFormat{11025, 1, 8};

constexpr std::int32_t kMsfOffset = 150; // MSF counts the two-second lead-in before sector 0

std::int32_t SectorsOf(DWORD minute, DWORD second, DWORD frame) {
    return static_cast<std::int32_t>((minute * 60 + second) * CdDisc::kSectorsPerSecond + frame);
}

DWORD SectorsToMsf(std::int32_t sectors) {
    sectors = std::max(sectors, 0);
    return MCI_MAKE_MSF(static_cast<BYTE>(std::min(sectors / (75 * 60), 255)),
                        static_cast<BYTE>((sectors / 75) % 60), static_cast<BYTE>(sectors % 75));
}

DWORD SectorsToMs(std::int32_t sectors) {
    return static_cast<DWORD>(static_cast<std::int64_t>(std::max(sectors, 0)) * 1000 /
                              CdDisc::kSectorsPerSecond);
}
} // namespace

struct MciLayer::Device {
    MCIDEVICEID id = 0;
    Kind kind = Kind::Wave;
    std::mutex command;           // one command at a time
    std::unique_ptr<CdDisc> disc; // cdaudio; used under `command`
    // Under the layer's mutex:
    SourceId source = 0;
    DWORD timeFormat = MCI_FORMAT_MILLISECONDS;
    std::int32_t cdStart = 0; // range of the current CD source
    std::int32_t cdEnd = 0;
    bool playing = false;
    bool failed = false;
    std::uint64_t playSerial = 0;
    bool notifyPending = false;
    DWORD_PTR notifyWindow = 0;
    // A new recording: its capture, and the end of a recording that was reported before
    // MCI_RECORD could note its serial.
    SourceId capture = 0;
    std::uint64_t earlyEndSerial = 0;
    EndReason earlyEndReason = EndReason::Finished;
};

MciLayer::Config MciLayer::Config::FromEnvironment() {
    Config config;
    if (const char* soundFont = std::getenv("QUILLON_SOUNDFONT")) {
        config.soundFont = soundFont;
    } else {
        struct stat st {};
        if (::stat(kDefaultSoundFont, &st) == 0) {
            config.soundFont = kDefaultSoundFont;
        }
    }
    if (const char* cd = std::getenv("QUILLON_CD_DEVICE")) {
        config.cdDevice = cd;
    }
    return config;
}

MciLayer::MciLayer(SoundEngine& engine, Config config)
    : m_engine(engine)
    , m_config(std::move(config)) {}

MciLayer::~MciLayer() {
    std::vector<SourceId> sources;
    std::vector<SourceId> captures;
    {
        std::lock_guard lock(m_mutex);
        for (auto& [id, device] : m_devices) {
            if (device->source != 0) {
                sources.push_back(device->source);
            }
            if (device->capture != 0) {
                captures.push_back(device->capture);
            }
        }
        m_devices.clear();
    }
    // Close waits for an end handler in progress, which needs m_mutex: not under it.
    for (SourceId source : sources) {
        m_engine.Close(source);
    }
    for (SourceId capture : captures) {
        m_engine.CloseCapture(capture);
    }
}

std::shared_ptr<MciLayer::Device> MciLayer::Find(MCIDEVICEID id) {
    std::lock_guard lock(m_mutex);
    auto it = m_devices.find(id);
    return it == m_devices.end() ? nullptr : it->second;
}

void MciLayer::Post(DWORD_PTR callback, WPARAM code, MCIDEVICEID id) {
    if (auto* window = reinterpret_cast<NotifyWindow*>(callback)) {
        window->PostMessage(MM_MCINOTIFY, code, static_cast<LPARAM>(id));
    }
}

bool MciLayer::IsDeviceOpen(MCIDEVICEID device) {
    std::lock_guard lock(m_mutex);
    return m_devices.count(device) != 0;
}

BOOL MciLayer::GetErrorString(MCIERROR error, char* text, UINT length) {
    if (text == nullptr || length == 0) {
        return 0;
    }
    const char* found = MciErrorText(error);
    std::strncpy(text, found != nullptr ? found : "", length - 1);
    text[length - 1] = '\0';
    return found != nullptr ? 1 : 0;
}

MCIERROR MciLayer::SendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR param) {
    if ((flags & MCI_NOTIFY) != 0 && param == 0) {
        return MCIERR_NULL_PARAMETER_BLOCK;
    }
    switch (message) {
    case MCI_OPEN:
        return Open(flags, param);
    case MCI_CLOSE:
        return Close(device, flags, param);
    case MCI_PLAY:
        return Play(device, flags, param);
    case MCI_STOP:
        return Stop(device, flags, param);
    case MCI_SET:
        return Set(device, flags, param);
    case MCI_STATUS:
        return Status(device, flags, param);
    case MCI_RECORD:
        return Record(device, flags, param);
    case MCI_SAVE:
        return Save(device, flags, param);
    default:
        return MCIERR_UNRECOGNIZED_COMMAND;
    }
}

MCIERROR MciLayer::Open(DWORD_PTR flags, DWORD_PTR param) {
    if (param == 0) {
        return MCIERR_NULL_PARAMETER_BLOCK;
    }
    auto* parms = reinterpret_cast<MCI_OPEN_PARMS*>(param);
    const bool hasElement = (flags & MCI_OPEN_ELEMENT) != 0;
    if (hasElement && parms->lpstrElementName == nullptr) {
        return MCIERR_MISSING_PARAMETER;
    }
    std::string element = hasElement ? parms->lpstrElementName : "";

    Kind kind;
    if ((flags & MCI_OPEN_TYPE) != 0) {
        if ((flags & MCI_OPEN_TYPE_ID) != 0) {
            // The type id travels in the pointer's low word.
            auto type =
                static_cast<DWORD>(reinterpret_cast<DWORD_PTR>(parms->lpstrDeviceType) & 0xFFFF);
            if (type == MCI_DEVTYPE_WAVEFORM_AUDIO) {
                kind = Kind::Wave;
            } else if (type == MCI_DEVTYPE_SEQUENCER) {
                kind = Kind::Sequencer;
            } else if (type == MCI_DEVTYPE_CD_AUDIO) {
                kind = Kind::CdAudio;
            } else {
                return MCIERR_INVALID_DEVICE_NAME;
            }
        } else {
            const char* name = parms->lpstrDeviceType;
            if (name == nullptr) {
                return MCIERR_MISSING_PARAMETER;
            }
            if (strcasecmp(name, "waveaudio") == 0) {
                kind = Kind::Wave;
            } else if (strcasecmp(name, "sequencer") == 0) {
                kind = Kind::Sequencer;
            } else if (strcasecmp(name, "cdaudio") == 0) {
                kind = Kind::CdAudio;
            } else {
                return MCIERR_INVALID_DEVICE_NAME;
            }
        }
    } else if (hasElement && HasExtension(element, ".wav")) {
        kind = Kind::Wave;
    } else if (hasElement && (HasExtension(element, ".mid") || HasExtension(element, ".midi") ||
                              HasExtension(element, ".rmi"))) {
        kind = Kind::Sequencer;
    } else {
        return MCIERR_DEVICE_TYPE_REQUIRED;
    }

    auto device = std::make_shared<Device>();
    device->kind = kind;
    EngineStatus status;
    switch (kind) {
    case Kind::Wave:
        if (!hasElement) {
            status = m_engine.ProbeOutput();
        } else if (element.empty()) {
            status = m_engine.OpenCapture(kDefaultRecordingFormat, device->capture);
        } else {
            status = m_engine.OpenWave(element, device->source);
        }
        break;
    case Kind::Sequencer:
        if (!hasElement) {
            status = m_engine.ProbeSoundFont(m_config.soundFont);
        } else {
            status = m_engine.OpenMidi(element, m_config.soundFont, device->source);
        }
        break;
    case Kind::CdAudio:
        if (hasElement) {
            return MCIERR_NO_ELEMENT_ALLOWED;
        }
        device->disc = CdDisc::Open(m_config.cdDevice, status);
        device->timeFormat = MCI_FORMAT_MSF;
        break;
    }
    if (!status.ok()) {
        return ToMciError(status);
    }
    device->id = ++g_lastDeviceId;
    {
        std::lock_guard lock(m_mutex);
        m_devices.emplace(device->id, device);
    }
    parms->wDeviceID = device->id;
    if ((flags & MCI_NOTIFY) != 0) {
        Post(parms->dwCallback, MCI_NOTIFY_SUCCESSFUL, device->id);
    }
    return 0;
}

MCIERROR MciLayer::ToEveryDevice(DeviceCommand command, DWORD_PTR flags, DWORD_PTR param) {
    std::vector<MCIDEVICEID> ids;
    {
        std::lock_guard lock(m_mutex);
        for (auto& entry : m_devices) {
            ids.push_back(entry.first);
        }
    }
    // One notice for the whole, none per device.
    for (MCIDEVICEID each : ids) {
        (this->*command)(each, flags & ~static_cast<DWORD_PTR>(MCI_NOTIFY), 0);
    }
    if ((flags & MCI_NOTIFY) != 0) {
        Post(reinterpret_cast<MCI_GENERIC_PARMS*>(param)->dwCallback, MCI_NOTIFY_SUCCESSFUL,
             MCI_ALL_DEVICE_ID);
    }
    return 0;
}

MCIERROR MciLayer::Close(MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param) {
    if (id == MCI_ALL_DEVICE_ID) {
        return ToEveryDevice(&MciLayer::Close, flags, param);
    }
    std::shared_ptr<Device> device = Find(id);
    if (!device) {
        return MCIERR_INVALID_DEVICE_ID;
    }
    std::lock_guard command(device->command);
    SourceId source = 0;
    SourceId capture = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_devices.erase(id) == 0) {
            return MCIERR_INVALID_DEVICE_ID; // closed by another thread meanwhile
        }
        if (device->notifyPending) {
            Post(device->notifyWindow, MCI_NOTIFY_ABORTED, id);
            device->notifyPending = false;
        }
        device->playing = false;
        source = std::exchange(device->source, 0);
        capture = std::exchange(device->capture, 0);
        m_playEnded.notify_all();
    }
    if (source != 0) {
        m_engine.Close(source);
    }
    if (capture != 0) {
        m_engine.CloseCapture(capture);
    }
    device->disc.reset();
    if ((flags & MCI_NOTIFY) != 0) {
        Post(reinterpret_cast<MCI_GENERIC_PARMS*>(param)->dwCallback, MCI_NOTIFY_SUCCESSFUL, id);
    }
    return 0;
}

MCIERROR MciLayer::Stop(MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param) {
    if (id == MCI_ALL_DEVICE_ID) {
        return ToEveryDevice(&MciLayer::Stop, flags, param);
    }
    std::shared_ptr<Device> device = Find(id);
    if (!device) {
        return MCIERR_INVALID_DEVICE_ID;
    }
    std::lock_guard command(device->command);
    {
        std::lock_guard lock(m_mutex);
        if (device->source != 0) {
            m_engine.Stop(device->source);
        }
        if (device->capture != 0) {
            m_engine.StopCapture(device->capture); // returns at once
        }
        if (device->notifyPending) {
            Post(device->notifyWindow, MCI_NOTIFY_ABORTED, id);
            device->notifyPending = false;
        }
        device->playing = false;
        m_playEnded.notify_all();
    }
    if ((flags & MCI_NOTIFY) != 0) {
        Post(reinterpret_cast<MCI_GENERIC_PARMS*>(param)->dwCallback, MCI_NOTIFY_SUCCESSFUL, id);
    }
    return 0;
}

MCIERROR MciLayer::CdRange(Device& device, DWORD_PTR flags, const void* param, std::int32_t& start,
                           std::int32_t& end) {
    const CdDisc& disc = *device.disc;
    const auto* parms = static_cast<const MCI_PLAY_PARMS*>(param);
    DWORD format;
    {
        std::lock_guard lock(m_mutex);
        format = device.timeFormat;
    }
    // Converts a position; isEnd allows the lead-out (a "to" track past the last one).
    auto toSector = [&](DWORD value, bool isEnd, std::int32_t& sector) -> MCIERROR {
        switch (format) {
        case MCI_FORMAT_MILLISECONDS:
            sector = static_cast<std::int32_t>(static_cast<std::int64_t>(value) *
                                               CdDisc::kSectorsPerSecond / 1000);
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
            if (track < disc.FirstTrack()) {
                return MCIERR_OUTOFRANGE;
            }
            if (track > disc.LastTrack()) {
                if (!isEnd) {
                    return MCIERR_OUTOFRANGE;
                }
                sector = disc.Leadout();
                return 0;
            }
            sector = disc.TrackStart(track) + offset;
            return 0;
        }
        default:
            return MCIERR_BAD_TIME_FORMAT;
        }
    };
    start = disc.TrackStart(disc.FirstTrack());
    end = disc.Leadout();
    if ((flags & MCI_FROM) != 0) {
        if (MCIERROR error = toSector(parms->dwFrom, false, start)) {
            return error;
        }
    }
    if ((flags & MCI_TO) != 0) {
        if (MCIERROR error = toSector(parms->dwTo, true, end)) {
            return error;
        }
    }
    end = std::min(end, disc.Leadout());
    if (start < 0 || start >= end) {
        return MCIERR_OUTOFRANGE;
    }
    for (int track = disc.LastTrack(); track >= disc.FirstTrack(); --track) {
        if (disc.TrackStart(track) <= start) {
            if (!disc.IsAudioTrack(track)) {
                return MCIERR_NOT_AUDIO_TRACK;
            }
            break;
        }
    }
    return 0;
}

MCIERROR MciLayer::Play(MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param) {
    std::shared_ptr<Device> device = Find(id);
    if (!device) {
        return MCIERR_INVALID_DEVICE_ID;
    }
    const bool reposition = (flags & (MCI_FROM | MCI_TO)) != 0;
    if (reposition && param == 0) {
        return MCIERR_NULL_PARAMETER_BLOCK;
    }
    const auto* parms = reinterpret_cast<const MCI_PLAY_PARMS*>(param);
    std::unique_lock command(device->command);

    SourceId newSource = 0;
    std::int32_t cdStart = 0;
    std::int32_t cdEnd = 0;
    if (device->kind == Kind::CdAudio) {
        bool resume;
        {
            std::lock_guard lock(m_mutex);
            // Without a position, a stopped track goes on where it stopped.
            resume = !reposition && device->source != 0 && !device->failed &&
                     m_engine.IsOpen(device->source) &&
                     m_engine.Position(device->source) < m_engine.Length(device->source);
        }
        if (!resume) {
            if (MCIERROR error = CdRange(*device, flags, parms, cdStart, cdEnd)) {
                return error;
            }
            EngineStatus status =
                m_engine.OpenCd(device->disc->Device(), cdStart, cdEnd, newSource);
            if (!status.ok()) {
                return ToMciError(status);
            }
        }
    } else {
        SourceId source;
        {
            std::lock_guard lock(m_mutex);
            source = device->source;
        }
        if (source == 0) {
            return MCIERR_FILENAME_REQUIRED;
        }
        if ((flags & MCI_TO) != 0) {
            return MCIERR_UNSUPPORTED_FUNCTION;
        }
        if ((flags & MCI_FROM) != 0) {
            std::uint64_t frame = static_cast<std::uint64_t>(parms->dwFrom) *
                                  static_cast<std::uint64_t>(m_engine.MixRate()) / 1000;
            EngineStatus status = m_engine.Seek(source, frame);
            if (!status.ok()) {
                return ToMciError(status);
            }
        }
    }

    SourceId oldSource = 0;
    std::uint64_t serial = 0;
    MCIERROR error = 0;
    {
        std::lock_guard lock(m_mutex);
        if (newSource != 0) {
            oldSource = std::exchange(device->source, newSource);
            device->cdStart = cdStart;
            device->cdEnd = cdEnd;
        }
        EngineStatus status = m_engine.Play(
            device->source,
            [this, id](SourceId, EndReason reason, std::uint64_t playSerial) {
                OnEnd(id, reason, playSerial);
            },
            &serial);
        // The bookkeeping stays under the same lock as Play: the end handler, which also
        // takes it, must find this play's serial even for an item that ends at once.
        error = ToMciError(status);
        if (error == 0) {
            RecordPlay(*device, flags, (flags & MCI_NOTIFY) != 0 ? parms->dwCallback : 0,
                       reposition || newSource != 0, serial);
        }
    }
    if (oldSource != 0) {
        m_engine.Close(oldSource);
    }
    if (error != 0) {
        return error;
    }
    if ((flags & MCI_WAIT) == 0) {
        return 0;
    }
    // Waiting for the end must not keep other commands (a stop) off the device.
    command.unlock();
    return WaitUntilEnded(id, *device, serial) ? MCIERR_FILE_READ : 0;
}

bool MciLayer::WaitUntilEnded(MCIDEVICEID id, const Device& device, std::uint64_t serial) {
    std::unique_lock lock(m_mutex);
    m_playEnded.wait(lock, [&] {
        return m_devices.count(id) == 0 || device.playSerial != serial || !device.playing;
    });
    return device.playSerial == serial && device.failed;
}

void MciLayer::RecordPlay(Device& device, DWORD_PTR flags, DWORD_PTR callback, bool restarted,
                          std::uint64_t serial) {
    if (device.notifyPending) {
        // A notice still pending belongs to the play this one replaces.
        if ((flags & MCI_NOTIFY) != 0) {
            Post(device.notifyWindow, MCI_NOTIFY_SUPERSEDED, device.id);
            device.notifyPending = false;
        } else if (restarted) {
            Post(device.notifyWindow, MCI_NOTIFY_ABORTED, device.id);
            device.notifyPending = false;
        }
    }
    device.playSerial = serial;
    device.playing = true;
    device.failed = false;
    if ((flags & MCI_NOTIFY) != 0) {
        device.notifyPending = true;
        device.notifyWindow = callback;
    }
}

void MciLayer::OnEnd(MCIDEVICEID id, EndReason reason, std::uint64_t serial) {
    std::lock_guard lock(m_mutex);
    auto it = m_devices.find(id);
    if (it == m_devices.end()) {
        return;
    }
    if (it->second->playSerial != serial) {
        // A recording's end may come before MCI_RECORD has noted its serial.
        it->second->earlyEndSerial = serial;
        it->second->earlyEndReason = reason;
        return;
    }
    Ended(*it->second, reason);
}

void MciLayer::Ended(Device& device, EndReason reason) {
    const MCIDEVICEID id = device.id;
    device.playing = false;
    device.failed = reason == EndReason::Failed;
    if (device.notifyPending) {
        Post(device.notifyWindow,
             reason == EndReason::Failed ? MCI_NOTIFY_FAILURE : MCI_NOTIFY_SUCCESSFUL, id);
        device.notifyPending = false;
    }
    m_playEnded.notify_all();
}

MCIERROR MciLayer::Set(MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param) {
    std::shared_ptr<Device> device = Find(id);
    if (!device) {
        return MCIERR_INVALID_DEVICE_ID;
    }
    if (param == 0) {
        return MCIERR_NULL_PARAMETER_BLOCK;
    }
    std::lock_guard command(device->command);
    const auto* parms = reinterpret_cast<const MCI_SET_PARMS*>(param);
    constexpr DWORD_PTR kKnown = MCI_NOTIFY | MCI_WAIT | MCI_SET_TIME_FORMAT | kWaveFormatFlags;
    if ((flags & ~kKnown) != 0) {
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
    if ((flags & (MCI_SET_TIME_FORMAT | kWaveFormatFlags)) == 0) {
        return MCIERR_MISSING_PARAMETER;
    }
    DWORD format = parms->dwTimeFormat;
    if ((flags & MCI_SET_TIME_FORMAT) != 0) {
        bool valid = format == MCI_FORMAT_MILLISECONDS ||
                     (device->kind == Kind::CdAudio &&
                      (format == MCI_FORMAT_MSF || format == MCI_FORMAT_TMSF));
        if (!valid) {
            return MCIERR_BAD_TIME_FORMAT;
        }
    }
    if ((flags & kWaveFormatFlags) != 0) {
        if (device->kind != Kind::Wave) {
            return MCIERR_UNSUPPORTED_FUNCTION;
        }
        if (device->capture == 0) {
            return MCIERR_NONAPPLICABLE_FUNCTION;
        }
        PcmFormat wave;
        if (MCIERROR error = WaveFormat(
                *device, flags, *reinterpret_cast<const MCI_WAVE_SET_PARMS*>(param), wave)) {
            return error;
        }
        EngineStatus status = m_engine.SetCaptureFormat(device->capture, wave);
        if (status.error == EngineError::Busy) {
            return MCIERR_FORMAT_FIXED;
        }
        if (!status.ok()) {
            return ToMciError(status);
        }
    }
    if ((flags & MCI_SET_TIME_FORMAT) != 0) {
        std::lock_guard lock(m_mutex);
        device->timeFormat = format;
    }
    if ((flags & MCI_NOTIFY) != 0) {
        Post(parms->dwCallback, MCI_NOTIFY_SUCCESSFUL, id);
    }
    return 0;
}

MCIERROR MciLayer::WaveFormat(const Device& device, DWORD_PTR flags,
                              const MCI_WAVE_SET_PARMS& parms, PcmFormat& format) {
    // Fields not given keep their values; alignment and rate of bytes follow from the others
    // unless given, and then they must agree.
    format = m_engine.CaptureFormat(device.capture);
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
    return 0;
}

MCIERROR MciLayer::Record(MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param) {
    std::shared_ptr<Device> device = Find(id);
    if (!device) {
        return MCIERR_INVALID_DEVICE_ID;
    }
    if (device->capture == 0) {
        return device->kind == Kind::Wave ? MCIERR_NONAPPLICABLE_FUNCTION
                                          : MCIERR_UNSUPPORTED_FUNCTION;
    }
    // Recording into a stretch of an existing recording (from, to) is not offered.
    if ((flags & ~static_cast<DWORD_PTR>(MCI_NOTIFY | MCI_WAIT)) != 0) {
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
    const auto* parms = reinterpret_cast<const MCI_RECORD_PARMS*>(param);
    std::unique_lock command(device->command);
    std::uint64_t serial = 0;
    EngineStatus status = m_engine.StartCapture(
        device->capture,
        [this, id](SourceId, EndReason reason, std::uint64_t endSerial) {
            OnEnd(id, reason, endSerial);
        },
        &serial);
    if (!status.ok()) {
        return ToMciError(status);
    }
    {
        std::lock_guard lock(m_mutex);
        RecordPlay(*device, flags, (flags & MCI_NOTIFY) != 0 ? parms->dwCallback : 0, false,
                   serial);
        if (device->earlyEndSerial == serial) {
            Ended(*device, device->earlyEndReason);
        }
    }
    if ((flags & MCI_WAIT) == 0) {
        return 0;
    }
    command.unlock();
    return WaitUntilEnded(id, *device, serial) ? MCIERR_FILE_WRITE : 0;
}

MCIERROR MciLayer::Save(MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param) {
    std::shared_ptr<Device> device = Find(id);
    if (!device) {
        return MCIERR_INVALID_DEVICE_ID;
    }
    if (device->capture == 0) {
        return device->kind == Kind::Wave ? MCIERR_NONAPPLICABLE_FUNCTION
                                          : MCIERR_UNSUPPORTED_FUNCTION;
    }
    if (param == 0) {
        return MCIERR_NULL_PARAMETER_BLOCK;
    }
    if ((flags & ~static_cast<DWORD_PTR>(MCI_NOTIFY | MCI_WAIT | MCI_SAVE_FILE)) != 0) {
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
    const auto* parms = reinterpret_cast<const MCI_SAVE_PARMS*>(param);
    if ((flags & MCI_SAVE_FILE) == 0 || parms->lpfilename == nullptr ||
        parms->lpfilename[0] == '\0') {
        return MCIERR_MISSING_PARAMETER;
    }
    std::lock_guard command(device->command);
    EngineStatus status = m_engine.SaveCapture(device->capture, parms->lpfilename);
    if (!status.ok()) {
        return ToMciError(status);
    }
    if ((flags & MCI_NOTIFY) != 0) {
        Post(parms->dwCallback, MCI_NOTIFY_SUCCESSFUL, id);
    }
    return 0;
}

MCIERROR MciLayer::Status(MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param) {
    std::shared_ptr<Device> device = Find(id);
    if (!device) {
        return MCIERR_INVALID_DEVICE_ID;
    }
    if (param == 0) {
        return MCIERR_NULL_PARAMETER_BLOCK;
    }
    if ((flags & MCI_STATUS_ITEM) == 0) {
        return MCIERR_MISSING_PARAMETER;
    }
    std::lock_guard command(device->command);
    auto* parms = reinterpret_cast<MCI_STATUS_PARMS*>(param);
    SourceId source;
    DWORD format;
    std::int32_t cdStart;
    bool playing;
    {
        std::lock_guard lock(m_mutex);
        source = device->source;
        format = device->timeFormat;
        cdStart = device->cdStart;
        playing = device->playing && source != 0 && m_engine.IsPlaying(source);
    }
    const CdDisc* disc = device->disc.get();
    if (device->capture != 0) {
        // A recording: its mode, and its length (= the position, at its end) in milliseconds.
        bool recording = false;
        {
            std::lock_guard lock(m_mutex);
            recording = device->playing;
        }
        const auto rate = static_cast<std::uint64_t>(m_engine.CaptureFormat(device->capture).rate);
        switch (parms->dwItem) {
        case MCI_STATUS_NUMBER_OF_TRACKS:
            parms->dwReturn = 1;
            break;
        case MCI_STATUS_MODE:
            parms->dwReturn = recording ? MCI_MODE_RECORD : MCI_MODE_STOP;
            break;
        case MCI_STATUS_LENGTH:
        case MCI_STATUS_POSITION:
            parms->dwReturn =
                static_cast<DWORD_PTR>(m_engine.CapturedFrames(device->capture) * 1000 / rate);
            break;
        default:
            return MCIERR_UNSUPPORTED_FUNCTION;
        }
        if ((flags & MCI_NOTIFY) != 0) {
            Post(parms->dwCallback, MCI_NOTIFY_SUCCESSFUL, id);
        }
        return 0;
    }
    switch (parms->dwItem) {
    case MCI_STATUS_NUMBER_OF_TRACKS:
        parms->dwReturn = disc != nullptr ? static_cast<DWORD_PTR>(disc->TrackCount()) : 1;
        break;
    case MCI_STATUS_MODE:
        parms->dwReturn = playing ? MCI_MODE_PLAY : MCI_MODE_STOP;
        break;
    case MCI_STATUS_LENGTH:
        if (disc != nullptr) {
            std::int32_t length = disc->Leadout() - disc->TrackStart(disc->FirstTrack());
            if ((flags & MCI_TRACK) != 0) {
                auto track = static_cast<int>(parms->dwTrack);
                if (track < disc->FirstTrack() || track > disc->LastTrack()) {
                    return MCIERR_OUTOFRANGE;
                }
                length = disc->TrackStart(track + 1) - disc->TrackStart(track);
            }
            parms->dwReturn =
                format == MCI_FORMAT_MILLISECONDS ? SectorsToMs(length) : SectorsToMsf(length);
        } else {
            std::uint64_t frames = source != 0 ? m_engine.Length(source) : 0;
            if (frames == 0 && device->kind == Kind::Sequencer) {
                return MCIERR_UNSUPPORTED_FUNCTION;
            }
            parms->dwReturn = static_cast<DWORD_PTR>(
                frames * 1000 / static_cast<std::uint64_t>(m_engine.MixRate()));
        }
        break;
    case MCI_STATUS_POSITION: {
        std::uint64_t frames = source != 0 ? m_engine.Position(source) : 0;
        if (disc != nullptr) {
            std::int32_t sector = (source != 0 ? cdStart : disc->TrackStart(disc->FirstTrack())) +
                                  static_cast<std::int32_t>(frames / CdDisc::kFramesPerSector);
            if (format == MCI_FORMAT_MILLISECONDS) {
                parms->dwReturn = SectorsToMs(sector);
            } else if (format == MCI_FORMAT_MSF) {
                parms->dwReturn = SectorsToMsf(sector + kMsfOffset);
            } else {
                int track = disc->FirstTrack();
                while (track < disc->LastTrack() && disc->TrackStart(track + 1) <= sector) {
                    ++track;
                }
                DWORD msf = SectorsToMsf(sector - disc->TrackStart(track));
                parms->dwReturn = MCI_MAKE_TMSF(static_cast<BYTE>(track), MCI_MSF_MINUTE(msf),
                                                MCI_MSF_SECOND(msf), MCI_MSF_FRAME(msf));
            }
        } else {
            parms->dwReturn = static_cast<DWORD_PTR>(
                frames * 1000 / static_cast<std::uint64_t>(m_engine.MixRate()));
        }
        break;
    }
    default:
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
    if ((flags & MCI_NOTIFY) != 0) {
        Post(parms->dwCallback, MCI_NOTIFY_SUCCESSFUL, id);
    }
    return 0;
}
