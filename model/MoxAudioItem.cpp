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
