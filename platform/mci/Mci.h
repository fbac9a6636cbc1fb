#pragma once

// The media control commands: a small command interface over the sound engine, in the shape
// of the platform's MCI. Only the commands, flags and parameter blocks the program uses exist.
// Values are the platform's published ones, so that stored or logged numbers mean the same.
//
// Devices are opened by type id, optionally with an element (a file). Every command returns 0
// or an error code whose text mciGetErrorString gives. A command sent with MCI_NOTIFY and a
// callback window posts MM_MCINOTIFY to that window when it ends: wParam is the notice code,
// lParam the device id. Device ids are never reused within a process, so a notice can always
// be matched to the open that caused it.

#include "platform/wintypes/WinTypes.h"

using MCIERROR = DWORD;
using MCIDEVICEID = UINT;

// Commands
inline constexpr UINT MCI_OPEN = 0x0803;
inline constexpr UINT MCI_CLOSE = 0x0804;
inline constexpr UINT MCI_PLAY = 0x0806;
inline constexpr UINT MCI_STOP = 0x0808;
inline constexpr UINT MCI_SET = 0x080D;
inline constexpr UINT MCI_RECORD = 0x080F;
inline constexpr UINT MCI_SAVE = 0x0813;
inline constexpr UINT MCI_STATUS = 0x0814;

// The completion notice and its codes (wParam)
inline constexpr UINT MM_MCINOTIFY = 0x03B9;
inline constexpr WPARAM MCI_NOTIFY_SUCCESSFUL = 0x0001;
inline constexpr WPARAM MCI_NOTIFY_SUPERSEDED = 0x0002;
inline constexpr WPARAM MCI_NOTIFY_ABORTED = 0x0004;
inline constexpr WPARAM MCI_NOTIFY_FAILURE = 0x0008;
/// Ours: a play asked with MCI_PLAY_NEAREND is about to end (see below). Not a completion
/// notice: the one for the play still follows.
inline constexpr WPARAM MCI_NOTIFY_NEAREND = 0x0010;

// Flags common to all commands
inline constexpr DWORD MCI_NOTIFY = 0x00000001;
inline constexpr DWORD MCI_WAIT = 0x00000002;
inline constexpr DWORD MCI_FROM = 0x00000004;
inline constexpr DWORD MCI_TO = 0x00000008;

// MCI_PLAY flags of our own, for playing one item after another without a gap:
/// The play starts on the sample right after the last one of the play running on the device
/// that MCI_PLAY_AFTER_PARMS::wAfterDevice names, in the same output period; when that device
/// does not play, at once. MCI_STOP or MCI_CLOSE of that device before its play has ended
/// disarms this one: it does not start, and its notice is MCI_NOTIFY_ABORTED.
inline constexpr DWORD MCI_PLAY_AFTER = 0x00010000;
/// Posts MCI_NOTIFY_NEAREND to the callback window when about two seconds of the play are left
/// (at once for a shorter one): time to open and cue what follows.
inline constexpr DWORD MCI_PLAY_NEAREND = 0x00020000;

// MCI_OPEN flags
inline constexpr DWORD MCI_OPEN_ELEMENT = 0x00000200;
inline constexpr DWORD MCI_OPEN_TYPE_ID = 0x00001000;
inline constexpr DWORD MCI_OPEN_TYPE = 0x00002000;

// Device types (MCI_OPEN_TYPE_ID: the type id stands in lpstrDeviceType)
inline constexpr DWORD MCI_DEVTYPE_CD_AUDIO = 516;
inline constexpr DWORD MCI_DEVTYPE_WAVEFORM_AUDIO = 522;
inline constexpr DWORD MCI_DEVTYPE_SEQUENCER = 523;

// MCI_STATUS
inline constexpr DWORD MCI_STATUS_ITEM = 0x00000100;
inline constexpr DWORD MCI_STATUS_NUMBER_OF_TRACKS = 0x00000003;

// MCI_STATUS items beyond the track count, and the flag that asks about one track
inline constexpr DWORD MCI_STATUS_LENGTH = 0x00000001;
inline constexpr DWORD MCI_STATUS_POSITION = 0x00000002;
inline constexpr DWORD MCI_STATUS_MODE = 0x00000004;
inline constexpr DWORD MCI_TRACK = 0x00000010;
inline constexpr DWORD MCI_MODE_RECORD = 524;
inline constexpr DWORD MCI_MODE_STOP = 525;
inline constexpr DWORD MCI_MODE_PLAY = 526;

// MCI_SET
inline constexpr DWORD MCI_SET_TIME_FORMAT = 0x00000400;
inline constexpr DWORD MCI_FORMAT_MILLISECONDS = 0;
inline constexpr DWORD MCI_FORMAT_MSF = 2;
inline constexpr DWORD MCI_FORMAT_TMSF = 10;

/// Addresses every device the layer has open (MCI_STOP and MCI_CLOSE only).
inline constexpr MCIDEVICEID MCI_ALL_DEVICE_ID = 0xFFFFFFFF;

