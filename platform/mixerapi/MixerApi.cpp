#include "platform/mixerapi/MixerApi.h"

#include "platform/mixerapi/MixerDevice.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace {

// Handles count up from here, so that no handle is ever below a device identifier.
constexpr UINT_PTR kFirstHandle = 0x10000;
constexpr std::size_t kMaxDevices = 0x1000;

struct OpenMixer {
    std::shared_ptr<MixerDevice> device;
};

struct Table {
    std::mutex mutex;
    MixerDevices devices;
    std::map<UINT_PTR, OpenMixer> handles;
    UINT_PTR nextHandle = kFirstHandle;
};

// Never destroyed: the platform outlives the program's own process-wide objects, whose
// destructors still close their handles after main has returned.
Table& table() {
    static Table* t = new Table;
    return *t;
}

struct Resolved {
    MMRESULT result = MMSYSERR_NOERROR;
    std::shared_ptr<MixerDevice> device;
};

Resolved resolveLocked(Table& t, UINT_PTR value, bool handleOnly) {
    if (!handleOnly && value < t.devices.size()) {
        return {MMSYSERR_NOERROR, t.devices[value]};
    }
    if (auto it = t.handles.find(value); it != t.handles.end()) {
        return {MMSYSERR_NOERROR, it->second.device};
    }
    if (!handleOnly && value < kFirstHandle) {
        return {MMSYSERR_BADDEVICEID, nullptr};
    }
    return {MMSYSERR_INVALHANDLE, nullptr};
}

// Resolves the object of a mixer call and checks the object-type part of its flags. The device
// is called after the table's lock is released, so a slow device never holds up the others.
Resolved resolve(HMIXEROBJ object, DWORD flags) {
    const DWORD type = flags & MIXER_OBJECTF_TYPEMASK;
    if (type != MIXER_OBJECTF_MIXER && type != MIXER_OBJECTF_HMIXER) {
        return {MMSYSERR_INVALFLAG, nullptr};
    }
    Table& t = table();
    std::lock_guard lock(t.mutex);
    return resolveLocked(t, reinterpret_cast<UINT_PTR>(object), type == MIXER_OBJECTF_HMIXER);
}

bool unknownBits(DWORD flags, DWORD queryMask) {
    return (flags & ~(queryMask | MIXER_OBJECTF_TYPEMASK)) != 0;
}

} // namespace

MixerDevices InstallMixerDevices(MixerDevices devices) {
    if (devices.size() > kMaxDevices) {
        devices.resize(kMaxDevices);
    }
    Table& t = table();
    std::lock_guard lock(t.mutex);
    t.handles.clear();
    std::swap(t.devices, devices);
    return devices;
}

UINT mixerGetNumDevs() {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    return static_cast<UINT>(t.devices.size());
}

MMRESULT mixerOpen(HMIXER* phmx, UINT uMxId, DWORD_PTR, DWORD_PTR, DWORD fdwOpen) {
    if (phmx == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *phmx = nullptr;
    if (fdwOpen != (CALLBACK_NULL | MIXER_OBJECTF_MIXER)) {
        return MMSYSERR_INVALFLAG;
    }
    std::shared_ptr<MixerDevice> device;
    {
        Table& t = table();
        std::lock_guard lock(t.mutex);
        if (uMxId >= t.devices.size()) {
            return MMSYSERR_BADDEVICEID;
        }
        device = t.devices[uMxId];
    }
    if (const MMRESULT result = device->Open(); result != MMSYSERR_NOERROR) {
        return result;
    }
    Table& t = table();
    std::lock_guard lock(t.mutex);
    if (uMxId >= t.devices.size() || t.devices[uMxId] != device) {
        return MMSYSERR_NODRIVER; // replaced while it was opening
    }
    const UINT_PTR handle = t.nextHandle++;
    t.handles.emplace(handle, OpenMixer{device});
    *phmx = reinterpret_cast<HMIXER>(handle);
    return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER hmx) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    return t.handles.erase(reinterpret_cast<UINT_PTR>(hmx)) == 1 ? MMSYSERR_NOERROR
                                                                 : MMSYSERR_INVALHANDLE;
}

