#include "model/MoxAudioItem.h"

#include "model/MoxItemDevice.h"
#include "model/MoxVolumeFader.h"
#include "platform/classlib/CArchive.h"

QUILLON_IMPLEMENT_SERIAL(MoxAudioItem, MoxObject, 1)

MoxAudioItem::MoxAudioItem(LONG kind, MoxItemOutput output, const std::string& name)
    : MoxObject(kind)
    , m_output(output) {
    SetName(name);
}

void MoxAudioItem::Serialize(CArchive& ar) {
    MoxObject::Serialize(ar);
    if (ar.IsStoring()) {
        ar << m_reservedB << m_volume;
    } else {
        ar >> m_reservedB >> m_volume;
    }
}

bool MoxAudioItem::PlayOnOutput() {
    if (m_output.fader != nullptr) {
        m_output.fader->ApplyVolume(m_volume);
    }
    return m_output.device != nullptr && m_output.device->Play(GetName());
}

void MoxAudioItem::StopOnOutput() {
    if (m_output.device != nullptr) {
        m_output.device->Stop();
    }
}

bool MoxAudioItem::CanCueAfter(const MoxAudioItem& after) const {
    return m_output.device != nullptr && after.m_output.device != nullptr &&
           m_output.device->CanCue() && after.m_output.device->CanCue();
}

bool MoxAudioItem::Cue(MoxAudioItem& after) {
    if (!CanCueAfter(after)) {
        return false;
    }
    if (m_output.fader != nullptr) {
        m_output.fader->ApplyVolumeOnCue(m_volume);
    }
    return m_output.device->Cue(GetName(), *after.m_output.device);
}

void MoxAudioItem::Uncue() {
    if (m_output.device != nullptr) {
        m_output.device->Uncue();
    }
}

void MoxAudioItem::TakeOver(MoxAudioItem& previous) {
    if (&previous != this) {
        // Its own player closes what ended (keeping its cues), or this player does below.
        if (previous.m_output.device != m_output.device && previous.m_output.device != nullptr) {
            previous.m_output.device->Finish();
        }
        previous.SetStarted(false);
    }
    if (m_output.device != nullptr) {
        m_output.device->Promote();
    }
    SetStarted(true);
}
