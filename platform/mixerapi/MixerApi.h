#pragma once

// The audio mixer functions: a small C-style interface in the shape of the platform's mixer
// API, over the mixer devices installed with InstallMixerDevices (MixerDevice.h). Only the
// functions, structures and flags the program uses exist; values and field widths are the
// platform's published ones, so that stored or shown numbers mean the same.
//
// Structures without pointers have the published 32-bit layouts (MIXERCAPS 48 bytes, MIXERLINE
// 168, MIXERCONTROL 148, MIXERCONTROLDETAILS_LISTTEXT 72). The two that carry a buffer pointer
// (MIXERLINECONTROLS, MIXERCONTROLDETAILS) are larger on a 64-bit build; callers set cbStruct to
// sizeof, and every function refuses a cbStruct that is not the size of its structure.
//
// Objects (HMIXEROBJ) and the object-type part of the flags:
//   MIXER_OBJECTF_MIXER:  the object is a device identifier (0 .. mixerGetNumDevs() - 1) or a
//                         handle from mixerOpen; so a null handle means device 0.
//   MIXER_OBJECTF_HMIXER: the object must be a handle from mixerOpen.
// Handles are never reused within a process and never collide with device identifiers.
// Installing other devices invalidates every open handle (MMSYSERR_INVALHANDLE afterwards).
//
// All functions are thread-safe.

#include "platform/wintypes/WinTypes.h"

struct HMIXER__;
struct HMIXEROBJ__;
/// An open mixer device.
using HMIXER = HMIXER__*;
/// A device identifier or an open handle, as the object-type flag says.
using HMIXEROBJ = HMIXEROBJ__*;

/// The object that names a device identifier (with MIXER_OBJECTF_MIXER).
inline HMIXEROBJ MixerObjectFromId(UINT deviceId) {
    return reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(deviceId));
}
/// The object that names an open handle.
inline HMIXEROBJ MixerObjectFromHandle(HMIXER handle) {
    return reinterpret_cast<HMIXEROBJ>(handle);
}

// Result codes: the platform's multimedia result codes.
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
inline constexpr MMRESULT MMSYSERR_INVALIDALIAS = 13;
inline constexpr MMRESULT MMSYSERR_BADDB = 14;
inline constexpr MMRESULT MMSYSERR_KEYNOTFOUND = 15;
inline constexpr MMRESULT MMSYSERR_READERROR = 16;
inline constexpr MMRESULT MMSYSERR_WRITEERROR = 17;
inline constexpr MMRESULT MMSYSERR_DELETEERROR = 18;
inline constexpr MMRESULT MMSYSERR_VALNOTFOUND = 19;
inline constexpr MMRESULT MMSYSERR_NODRIVERCB = 20;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;
inline constexpr MMRESULT WAVERR_SYNC = 35;
inline constexpr MMRESULT MIDIERR_UNPREPARED = 64;
inline constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
inline constexpr MMRESULT MIDIERR_NOMAP = 66;
inline constexpr MMRESULT MIDIERR_NOTREADY = 67;
inline constexpr MMRESULT MIDIERR_NODEVICE = 68;
inline constexpr MMRESULT MIDIERR_INVALIDSETUP = 69;
inline constexpr MMRESULT MIDIERR_BADOPENMODE = 70;
inline constexpr MMRESULT MIDIERR_DONT_CONTINUE = 71;
inline constexpr MMRESULT TIMERR_NOCANDO = 97;
inline constexpr MMRESULT TIMERR_STRUCT = 129;
inline constexpr MMRESULT JOYERR_PARMS = 165;
inline constexpr MMRESULT JOYERR_NOCANDO = 166;
inline constexpr MMRESULT JOYERR_UNPLUGGED = 167;
inline constexpr MMRESULT MIXERR_INVALLINE = 1024;
inline constexpr MMRESULT MIXERR_INVALCONTROL = 1025;
inline constexpr MMRESULT MIXERR_INVALVALUE = 1026;

