#include "mixer/CMixer.h"

#include "mixer/CMixerCapabilities.h"
#include "mixer/CMixerControl.h"
#include "mixer/CMixerControlDetailsData.h"
#include "mixer/CMixerLine.h"
#include "mixer/MixerText.h"
#include "platform/classlib/CArchive.h"

#include <algorithm>
#include <new>

// Every use of the mixer layer goes through this class, so this file is always linked; naming
// the record classes here pulls their files in too, and all of them can be created by name.
static const CRuntimeClassRegistration kMixerClasses[] = {
    CRuntimeClassRegistration(RUNTIME_CLASS(CMixerLine)),
    CRuntimeClassRegistration(RUNTIME_CLASS(CMixerCapabilities)),
    CRuntimeClassRegistration(RUNTIME_CLASS(CMixerControl)),
    CRuntimeClassRegistration(RUNTIME_CLASS(CMixerControlDetailsData)),
};

namespace {

/// A zeroed platform buffer of `count` elements that is zeroed again before it is released.
template <typename T>
class PlatformBuffer {
public:
    /// False when the buffer could not be had (too large, or out of memory).
    bool Allocate(std::size_t count) {
        if (count > CMixer::maxBufferBytes / sizeof(T)) {
            return false;
        }
        try {
            m_items.assign(count, T{});
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    ~PlatformBuffer() { std::fill(m_items.begin(), m_items.end(), T{}); }

    T* data() { return m_items.data(); }
    std::size_t size() const { return m_items.size(); }
    T& operator[](std::size_t i) { return m_items[i]; }

private:
    std::vector<T> m_items;
};

bool handledUnits(DWORD units) {
    switch (units) {
    case MIXERCONTROL_CT_UNITS_BOOLEAN:
    case MIXERCONTROL_CT_UNITS_SIGNED:
    case MIXERCONTROL_CT_UNITS_DECIBELS:
    case MIXERCONTROL_CT_UNITS_UNSIGNED:
    case MIXERCONTROL_CT_UNITS_PERCENT:
        return true;
    default:
        return false;
    }
}

/// How many values a read or write of the control carries.
struct ValueShape {
    DWORD channels;
    DWORD items; // as sent to the platform, possibly 0
    std::size_t count;
};

ValueShape valueShape(const CMixerLine& line, const CMixerControl& control) {
    ValueShape shape{line.GetChannelCount(), control.GetMultipleItemCount(), 0};
    if (control.IsUniform()) {
        shape.channels = 1;
        shape.items = control.IsBoolean() ? 0 : 1;
    }
    if (control.IsMultiple()) {
        shape.items = control.GetMultipleItemCount();
    }
    shape.count = std::size_t{shape.channels} * std::max<DWORD>(shape.items, 1);
    return shape;
}

/// A request for the details of a control (values or list texts), `channels` × `items`
/// elements of `elementSize` bytes in `data`.
MIXERCONTROLDETAILS detailsRequest(const CMixerControl& control, DWORD channels, DWORD items,
                                   DWORD elementSize, void* data) {
    MIXERCONTROLDETAILS request{};
    request.cbStruct = sizeof request;
    request.dwControlID = control.GetControlId();
    request.cChannels = channels;
    request.cMultipleItems = items;
    request.cbDetails = elementSize;
    request.paDetails = data;
    return request;
}

template <typename T>
std::unique_ptr<T> tryCreate() {
    try {
        return std::make_unique<T>();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

} // namespace

CMixer::~CMixer() {
    if (m_handle != nullptr) {
        CMixer::Close();
    }
}

void CMixer::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << DWORD{m_deviceId};
    } else {
        DWORD deviceId = 0;
        ar >> deviceId;
        Open(deviceId, 0, 0, 0);
    }
}

bool CMixer::Close() {
    m_lastResult = mixerClose(m_handle);
    m_handle = nullptr;
    return m_lastResult == MMSYSERR_NOERROR;
}

bool CMixer::GetDevCaps(CMixerCapabilities& caps) {
    MIXERCAPS platformCaps{};
    m_lastResult = mixerGetDevCaps(m_deviceId, &platformCaps, sizeof platformCaps);
    if (m_lastResult != MMSYSERR_NOERROR) {
        caps.Reset();
        return false;
    }
    caps.Set(platformCaps);
    return true;
}

bool CMixer::GetLineControls(const CMixerLine& line, Controls& controls) {
    controls.clear();
    PlatformBuffer<MIXERCONTROL> buffer;
    if (!buffer.Allocate(line.GetControlCount())) {
        m_lastResult = MMSYSERR_NOMEM;
        return false;
    }
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        buffer[i].cbStruct = sizeof(MIXERCONTROL);
    }
    MIXERLINECONTROLS request{};
    request.cbStruct = sizeof request;
    request.dwLineID = line.GetLineId();
    request.cControls = line.GetControlCount();
    request.cbmxctrl = sizeof(MIXERCONTROL);
    request.pamxctrl = buffer.data();
    m_lastResult = mixerGetLineControls(MixerObjectFromId(m_deviceId), &request,
                                        MIXER_OBJECTF_MIXER | MIXER_GETLINECONTROLSF_ALL);
    if (m_lastResult != MMSYSERR_NOERROR) {
        return false;
    }
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        std::unique_ptr<CMixerControl> control = tryCreate<CMixerControl>();
        if (control == nullptr) {
            m_lastResult = MMSYSERR_NOMEM;
            continue;
        }
        control->Set(buffer[i]);
        controls.push_back(std::move(control));
    }
    return true;
}

