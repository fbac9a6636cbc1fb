#include "platform/mci/MciLayer.h"

#include "platform/engine/SoundEngine.h"
#include "platform/mci/MciCdDevice.h"
#include "platform/mci/MciFileDevice.h"
#include "platform/mci/MciRecordingDevice.h"
#include "platform/wintypes/NotifyWindow.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <utility>
#include <vector>

namespace {
std::atomic<MCIDEVICEID> g_lastDeviceId{0};

bool HasExtension(const std::string& path, const char* ext) {
    std::size_t n = std::strlen(ext);
    return path.size() > n && strcasecmp(path.c_str() + path.size() - n, ext) == 0;
}

constexpr DWORD_PTR kWaveFormatFlags = MCI_WAVE_SET_FORMATTAG | MCI_WAVE_SET_CHANNELS |
                                       MCI_WAVE_SET_SAMPLESPERSEC | MCI_WAVE_SET_AVGBYTESPERSEC |
                                       MCI_WAVE_SET_BLOCKALIGN | MCI_WAVE_SET_BITSPERSAMPLE;

/// The device kind an MCI_OPEN names: by type id or type name, else by the file's extension.
MCIERROR KindOf(DWORD_PTR flags, const MCI_OPEN_PARMS& parms, const std::string& element,
                MciDevice::Kind& kind) {
    using Kind = MciDevice::Kind;
    const bool hasElement = (flags & MCI_OPEN_ELEMENT) != 0;
    if ((flags & MCI_OPEN_TYPE) != 0) {
        if ((flags & MCI_OPEN_TYPE_ID) != 0) {
            // The type id travels in the pointer's low word.
            auto type =
                static_cast<DWORD>(reinterpret_cast<DWORD_PTR>(parms.lpstrDeviceType) & 0xFFFF);
            if (type == MCI_DEVTYPE_WAVEFORM_AUDIO) {
                kind = Kind::Wave;
            } else if (type == MCI_DEVTYPE_SEQUENCER) {
                kind = Kind::Sequencer;
            } else if (type == MCI_DEVTYPE_CD_AUDIO) {
                kind = Kind::CdAudio;
            } else {
                return MCIERR_INVALID_DEVICE_NAME;
            }
            return 0;
        }
        const char* name = parms.lpstrDeviceType;
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
        return 0;
    }
    if (hasElement && HasExtension(element, ".wav")) {
        kind = Kind::Wave;
    } else if (hasElement && (HasExtension(element, ".mid") || HasExtension(element, ".midi") ||
                              HasExtension(element, ".rmi"))) {
        kind = Kind::Sequencer;
    } else {
        return MCIERR_DEVICE_TYPE_REQUIRED;
    }
    return 0;
}
} // namespace

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
    std::map<MCIDEVICEID, std::shared_ptr<MciDevice>> devices;
    {
        std::lock_guard lock(m_mutex);
        devices.swap(m_devices);
    }
    // Closing waits for an end handler in progress, which needs m_mutex: not under it.
    for (auto& [id, device] : devices) {
        device->Release();
    }
}

std::shared_ptr<MciDevice> MciLayer::Find(MCIDEVICEID id) {
    std::lock_guard lock(m_mutex);
    auto it = m_devices.find(id);
    return it == m_devices.end() ? nullptr : it->second;
}

void MciLayer::Post(DWORD_PTR callback, WPARAM code, MCIDEVICEID id) {
    if (auto* window = reinterpret_cast<NotifyWindow*>(callback)) {
        window->PostMessage(MM_MCINOTIFY, code, static_cast<LPARAM>(id));
    }
}