// Text sizes, terminator included.
inline constexpr int MAXPNAMELEN = 32;
inline constexpr int MIXER_SHORT_NAME_CHARS = 16;
inline constexpr int MIXER_LONG_NAME_CHARS = 64;

// Object-type part of the flags (top four bits).
inline constexpr DWORD MIXER_OBJECTF_HANDLE = 0x80000000;
inline constexpr DWORD MIXER_OBJECTF_MIXER = 0x00000000;
inline constexpr DWORD MIXER_OBJECTF_HMIXER = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_MIXER;
inline constexpr DWORD MIXER_OBJECTF_TYPEMASK = 0xF0000000;

// mixerOpen: only CALLBACK_NULL (no notifications) is offered.
inline constexpr DWORD CALLBACK_NULL = 0x00000000;

// mixerGetLineInfo queries.
inline constexpr DWORD MIXER_GETLINEINFOF_DESTINATION = 0x00000000;
inline constexpr DWORD MIXER_GETLINEINFOF_SOURCE = 0x00000001;
inline constexpr DWORD MIXER_GETLINEINFOF_LINEID = 0x00000002;
inline constexpr DWORD MIXER_GETLINEINFOF_COMPONENTTYPE = 0x00000003;
inline constexpr DWORD MIXER_GETLINEINFOF_QUERYMASK = 0x0000000F;

// mixerGetLineControls queries.
inline constexpr DWORD MIXER_GETLINECONTROLSF_ALL = 0x00000000;
inline constexpr DWORD MIXER_GETLINECONTROLSF_QUERYMASK = 0x0000000F;

// mixerGetControlDetails / mixerSetControlDetails queries.
inline constexpr DWORD MIXER_GETCONTROLDETAILSF_VALUE = 0x00000000;
inline constexpr DWORD MIXER_GETCONTROLDETAILSF_LISTTEXT = 0x00000001;
inline constexpr DWORD MIXER_GETCONTROLDETAILSF_QUERYMASK = 0x0000000F;
inline constexpr DWORD MIXER_SETCONTROLDETAILSF_VALUE = 0x00000000;
/// Ours: the values take effect when the next item cued on the control's line starts to sound,
/// and read as before until then (a mixer that cannot wait answers MMSYSERR_NOTSUPPORTED).
inline constexpr DWORD MIXER_SETCONTROLDETAILSF_ONCUE = 0x0000000E;
inline constexpr DWORD MIXER_SETCONTROLDETAILSF_QUERYMASK = 0x0000000F;

// Line flags (fdwLine).
inline constexpr DWORD MIXERLINE_LINEF_ACTIVE = 0x00000001;
inline constexpr DWORD MIXERLINE_LINEF_DISCONNECTED = 0x00008000;
inline constexpr DWORD MIXERLINE_LINEF_SOURCE = 0x80000000;

// Component types of lines.
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_FIRST = 0x00000000;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_UNDEFINED = 0x00000000;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_DIGITAL = 0x00000001;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_LINE = 0x00000002;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_MONITOR = 0x00000003;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 0x00000004;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_HEADPHONES = 0x00000005;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_TELEPHONE = 0x00000006;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 0x00000007;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_VOICEIN = 0x00000008;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_LAST = 0x00000008;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_FIRST = 0x00001000;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x00001000;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_DIGITAL = 0x00001001;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x00001002;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x00001003;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER = 0x00001004;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC = 0x00001005;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE = 0x00001006;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER = 0x00001007;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x00001008;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY = 0x00001009;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_ANALOG = 0x0000100A;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_LAST = 0x0000100A;

// Target types of lines.
inline constexpr DWORD MIXERLINE_TARGETTYPE_UNDEFINED = 0;
inline constexpr DWORD MIXERLINE_TARGETTYPE_WAVEOUT = 1;
inline constexpr DWORD MIXERLINE_TARGETTYPE_WAVEIN = 2;
inline constexpr DWORD MIXERLINE_TARGETTYPE_MIDIOUT = 3;
inline constexpr DWORD MIXERLINE_TARGETTYPE_MIDIIN = 4;
inline constexpr DWORD MIXERLINE_TARGETTYPE_AUX = 5;