// MCI_SET on a waveform device: the recording format
inline constexpr DWORD MCI_WAVE_SET_FORMATTAG = 0x00010000;
inline constexpr DWORD MCI_WAVE_SET_CHANNELS = 0x00020000;
inline constexpr DWORD MCI_WAVE_SET_SAMPLESPERSEC = 0x00040000;
inline constexpr DWORD MCI_WAVE_SET_AVGBYTESPERSEC = 0x00080000;
inline constexpr DWORD MCI_WAVE_SET_BLOCKALIGN = 0x00100000;
inline constexpr DWORD MCI_WAVE_SET_BITSPERSAMPLE = 0x00200000;
inline constexpr WORD WAVE_FORMAT_PCM = 1;

// MCI_SAVE
inline constexpr DWORD MCI_SAVE_FILE = 0x00000100;

// Error codes. Where the platform publishes a code for the same failure, its value is used;
// codes of our own start at MCIERR_CUSTOM_BASE. mciGetErrorString gives each a text shorter
// than 128 characters.
inline constexpr MCIERROR MCIERR_BASE = 256;
inline constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1;
inline constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = MCIERR_BASE + 5;
inline constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = MCIERR_BASE + 7;
inline constexpr MCIERROR MCIERR_MISSING_PARAMETER = MCIERR_BASE + 17;
inline constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = MCIERR_BASE + 18;
inline constexpr MCIERROR MCIERR_FILE_NOT_FOUND = MCIERR_BASE + 19;
inline constexpr MCIERROR MCIERR_DEVICE_NOT_READY = MCIERR_BASE + 20;
inline constexpr MCIERROR MCIERR_INTERNAL = MCIERR_BASE + 21;
inline constexpr MCIERROR MCIERR_OUTOFRANGE = MCIERR_BASE + 26;
inline constexpr MCIERROR MCIERR_FLAGS_NOT_COMPATIBLE = MCIERR_BASE + 28;
inline constexpr MCIERROR MCIERR_DEVICE_TYPE_REQUIRED = MCIERR_BASE + 31;
inline constexpr MCIERROR MCIERR_BAD_TIME_FORMAT = MCIERR_BASE + 37;
inline constexpr MCIERROR MCIERR_INVALID_FILE = MCIERR_BASE + 40;
inline constexpr MCIERROR MCIERR_NULL_PARAMETER_BLOCK = MCIERR_BASE + 41;
inline constexpr MCIERROR MCIERR_NO_ELEMENT_ALLOWED = MCIERR_BASE + 45;
inline constexpr MCIERROR MCIERR_NONAPPLICABLE_FUNCTION = MCIERR_BASE + 46;
inline constexpr MCIERROR MCIERR_FILENAME_REQUIRED = MCIERR_BASE + 48;
inline constexpr MCIERROR MCIERR_FILE_READ = MCIERR_BASE + 92;
inline constexpr MCIERROR MCIERR_FILE_WRITE = MCIERR_BASE + 93;
inline constexpr MCIERROR MCIERR_CUSTOM_BASE = MCIERR_BASE + 256;
inline constexpr MCIERROR MCIERR_NO_COMMAND_LAYER = MCIERR_CUSTOM_BASE + 0;
inline constexpr MCIERROR MCIERR_NO_SOUNDFONT = MCIERR_CUSTOM_BASE + 1;
inline constexpr MCIERROR MCIERR_NO_OUTPUT_DEVICE = MCIERR_CUSTOM_BASE + 2;
// MCIERR_CUSTOM_BASE + 3 is retired (it said that recording was not supported yet).
inline constexpr MCIERROR MCIERR_TOO_MANY_OPEN = MCIERR_CUSTOM_BASE + 4;
inline constexpr MCIERROR MCIERR_NOT_AUDIO_TRACK = MCIERR_CUSTOM_BASE + 5;
inline constexpr MCIERROR MCIERR_NO_INPUT_DEVICE = MCIERR_CUSTOM_BASE + 6;
inline constexpr MCIERROR MCIERR_WAVE_NOT_PCM = MCIERR_CUSTOM_BASE + 7;
inline constexpr MCIERROR MCIERR_WAVE_BAD_FORMAT = MCIERR_CUSTOM_BASE + 8;
inline constexpr MCIERROR MCIERR_WAVE_INCONSISTENT = MCIERR_CUSTOM_BASE + 9;
inline constexpr MCIERROR MCIERR_RECORDING_RUNS = MCIERR_CUSTOM_BASE + 10;
inline constexpr MCIERROR MCIERR_FORMAT_FIXED = MCIERR_CUSTOM_BASE + 11;

/// The text of an error code, or nullptr for a code that has none. The same table backs
/// mciGetErrorString whatever command layer is installed.
const char* MciErrorText(MCIERROR error);