std::string MciLayer::LastFailure() {
    return ThreadLastFailure();
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

// The preamble every command to an open device shares: the device, the parameter block it
// needs, one command at a time; and the success notice of the commands that end at once.
MCIERROR MciLayer::SendCommand(MCIDEVICEID id, UINT message, DWORD_PTR flags, DWORD_PTR param) {
    ThreadLastFailure().clear();
    if ((flags & MCI_NOTIFY) != 0 && param == 0) {
        return MCIERR_NULL_PARAMETER_BLOCK;
    }
    switch (message) {
    case MCI_OPEN:
        return Open(flags, param);
    case MCI_CLOSE:
    case MCI_STOP:
        if (id == MCI_ALL_DEVICE_ID) {
            return ToEveryDevice(message, flags, param);
        }
        break;
    case MCI_PLAY:
    case MCI_SET:
    case MCI_STATUS:
    case MCI_RECORD:
    case MCI_SAVE:
        break;
    default:
        return MCIERR_UNRECOGNIZED_COMMAND;
    }
    std::shared_ptr<MciDevice> device = Find(id);
    if (!device) {
        return MCIERR_INVALID_DEVICE_ID;
    }
    std::unique_lock command(device->command);
    MCIERROR error = Run(*device, command, message, flags, param);
    // Plays and recordings answer their notice when they end.
    if (error == 0 && (flags & MCI_NOTIFY) != 0 && message != MCI_PLAY && message != MCI_RECORD) {
        Post(reinterpret_cast<MCI_GENERIC_PARMS*>(param)->dwCallback, MCI_NOTIFY_SUCCESSFUL, id);
    }
    return error;
}

MCIERROR MciLayer::Run(MciDevice& device, std::unique_lock<std::mutex>& command, UINT message,
                       DWORD_PTR flags, DWORD_PTR param) {
    switch (message) {
    case MCI_CLOSE:
        return Close(device);
    case MCI_STOP:
        return Stop(device);
    case MCI_PLAY:
        if ((flags & (MCI_FROM | MCI_TO | MCI_PLAY_AFTER | MCI_PLAY_NEAREND)) != 0 && param == 0) {
            return MCIERR_NULL_PARAMETER_BLOCK;
        }
        return Play(device, command, flags, reinterpret_cast<const MCI_PLAY_PARMS*>(param));
    case MCI_SET:
        if (param == 0) {
            return MCIERR_NULL_PARAMETER_BLOCK;
        }
        return Set(device, flags, *reinterpret_cast<const MCI_SET_PARMS*>(param));
    case MCI_STATUS:
        if (param == 0) {
            return MCIERR_NULL_PARAMETER_BLOCK;
        }
        return Status(device, flags, *reinterpret_cast<MCI_STATUS_PARMS*>(param));
    case MCI_RECORD:
        return Record(device, command, flags, reinterpret_cast<const MCI_RECORD_PARMS*>(param));
    default: // MCI_SAVE
        return Save(device, flags, reinterpret_cast<const MCI_SAVE_PARMS*>(param));
    }
}

MCIERROR MciLayer::Open(DWORD_PTR flags, DWORD_PTR param) {
    using Kind = MciDevice::Kind;
    if (param == 0) {
        return MCIERR_NULL_PARAMETER_BLOCK;
    }
    auto* parms = reinterpret_cast<MCI_OPEN_PARMS*>(param);
    const bool hasElement = (flags & MCI_OPEN_ELEMENT) != 0;
    if (hasElement && parms->lpstrElementName == nullptr) {
        return MCIERR_MISSING_PARAMETER;
    }
    const std::string element = hasElement ? parms->lpstrElementName : "";
    Kind kind = Kind::Wave;
    if (MCIERROR error = KindOf(flags, *parms, element, kind)) {
        return error;
    }
    if (kind == Kind::CdAudio && hasElement) {
        return MCIERR_NO_ELEMENT_ALLOWED;
    }

    // Without an element a device tests its kind; with one it opens the file (or, for
    // waveaudio, an empty one starts a new recording).
    EngineStatus status;
    SourceId source = 0;
    SourceId capture = 0;
    CdToc toc;
    if (kind == Kind::CdAudio) {
        status = m_engine.ReadCd(m_config.cdDevice, toc);
    } else if (kind == Kind::Sequencer) {
        status = hasElement ? m_engine.OpenMidi(element, m_config.soundFont, source)
                            : m_engine.ProbeSoundFont(m_config.soundFont);
    } else if (!hasElement) {
        // No output yet (a sound server that starts after the program) does not make the
        // device unusable: the engine keeps time without one, and sound comes when it opens.
        status = m_engine.ProbeOutput();
        if (status.error == EngineError::NoOutput) {
            status = EngineStatus::Ok();
        }
    } else if (element.empty()) {
        status = m_engine.OpenCapture(MciRecordingDevice::kDefaultFormat, capture);
    } else {
        status = m_engine.OpenWave(element, source);
    }
    if (!status.ok()) {
        return ReportFailure(status, kind == Kind::CdAudio ? m_config.cdDevice : element);
    }
    const MCIDEVICEID id = ++g_lastDeviceId;
    std::shared_ptr<MciDevice> device;
    if (kind == Kind::CdAudio) {
        device = std::make_shared<MciCdDevice>(m_engine, id, std::move(toc));
    } else if (capture != 0) {
        device = std::make_shared<MciRecordingDevice>(m_engine, id, capture);
    } else {
        device = std::make_shared<MciFileDevice>(m_engine, kind, id, source, element);
    }
    {
        std::lock_guard lock(m_mutex);
        m_devices.emplace(id, device);
    }
    parms->wDeviceID = id;
    if ((flags & MCI_NOTIFY) != 0) {
        Post(parms->dwCallback, MCI_NOTIFY_SUCCESSFUL, id);
    }
    return 0;
}

MCIERROR MciLayer::ToEveryDevice(UINT message, DWORD_PTR flags, DWORD_PTR param) {
    std::vector<MCIDEVICEID> ids;
    {
        std::lock_guard lock(m_mutex);
        for (auto& entry : m_devices) {
            ids.push_back(entry.first);
        }
    }
    // One notice for the whole, none per device.
    for (MCIDEVICEID each : ids) {
        SendCommand(each, message, flags & ~static_cast<DWORD_PTR>(MCI_NOTIFY), 0);
    }
    if ((flags & MCI_NOTIFY) != 0) {
        Post(reinterpret_cast<MCI_GENERIC_PARMS*>(param)->dwCallback, MCI_NOTIFY_SUCCESSFUL,
             MCI_ALL_DEVICE_ID);
    }
    return 0;
}

MCIERROR MciLayer::Close(MciDevice& device) {
    {
        std::lock_guard lock(m_mutex);
        if (m_devices.erase(device.Id()) == 0) {
            return MCIERR_INVALID_DEVICE_ID; // closed by another thread meanwhile
        }
        Aborted(device);
        device.notice.playing = false;
        m_playEnded.notify_all();
    }
    device.Release();
    return 0;
}

MCIERROR MciLayer::Stop(MciDevice& device) {
    device.Halt(); // returns at once; an end reported meanwhile finds the notice below
    std::lock_guard lock(m_mutex);
    Aborted(device);
    device.notice.playing = false;
    m_playEnded.notify_all();
    return 0;
}

MCIERROR MciLayer::Play(MciDevice& device, std::unique_lock<std::mutex>& command, DWORD_PTR flags,
                        const MCI_PLAY_PARMS* parms) {
    MciDevice::PlayState state;
    SourceId followed = 0;
    {
        std::lock_guard lock(m_mutex);
        state = {device.notice.playing, device.notice.failed};
        if ((flags & MCI_PLAY_AFTER) != 0) {
            const auto* after = static_cast<const MCI_PLAY_AFTER_PARMS*>(parms);
            auto it = m_devices.find(after->wAfterDevice);
            if (it == m_devices.end() || it->second.get() == &device) {
                return MCIERR_INVALID_DEVICE_ID;
            }
            followed = it->second->notice.playing ? it->second->notice.source : 0;
        }
    }
    MciDevice::PlayStart start;
    if (MCIERROR error = device.PreparePlay(flags, parms, state, start)) {
        return error;
    }
    const SourceId oldSource = start.newSource != 0 ? device.UseSource(start.newSource) : 0;
    // The engine is called without the layer's lock: a play that must first read a disc holds
    // up no other device. A play that ends (or comes near its end) before its serial is noted
    // below is caught there.
    std::uint64_t serial = 0;
    NearEndHandler nearEnd =
        (flags & MCI_PLAY_NEAREND) != 0 ? NearEndHandlerFor(device.Id()) : NearEndHandler{};
    EngineStatus status =
        followed != 0 ? m_engine.PlayAfter(device.Source(), followed, EndHandlerFor(device.Id()),
                                           &serial, std::move(nearEnd))
                      : m_engine.Play(device.Source(), EndHandlerFor(device.Id()), &serial,
                                      std::move(nearEnd));
    MCIERROR error = ReportFailure(status, device.Subject());
    if (error == 0) {
        std::lock_guard lock(m_mutex);
        const bool restarted = (flags & (MCI_FROM | MCI_TO)) != 0 || start.newSource != 0;
        RecordPlay(device, flags, (flags & MCI_NOTIFY) != 0 ? parms->dwCallback : 0, restarted,
                   serial);
        device.notice.source = device.Source();
        device.notice.nearEndWindow = (flags & MCI_PLAY_NEAREND) != 0 ? parms->dwCallback : 0;
        if (device.notice.earlyNearEndSerial == serial) {
            Post(device.notice.nearEndWindow, MCI_NOTIFY_NEAREND, device.Id());
        }
        if (device.notice.earlyEndSerial == serial) {
            Ended(device, device.notice.earlyEndReason);
        }
    }
    if (oldSource != 0) {
        m_engine.Close(oldSource);
    }
    if (error != 0 || (flags & MCI_WAIT) == 0) {
        return error;
    }
    // Waiting for the end must not keep other commands (a stop) off the device.
    command.unlock();
    return WaitUntilEnded(device, serial) ? MCIERR_FILE_READ : 0;
}

MCIERROR MciLayer::Set(MciDevice& device, DWORD_PTR flags, const MCI_SET_PARMS& parms) {
    constexpr DWORD_PTR kKnown = MCI_NOTIFY | MCI_WAIT | MCI_SET_TIME_FORMAT | kWaveFormatFlags;
    if ((flags & ~kKnown) != 0) {
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
    if ((flags & (MCI_SET_TIME_FORMAT | kWaveFormatFlags)) == 0) {
        return MCIERR_MISSING_PARAMETER;
    }
    const bool timeFormat = (flags & MCI_SET_TIME_FORMAT) != 0;
    if (timeFormat && !device.AcceptsTimeFormat(parms.dwTimeFormat)) {
        return MCIERR_BAD_TIME_FORMAT;
    }
    if ((flags & kWaveFormatFlags) != 0) {
        if (MCIERROR error =
                device.SetWaveFormat(flags, reinterpret_cast<const MCI_WAVE_SET_PARMS&>(parms))) {
            return error;
        }
    }
    if (timeFormat) {
        device.SetTimeFormat(parms.dwTimeFormat);
    }
    return 0;
}

MCIERROR MciLayer::Status(MciDevice& device, DWORD_PTR flags, MCI_STATUS_PARMS& parms) {
    if ((flags & MCI_STATUS_ITEM) == 0) {
        return MCIERR_MISSING_PARAMETER;
    }
    MciDevice::PlayState state;
    {
        std::lock_guard lock(m_mutex);
        state = {device.notice.playing, device.notice.failed};
    }
    return device.Status(flags, parms, state);
}

MCIERROR MciLayer::Record(MciDevice& device, std::unique_lock<std::mutex>& command, DWORD_PTR flags,
                          const MCI_RECORD_PARMS* parms) {
    if (MCIERROR error = device.CanRecord()) {
        return error;
    }
    // Recording into a stretch of an existing recording (from, to) is not offered.
    if ((flags & ~static_cast<DWORD_PTR>(MCI_NOTIFY | MCI_WAIT)) != 0) {
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
    std::uint64_t serial = 0;
    if (MCIERROR error = device.StartRecording(EndHandlerFor(device.Id()), serial)) {
        return error;
    }
    {
        std::lock_guard lock(m_mutex);
        RecordPlay(device, flags, (flags & MCI_NOTIFY) != 0 ? parms->dwCallback : 0, false, serial);
        if (device.notice.earlyEndSerial == serial) {
            Ended(device, device.notice.earlyEndReason);
        }
    }
    if ((flags & MCI_WAIT) == 0) {
        return 0;
    }
    command.unlock();
    return WaitUntilEnded(device, serial) ? MCIERR_FILE_WRITE : 0;
}

MCIERROR MciLayer::Save(MciDevice& device, DWORD_PTR flags, const MCI_SAVE_PARMS* parms) {
    if (MCIERROR error = device.CanRecord()) {
        return error;
    }
    if (parms == nullptr) {
        return MCIERR_NULL_PARAMETER_BLOCK;
    }
    if ((flags & ~static_cast<DWORD_PTR>(MCI_NOTIFY | MCI_WAIT | MCI_SAVE_FILE)) != 0) {
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
    if ((flags & MCI_SAVE_FILE) == 0 || parms->lpfilename == nullptr ||
        parms->lpfilename[0] == '\0') {
        return MCIERR_MISSING_PARAMETER;
    }
    return device.Save(parms->lpfilename);
}

void MciLayer::RecordPlay(MciDevice& device, DWORD_PTR flags, DWORD_PTR callback, bool restarted,
                          std::uint64_t serial) {
    MciDevice::Notice& notice = device.notice;
    if (notice.pending) {
        // A notice still pending belongs to the play this one replaces.
        if ((flags & MCI_NOTIFY) != 0) {
            Post(notice.window, MCI_NOTIFY_SUPERSEDED, device.Id());
            notice.pending = false;
        } else if (restarted) {
            Post(notice.window, MCI_NOTIFY_ABORTED, device.Id());
            notice.pending = false;
        }
    }
    notice.serial = serial;
    notice.playing = true;
    notice.failed = false;
    if ((flags & MCI_NOTIFY) != 0) {
        notice.pending = true;
        notice.window = callback;
    }
}

bool MciLayer::WaitUntilEnded(const MciDevice& device, std::uint64_t serial) {
    std::unique_lock lock(m_mutex);
    m_playEnded.wait(lock, [&] {
        return m_devices.count(device.Id()) == 0 || device.notice.serial != serial ||
               !device.notice.playing;
    });
    return device.notice.serial == serial && device.notice.failed;
}

EndHandler MciLayer::EndHandlerFor(MCIDEVICEID id) {
    return [this, id](SourceId, EndReason reason, std::uint64_t serial) {
        std::lock_guard lock(m_mutex);
        auto it = m_devices.find(id);
        if (it == m_devices.end()) {
            return;
        }
        MciDevice& device = *it->second;
        if (device.notice.serial != serial) {
            // A recording's end may come before MCI_RECORD has noted its serial.
            device.notice.earlyEndSerial = serial;
            device.notice.earlyEndReason = reason;
            return;
        }
        Ended(device, reason);
    };
}

NearEndHandler MciLayer::NearEndHandlerFor(MCIDEVICEID id) {
    return [this, id](SourceId, std::uint64_t serial) {
        std::lock_guard lock(m_mutex);
        auto it = m_devices.find(id);
        if (it == m_devices.end()) {
            return;
        }
        MciDevice::Notice& notice = it->second->notice;
        if (notice.serial != serial) {
            notice.earlyNearEndSerial = serial;
        } else if (notice.playing) {
            Post(notice.nearEndWindow, MCI_NOTIFY_NEAREND, id);
        }
    };
}

void MciLayer::Ended(MciDevice& device, EndReason reason) {
    MciDevice::Notice& notice = device.notice;
    notice.playing = false;
    notice.failed = reason == EndReason::Failed;
    if (notice.pending) {
        // A cue that will not start was aborted, as if it had been stopped.
        const WPARAM code = reason == EndReason::Failed     ? MCI_NOTIFY_FAILURE
                            : reason == EndReason::Disarmed ? MCI_NOTIFY_ABORTED
                                                            : MCI_NOTIFY_SUCCESSFUL;
        Post(notice.window, code, device.Id());
        notice.pending = false;
    }
    m_playEnded.notify_all();
}

void MciLayer::Aborted(MciDevice& device) {
    if (device.notice.pending) {
        Post(device.notice.window, MCI_NOTIFY_ABORTED, device.Id());
        device.notice.pending = false;
    }
}