// Control flags (fdwControl).
inline constexpr DWORD MIXERCONTROL_CONTROLF_UNIFORM = 0x00000001;
inline constexpr DWORD MIXERCONTROL_CONTROLF_MULTIPLE = 0x00000002;
inline constexpr DWORD MIXERCONTROL_CONTROLF_DISABLED = 0x80000000;

// Control types: class (top four bits), sub-class, units, then the number within.
inline constexpr DWORD MIXERCONTROL_CT_CLASS_MASK = 0xF0000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_CUSTOM = 0x00000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_METER = 0x10000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_SWITCH = 0x20000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_NUMBER = 0x30000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_SLIDER = 0x40000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_FADER = 0x50000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_TIME = 0x60000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_LIST = 0x70000000;
inline constexpr DWORD MIXERCONTROL_CT_SUBCLASS_MASK = 0x0F000000;
inline constexpr DWORD MIXERCONTROL_CT_UNITS_MASK = 0x00FF0000;
inline constexpr DWORD MIXERCONTROL_CT_UNITS_CUSTOM = 0x00000000;
inline constexpr DWORD MIXERCONTROL_CT_UNITS_BOOLEAN = 0x00010000;
inline constexpr DWORD MIXERCONTROL_CT_UNITS_SIGNED = 0x00020000;
inline constexpr DWORD MIXERCONTROL_CT_UNITS_UNSIGNED = 0x00030000;
inline constexpr DWORD MIXERCONTROL_CT_UNITS_DECIBELS = 0x00040000;
inline constexpr DWORD MIXERCONTROL_CT_UNITS_PERCENT = 0x00050000;

inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_CUSTOM = 0x00000000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_BOOLEANMETER = 0x10010000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_SIGNEDMETER = 0x10020000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_PEAKMETER = 0x10020001;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_UNSIGNEDMETER = 0x10030000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_BOOLEAN = 0x20010000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_ONOFF = 0x20010001;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_MONO = 0x20010003;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_LOUDNESS = 0x20010004;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_STEREOENH = 0x20010005;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_BUTTON = 0x21010000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_SIGNED = 0x30020000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_UNSIGNED = 0x30030000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_DECIBELS = 0x30040000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_PERCENT = 0x30050000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_SLIDER = 0x40020000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_PAN = 0x40020001;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_QSOUNDPAN = 0x40020002;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_FADER = 0x50030000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_BASS = 0x50030002;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_TREBLE = 0x50030003;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_EQUALIZER = 0x50030004;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_MICROTIME = 0x60030000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_MILLITIME = 0x61030000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_SINGLESELECT = 0x70010000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_MUX = 0x70010001;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT = 0x71010000;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_MIXER = 0x71010001;

/// A mixer device's capabilities (48 bytes).
struct MIXERCAPS {
    WORD wMid;                 ///< manufacturer identifier
    WORD wPid;                 ///< product identifier
    MMVERSION vDriverVersion;  ///< major version in the high byte, minor in the low byte
    char szPname[MAXPNAMELEN]; ///< product name, NUL-terminated
    DWORD fdwSupport;          ///< no support flags are defined
    DWORD cDestinations;       ///< number of destination lines
};

/// One line of a mixer: a destination, or a source connected to one (168 bytes). dwUser is
/// 32-bit, as on the 32-bit platform whose layout this is.
struct MIXERLINE {
    DWORD cbStruct;
    DWORD dwDestination;
    DWORD dwSource;
    DWORD dwLineID;
    DWORD fdwLine;
    DWORD dwUser;
    DWORD dwComponentType;
    DWORD cChannels;
    DWORD cConnections; ///< a destination's number of sources; 0 for a source
    DWORD cControls;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
    struct {
        DWORD dwType; ///< MIXERLINE_TARGETTYPE_*
        DWORD dwDeviceID;
        WORD wMid;
        WORD wPid;
        MMVERSION vDriverVersion;
        char szPname[MAXPNAMELEN];
    } Target;
};