namespace {

MMRESULT lineInfo(UINT deviceId, MIXERLINE& request, DWORD query, CMixerLine& line) {
    request.cbStruct = sizeof request;
    const MMRESULT result =
        mixerGetLineInfo(MixerObjectFromId(deviceId), &request, MIXER_OBJECTF_MIXER | query);
    if (result == MMSYSERR_NOERROR) {
        line.Set(request);
    }
    return result;
}

} // namespace

bool CMixer::GetLineInfoByComponentType(DWORD componentType, CMixerLine& line) {
    MIXERLINE request{};
    request.dwComponentType = componentType;
    m_lastResult = lineInfo(m_deviceId, request, MIXER_GETLINEINFOF_COMPONENTTYPE, line);
    return m_lastResult == MMSYSERR_NOERROR;
}

bool CMixer::GetLineInfoBySource(DWORD destination, DWORD source, CMixerLine& line) {
    MIXERLINE request{};
    request.dwDestination = destination;
    request.dwSource = source;
    m_lastResult = lineInfo(m_deviceId, request, MIXER_GETLINEINFOF_SOURCE, line);
    return m_lastResult == MMSYSERR_NOERROR;
}

bool CMixer::GetLineInfoByDestination(DWORD destination, CMixerLine& line) {
    MIXERLINE request{};
    request.dwDestination = destination;
    m_lastResult = lineInfo(m_deviceId, request, MIXER_GETLINEINFOF_DESTINATION, line);
    return m_lastResult == MMSYSERR_NOERROR;
}

bool CMixer::GetLineInfoByLineId(DWORD lineId, CMixerLine& line) {
    MIXERLINE request{};
    request.dwLineID = lineId;
    m_lastResult = lineInfo(m_deviceId, request, MIXER_GETLINEINFOF_LINEID, line);
    return m_lastResult == MMSYSERR_NOERROR;
}

bool CMixer::GetControlDetails(const CMixerLine& line, const CMixerControl& control,
                               DetailsList& values) {
    values.clear();
    const DWORD units = control.GetUnits();
    if (!handledUnits(units)) {
        return false;
    }
    const ValueShape shape = valueShape(line, control);
    PlatformBuffer<DWORD> buffer;
    if (!buffer.Allocate(shape.count)) {
        m_lastResult = MMSYSERR_NOMEM;
        return false;
    }
    MIXERCONTROLDETAILS request =
        detailsRequest(control, shape.channels, shape.items, sizeof(DWORD), buffer.data());
    m_lastResult = mixerGetControlDetails(MixerObjectFromHandle(m_handle), &request,
                                          MIXER_OBJECTF_MIXER | MIXER_GETCONTROLDETAILSF_VALUE);
    if (m_lastResult != MMSYSERR_NOERROR) {
        return false;
    }
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        std::unique_ptr<CMixerControlDetailsData> value = tryCreate<CMixerControlDetailsData>();
        if (value == nullptr) {
            continue;
        }
        if (units == MIXERCONTROL_CT_UNITS_BOOLEAN) {
            value->SetBoolean({static_cast<LONG>(buffer[i])});
        } else if (units == MIXERCONTROL_CT_UNITS_SIGNED ||
                   units == MIXERCONTROL_CT_UNITS_DECIBELS) {
            value->SetSigned({static_cast<LONG>(buffer[i])});
        } else {
            value->SetUnsigned({buffer[i]});
        }
        values.push_back(std::move(value));
    }
    return true;
}