MMRESULT mixerGetDevCaps(UINT_PTR uMxId, MIXERCAPS* pmxcaps, UINT cbmxcaps) {
    if (pmxcaps == nullptr || cbmxcaps == 0) {
        return MMSYSERR_INVALPARAM;
    }
    const Resolved r = resolve(reinterpret_cast<HMIXEROBJ>(uMxId), MIXER_OBJECTF_MIXER);
    if (r.result != MMSYSERR_NOERROR) {
        return r.result;
    }
    MIXERCAPS caps{};
    const MMRESULT result = r.device->GetDevCaps(caps);
    if (result == MMSYSERR_NOERROR) {
        std::memcpy(pmxcaps, &caps, std::min<std::size_t>(cbmxcaps, sizeof caps));
    }
    return result;
}

MMRESULT mixerGetLineInfo(HMIXEROBJ hmxobj, MIXERLINE* pmxl, DWORD fdwInfo) {
    if (pmxl == nullptr || pmxl->cbStruct != sizeof(MIXERLINE)) {
        return MMSYSERR_INVALPARAM;
    }
    const DWORD query = fdwInfo & MIXER_GETLINEINFOF_QUERYMASK;
    if (unknownBits(fdwInfo, MIXER_GETLINEINFOF_QUERYMASK) ||
        query > MIXER_GETLINEINFOF_COMPONENTTYPE) {
        return MMSYSERR_INVALFLAG;
    }
    const Resolved r = resolve(hmxobj, fdwInfo);
    return r.result != MMSYSERR_NOERROR ? r.result : r.device->GetLineInfo(*pmxl, query);
}

MMRESULT mixerGetLineControls(HMIXEROBJ hmxobj, MIXERLINECONTROLS* pmxlc, DWORD fdwControls) {
    if (pmxlc == nullptr || pmxlc->cbStruct != sizeof(MIXERLINECONTROLS) ||
        pmxlc->cbmxctrl != sizeof(MIXERCONTROL) || pmxlc->pamxctrl == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    const DWORD query = fdwControls & MIXER_GETLINECONTROLSF_QUERYMASK;
    if (unknownBits(fdwControls, MIXER_GETLINECONTROLSF_QUERYMASK) ||
        query != MIXER_GETLINECONTROLSF_ALL) {
        return MMSYSERR_INVALFLAG;
    }
    const Resolved r = resolve(hmxobj, fdwControls);
    return r.result != MMSYSERR_NOERROR ? r.result : r.device->GetLineControls(*pmxlc, query);
}

MMRESULT mixerGetControlDetails(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails) {
    if (pmxcd == nullptr || pmxcd->cbStruct != sizeof(MIXERCONTROLDETAILS) ||
        pmxcd->paDetails == nullptr || pmxcd->cbDetails == 0) {
        return MMSYSERR_INVALPARAM;
    }
    const DWORD query = fdwDetails & MIXER_GETCONTROLDETAILSF_QUERYMASK;
    if (unknownBits(fdwDetails, MIXER_GETCONTROLDETAILSF_QUERYMASK) ||
        query > MIXER_GETCONTROLDETAILSF_LISTTEXT) {
        return MMSYSERR_INVALFLAG;
    }
    const Resolved r = resolve(hmxobj, fdwDetails);
    return r.result != MMSYSERR_NOERROR ? r.result : r.device->GetControlDetails(*pmxcd, query);
}

MMRESULT mixerSetControlDetails(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails) {
    if (pmxcd == nullptr || pmxcd->cbStruct != sizeof(MIXERCONTROLDETAILS) ||
        pmxcd->paDetails == nullptr || pmxcd->cbDetails == 0) {
        return MMSYSERR_INVALPARAM;
    }
    const DWORD query = fdwDetails & MIXER_SETCONTROLDETAILSF_QUERYMASK;
    if (unknownBits(fdwDetails, MIXER_SETCONTROLDETAILSF_QUERYMASK) ||
        (query != MIXER_SETCONTROLDETAILSF_VALUE && query != MIXER_SETCONTROLDETAILSF_ONCUE)) {
        return MMSYSERR_INVALFLAG;
    }
    const Resolved r = resolve(hmxobj, fdwDetails);
    return r.result != MMSYSERR_NOERROR ? r.result : r.device->SetControlDetails(*pmxcd, query);
}