/// One control of a line (148 bytes).
struct MIXERCONTROL {
    DWORD cbStruct;
    DWORD dwControlID;
    DWORD dwControlType;
    DWORD fdwControl;
    DWORD cMultipleItems;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
    /// Six words; the first two are the bounds, signed or unsigned by the control's units.
    struct {
        union {
            LONG lMinimum;
            DWORD dwMinimum;
        };
        union {
            LONG lMaximum;
            DWORD dwMaximum;
        };
        DWORD dwReserved[4];
    } Bounds;
    union {
        DWORD cSteps;
        DWORD cbCustomData;
        DWORD dwReserved[6];
    } Metrics;
};

/// A request for the controls of a line.
struct MIXERLINECONTROLS {
    DWORD cbStruct;
    DWORD dwLineID;
    union {
        DWORD dwControlID;
        DWORD dwControlType;
    };
    DWORD cControls; ///< with MIXER_GETLINECONTROLSF_ALL: the line's cControls
    DWORD cbmxctrl;  ///< sizeof(MIXERCONTROL)
    MIXERCONTROL* pamxctrl;
};

/// A request to read or write the values (or item texts) of a control. paDetails holds
/// cChannels × items structures of cbDetails bytes, channel by channel: all items of channel 0,
/// then all items of channel 1 ...
struct MIXERCONTROLDETAILS {
    DWORD cbStruct;
    DWORD dwControlID;
    DWORD cChannels;      ///< 1 for a uniform control (or to treat all channels as one)
    DWORD cMultipleItems; ///< the control's item count for a multiple control; else 0 (or 1)
    DWORD cbDetails;      ///< size of one structure in paDetails
    void* paDetails;
};

struct MIXERCONTROLDETAILS_UNSIGNED {
    DWORD dwValue;
};
struct MIXERCONTROLDETAILS_SIGNED {
    LONG lValue;
};
struct MIXERCONTROLDETAILS_BOOLEAN {
    LONG fValue;
};
/// The text of one item of a list control (72 bytes).
struct MIXERCONTROLDETAILS_LISTTEXT {
    DWORD dwParam1;
    DWORD dwParam2;
    char szName[MIXER_LONG_NAME_CHARS];
};

static_assert(sizeof(MIXERCAPS) == 48);
static_assert(sizeof(MIXERLINE) == 168);
static_assert(sizeof(MIXERCONTROL) == 148);
static_assert(sizeof(MIXERCONTROLDETAILS_LISTTEXT) == 72);
static_assert(sizeof(MIXERCONTROLDETAILS_UNSIGNED) == 4);

/// How many mixer devices are installed.
UINT mixerGetNumDevs();
/// Opens a device. fdwOpen must be CALLBACK_NULL (with MIXER_OBJECTF_MIXER); callback and
/// instance are then ignored. *phmx is null after a failure.
MMRESULT mixerOpen(HMIXER* phmx, UINT uMxId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                   DWORD fdwOpen);
MMRESULT mixerClose(HMIXER hmx);
/// uMxId: a device identifier or a handle. Copies min(cbmxcaps, sizeof(MIXERCAPS)) bytes.
MMRESULT mixerGetDevCaps(UINT_PTR uMxId, MIXERCAPS* pmxcaps, UINT cbmxcaps);
MMRESULT mixerGetLineInfo(HMIXEROBJ hmxobj, MIXERLINE* pmxl, DWORD fdwInfo);
MMRESULT mixerGetLineControls(HMIXEROBJ hmxobj, MIXERLINECONTROLS* pmxlc, DWORD fdwControls);
MMRESULT mixerGetControlDetails(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails);
MMRESULT mixerSetControlDetails(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails);