bool CMixer::GetControlListText(const CMixerLine& line, const CMixerControl& control,
                                DetailsList& texts) {
    texts.clear();
    if (!control.IsList()) {
        return false;
    }
    DWORD items = control.IsUniform() ? 1 : control.GetMultipleItemCount();
    if (control.IsMultiple()) {
        items = control.GetMultipleItemCount();
    }
    const DWORD channels = control.IsUniform() ? 1 : line.GetChannelCount();
    PlatformBuffer<MIXERCONTROLDETAILS_LISTTEXT> buffer;
    if (!buffer.Allocate(std::size_t{channels} * items)) {
        m_lastResult = MMSYSERR_NOMEM;
        return false;
    }
    MIXERCONTROLDETAILS request = detailsRequest(
        control, channels, items, sizeof(MIXERCONTROLDETAILS_LISTTEXT), buffer.data());
    m_lastResult = mixerGetControlDetails(MixerObjectFromId(m_deviceId), &request,
                                          MIXER_OBJECTF_MIXER | MIXER_GETCONTROLDETAILSF_LISTTEXT);
    if (m_lastResult != MMSYSERR_NOERROR) {
        return false;
    }
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        std::unique_ptr<CMixerControlDetailsData> text = tryCreate<CMixerControlDetailsData>();
        if (text == nullptr) {
            continue;
        }
        text->SetListText(buffer[i]);
        texts.push_back(std::move(text));
    }
    return true;
}

UINT CMixer::GetDeviceId() const {
    return m_deviceId;
}

MMRESULT CMixer::GetLastResult() const {
    return m_lastResult;
}

void CMixer::GetErrorText(std::string& text) const {
    text = ErrorText(m_lastResult);
}

HMIXER CMixer::GetHandle() const {
    return m_handle;
}

UINT CMixer::GetNumDevs() const {
    return mixerGetNumDevs();
}

bool CMixer::Open(UINT deviceId, DWORD flags, DWORD_PTR callback, DWORD_PTR instance) {
    HMIXER opened = nullptr;
    m_lastResult = mixerOpen(&opened, deviceId, callback, instance, flags);
    if (m_lastResult != MMSYSERR_NOERROR) {
        return false;
    }
    if (m_handle != nullptr) {
        mixerClose(m_handle); // re-opened: the old handle would otherwise be lost
    }
    m_handle = opened;
    m_deviceId = deviceId;
    return true;
}

bool CMixer::SetControlDetails(const CMixerLine& line, const CMixerControl& control,
                               std::span<const CMixerControlDetailsData* const> values,
                               bool onCue) {
    if (!handledUnits(control.GetUnits())) {
        return false;
    }
    const ValueShape shape = valueShape(line, control);
    PlatformBuffer<DWORD> buffer;
    if (!buffer.Allocate(shape.count)) {
        m_lastResult = MMSYSERR_NOMEM;
        return false;
    }
    MIXERCONTROLDETAILS request =
        detailsRequest(control, shape.channels, shape.items, sizeof(DWORD), buffer.data());
    const HMIXEROBJ object = MixerObjectFromHandle(m_handle);

    bool complete = values.size() >= shape.count;
    for (std::size_t i = 0; complete && i < shape.count; ++i) {
        complete = values[i] != nullptr;
    }
    if (!complete) {
        // Words the caller did not supply keep the control's current values; sending zeros
        // would silence channels nobody asked to change.
        m_lastResult = mixerGetControlDetails(object, &request,
                                              MIXER_OBJECTF_MIXER | MIXER_GETCONTROLDETAILSF_VALUE);
        if (m_lastResult != MMSYSERR_NOERROR) {
            return false;
        }
    }
    for (std::size_t i = 0; i < shape.count && i < values.size(); ++i) {
        if (values[i] != nullptr) {
            const DWORD value = values[i]->GetValue();
            buffer[i] = control.IsBoolean() ? (value != 0 ? 1 : 0) : value;
        }
    }
    m_lastResult =
        mixerSetControlDetails(object, &request,
                               MIXER_OBJECTF_MIXER | (onCue ? MIXER_SETCONTROLDETAILSF_ONCUE
                                                            : MIXER_SETCONTROLDETAILSF_VALUE));
    return m_lastResult == MMSYSERR_NOERROR;
}

