#include "platform/mci/Mci.h"

#include "platform/mci/MciPort.h"

#include <atomic>
#include <cstring>

namespace {
std::atomic<MciPort*> g_port{nullptr};

struct ErrorText {
    MCIERROR code;
    const char* text;
};

// Shown to users after a fixed message: keep each well under 128 characters.
constexpr ErrorText kErrorTexts[] = {
    {MCIERR_INVALID_DEVICE_ID, "The device id does not name an open device."},
    {MCIERR_UNRECOGNIZED_COMMAND, "The command is not recognised."},
    {MCIERR_INVALID_DEVICE_NAME, "The device type is not known."},
    {MCIERR_MISSING_PARAMETER, "A value the command needs is missing."},
    {MCIERR_UNSUPPORTED_FUNCTION, "The device cannot carry out this command."},
    {MCIERR_FILE_NOT_FOUND, "The file was not found."},
    {MCIERR_DEVICE_NOT_READY,
     "The device is not ready: there is no CD drive, no disc or no image."},
    {MCIERR_INTERNAL, "An internal error occurred in the sound engine."},
    {MCIERR_OUTOFRANGE, "The position or track is outside the item."},
    {MCIERR_FLAGS_NOT_COMPATIBLE, "The flags of the command cannot be used together."},
    {MCIERR_DEVICE_TYPE_REQUIRED, "A device type or a known kind of file is needed."},
    {MCIERR_BAD_TIME_FORMAT, "The device does not support this time format."},
    {MCIERR_INVALID_FILE, "The file is damaged or not in a format that can be played."},
    {MCIERR_NULL_PARAMETER_BLOCK, "The command's parameter block is missing."},
    {MCIERR_NO_ELEMENT_ALLOWED, "This device does not take a file."},
    {MCIERR_NONAPPLICABLE_FUNCTION,
     "The command does not apply to this device: only a new recording records and saves."},
    {MCIERR_FILENAME_REQUIRED, "The device has no file open."},
    {MCIERR_FILE_READ, "The file cannot be read."},
    {MCIERR_FILE_WRITE, "The file cannot be written: the folder is missing or read-only, or the "
                        "disk is full."},
    {MCIERR_NO_COMMAND_LAYER, "No media command layer is installed."},
    {MCIERR_NO_SOUNDFONT, "No SoundFont is available to play MIDI files."},
    {MCIERR_NO_OUTPUT_DEVICE, "No sound output device can be opened."},
    {MCIERR_TOO_MANY_OPEN, "Too many sounds are open at once."},
    {MCIERR_NOT_AUDIO_TRACK, "The CD track holds data, not audio."},
    {MCIERR_NO_INPUT_DEVICE, "No sound input device (microphone) can be opened."},
    {MCIERR_WAVE_NOT_PCM, "Only PCM recordings are supported (format tag 1)."},
    {MCIERR_WAVE_BAD_FORMAT,
     "A recording has 1 or 2 channels, 8 or 16 bits a sample and 8000 to 192000 samples a second."},
    {MCIERR_WAVE_INCONSISTENT, "The block alignment or bytes per second do not match the channels, "
                               "bits and samples per second."},
    {MCIERR_RECORDING_RUNS, "The recording is running: stop it first."},
    {MCIERR_FORMAT_FIXED, "The recording already holds sound: its format can no longer change."},
};
} // namespace

const char* MciErrorText(MCIERROR error) {
    for (const auto& entry : kErrorTexts) {
        if (entry.code == error) {
            return entry.text;
        }
    }
    return nullptr;
}

void InstallMciPort(MciPort* port) {
    g_port.store(port, std::memory_order_release);
}

MciPort* InstalledMciPort() {
    return g_port.load(std::memory_order_acquire);
}

MCIERROR mciSendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR param) {
    MciPort* port = InstalledMciPort();
    if (port == nullptr) {
        return MCIERR_NO_COMMAND_LAYER;
    }
    return port->SendCommand(device, message, flags, param);
}

BOOL mciGetErrorString(MCIERROR error, char* text, UINT length) {
    if (MciPort* port = InstalledMciPort()) {
        return port->GetErrorString(error, text, length);
    }
    if (text == nullptr || length == 0) {
        return 0;
    }
    const char* found = MciErrorText(error);
    std::strncpy(text, found != nullptr ? found : "", length - 1);
    text[length - 1] = '\0';
    return found != nullptr ? 1 : 0;
}