/// A TMSF position: track in the low byte, then minute, second, frame.
constexpr DWORD MCI_MAKE_TMSF(BYTE track, BYTE minute, BYTE second, BYTE frame) {
    return static_cast<DWORD>(track) | (static_cast<DWORD>(minute) << 8) |
           (static_cast<DWORD>(second) << 16) | (static_cast<DWORD>(frame) << 24);
}
constexpr BYTE MCI_TMSF_TRACK(DWORD tmsf) {
    return static_cast<BYTE>(tmsf & 0xFF);
}
constexpr BYTE MCI_TMSF_MINUTE(DWORD tmsf) {
    return static_cast<BYTE>((tmsf >> 8) & 0xFF);
}
constexpr BYTE MCI_TMSF_SECOND(DWORD tmsf) {
    return static_cast<BYTE>((tmsf >> 16) & 0xFF);
}
constexpr BYTE MCI_TMSF_FRAME(DWORD tmsf) {
    return static_cast<BYTE>((tmsf >> 24) & 0xFF);
}
/// An MSF position (from the start of the disc): minute in the low byte, second, frame.
constexpr DWORD MCI_MAKE_MSF(BYTE minute, BYTE second, BYTE frame) {
    return static_cast<DWORD>(minute) | (static_cast<DWORD>(second) << 8) |
           (static_cast<DWORD>(frame) << 16);
}
constexpr BYTE MCI_MSF_MINUTE(DWORD msf) {
    return static_cast<BYTE>(msf & 0xFF);
}
constexpr BYTE MCI_MSF_SECOND(DWORD msf) {
    return static_cast<BYTE>((msf >> 8) & 0xFF);
}
constexpr BYTE MCI_MSF_FRAME(DWORD msf) {
    return static_cast<BYTE>((msf >> 16) & 0xFF);
}

// Parameter blocks. dwCallback holds the window (HWND) that MCI_NOTIFY notices go to.
struct MCI_GENERIC_PARMS {
    DWORD_PTR dwCallback = 0;
};

struct MCI_OPEN_PARMS {
    DWORD_PTR dwCallback = 0;
    MCIDEVICEID wDeviceID = 0;             ///< filled in by MCI_OPEN
    const char* lpstrDeviceType = nullptr; ///< with MCI_OPEN_TYPE_ID: the type id, cast
    const char* lpstrElementName =
        nullptr; ///< with MCI_OPEN_ELEMENT: a file path, or "" for a new recording
    const char* lpstrAlias = nullptr;
};

struct MCI_PLAY_PARMS {
    DWORD_PTR dwCallback = 0;
    DWORD dwFrom = 0;
    DWORD dwTo = 0;
};

/// MCI_PLAY with MCI_PLAY_AFTER (ours).
struct MCI_PLAY_AFTER_PARMS : MCI_PLAY_PARMS {
    MCIDEVICEID wAfterDevice = 0; ///< the device whose play this one follows
};

struct MCI_SET_PARMS {
    DWORD_PTR dwCallback = 0;
    DWORD dwTimeFormat = 0;
    DWORD dwAudio = 0;
};

struct MCI_STATUS_PARMS {
    DWORD_PTR dwCallback = 0;
    DWORD_PTR dwReturn = 0; ///< filled in by MCI_STATUS
    DWORD dwItem = 0;
    DWORD dwTrack = 0;
};

struct MCI_WAVE_SET_PARMS {
    DWORD_PTR dwCallback = 0;
    DWORD dwTimeFormat = 0;
    DWORD dwAudio = 0;
    UINT wInput = 0;
    UINT wOutput = 0;
    WORD wFormatTag = 0;
    WORD wReserved2 = 0;
    WORD nChannels = 0;
    WORD wReserved3 = 0;
    DWORD nSamplesPerSec = 0;
    DWORD nAvgBytesPerSec = 0;
    WORD nBlockAlign = 0;
    WORD wReserved4 = 0;
    WORD wBitsPerSample = 0;
    WORD wReserved5 = 0;
};

struct MCI_RECORD_PARMS {
    DWORD_PTR dwCallback = 0;
    DWORD dwFrom = 0;
    DWORD dwTo = 0;
};

struct MCI_SAVE_PARMS {
    DWORD_PTR dwCallback = 0;
    const char* lpfilename = nullptr;
};

/// The window a notice goes to, as it is carried in dwCallback.
inline DWORD_PTR MCI_CALLBACK(HWND window) {
    return reinterpret_cast<DWORD_PTR>(window);
}

/// Sends one command to the process's command layer (see MciPort.h). param points at the
/// command's parameter block, cast to DWORD_PTR. Without an installed layer the result is
/// MCIERR_NO_COMMAND_LAYER.
MCIERROR mciSendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR param);

/// Copies the text of an error code into text (at most length bytes with the terminator).
/// Returns false for a code that has no text. Asks the installed layer; without one, answers
/// from MciErrorText.
BOOL mciGetErrorString(MCIERROR error, char* text, UINT length);