std::string CMixer::ErrorText(MMRESULT result) {
    struct CodeText {
        MMRESULT code;
        const char* text;
    };
    static const CodeText texts[] = {
        {MMSYSERR_NOERROR, "No Error"},
        {MMSYSERR_ERROR, "Unspecified Error"},
        {MMSYSERR_BADDEVICEID, "Device ID out of range"},
        {MMSYSERR_NOTENABLED, "Driver failed enable"},
        {MMSYSERR_ALLOCATED, "Device already allocated"},
        {MMSYSERR_INVALHANDLE, "Device handle is invalid"},
        {MMSYSERR_NODRIVER, "No device driver present"},
        {MMSYSERR_NOMEM, "Memory allocation error"},
        {MMSYSERR_NOTSUPPORTED, "Function is not supported"},
        {MMSYSERR_BADERRNUM, "Error value out of range"},
        {MMSYSERR_INVALFLAG, "Invalid flag passed"},
        {MMSYSERR_INVALPARAM, "Invalid parameter passed"},
        {MMSYSERR_HANDLEBUSY, "Handle being used simultaneously on another thread (or callback)"},
        {MMSYSERR_INVALIDALIAS, "Specified alias not found"},
        {MMSYSERR_BADDB, "Bad registry database"},
        {MMSYSERR_KEYNOTFOUND, "Registry key not found"},
        {MMSYSERR_READERROR, "Registry read error"},
        {MMSYSERR_WRITEERROR, "Registry write error"},
        {MMSYSERR_DELETEERROR, "Registry delete error"},
        {MMSYSERR_VALNOTFOUND, "Registry value not found"},
        {MMSYSERR_NODRIVERCB, "Driver does not call DriverCallback"},
        {WAVERR_BADFORMAT, "Unsupported Wave format"},
        {WAVERR_STILLPLAYING, "Wave is still playing"},
        {WAVERR_UNPREPARED, "Wave header not prepared"},
        {WAVERR_SYNC, "Wave device is synchronous"},
        {MIDIERR_UNPREPARED, "MIDI header not prepared"},
        {MIDIERR_STILLPLAYING, "MIDI is still playing"},
        {MIDIERR_NOMAP, "MIDI has no configured instruments"},
        {MIDIERR_NOTREADY, "MIDI hardware is still busy"},
        {MIDIERR_NODEVICE, "MIDI port no longer connected"},
        {MIDIERR_INVALIDSETUP, "MIDI invalid MIF"},
        {MIDIERR_BADOPENMODE, "MIDI operation unsupported with open mode"},
        {MIDIERR_DONT_CONTINUE, "MIDI through device is eating a message"},
        {TIMERR_NOCANDO, "Timer request not completed"},
        {TIMERR_STRUCT, "Timer structure size error"},
        {JOYERR_PARMS, "Joystick bad parameters"},
        {JOYERR_NOCANDO, "Joystick request not completed"},
        {JOYERR_UNPLUGGED, "Joystick is unplugged"},
        {MIXERR_INVALLINE, "Mixer invalid line"},
        {MIXERR_INVALCONTROL, "Mixer invalid control"},
        {MIXERR_INVALVALUE, "Mixer invalid value"},
    };
    for (const CodeText& t : texts) {
        if (t.code == result) {
            return t.text;
        }
    }
    return UnknownMixerText(result);
}
