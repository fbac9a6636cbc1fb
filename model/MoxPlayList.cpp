#include "model/MoxPlayList.h"

#include "model/MoxCD.h"
#include "model/MoxItemDevice.h"
#include "model/MoxLockGuard.h"
#include "model/MoxMid.h"
#include "model/MoxWav.h"
#include "platform/classlib/CArchive.h"
#include "platform/classlib/CException.h"
#include "platform/classlib/CFile.h"

QUILLON_IMPLEMENT_SERIAL(MoxPlayList, MoxObject, 1)

namespace {

bool ready(const MoxItemOutput& output) {
    return output.device != nullptr && output.device->IsReady();
}

} // namespace

MoxPlayList::MoxPlayList()
    : MoxPlayList(MoxItemOutputs{}) {}

MoxPlayList::MoxPlayList(const MoxItemOutputs& outputs)
    : MoxObject(kindPlayList)
    , m_outputs(outputs) {
    SetLoopCount(1);
    SetReservedA(0);
}

MoxPlayList::~MoxPlayList() {
    StopCued();
    StopCurrent();
    MoxLockGuard guard(m_lock);
    m_current = nullptr;
    m_items.clear(); // each item stops itself as it goes
}

bool MoxPlayList::Add(std::unique_ptr<MoxAudioItem> item) {
    MoxLockGuard guard(m_lock);
    if (item == nullptr) {
        return false;
    }
    const std::size_t before = m_items.size();
    m_items.push_back(std::move(item));
    return m_items.size() > before;
}

MoxAudioItem* MoxPlayList::ItemAt(DWORD index) {
    MoxLockGuard guard(m_lock);
    return index < m_items.size() ? m_items[index].get() : nullptr;
}

DWORD MoxPlayList::GetCount() {
    MoxLockGuard guard(m_lock);
    m_cachedCount = static_cast<DWORD>(m_items.size());
    return m_cachedCount;
}

void MoxPlayList::SetCurrent(DWORD index) {
    MoxLockGuard guard(m_lock);
    // Callers pass only valid indexes; an invalid one leaves no current item rather than a
    // dangling one.
    m_current = index < m_items.size() ? m_items[index].get() : nullptr;
}

DWORD MoxPlayList::GetCurrentLoopCount() {
    MoxLockGuard guard(m_lock);
    return m_current == nullptr ? 0 : m_current->GetLoopCount();
}

bool MoxPlayList::PlayCurrent() {
    MoxLockGuard guard(m_lock);
    if (m_current == nullptr || m_playing) {
        return false;
    }
    m_playing = true;
    return m_current->Play();
}

void MoxPlayList::StopCurrent() {
    MoxLockGuard guard(m_lock);
    if (m_current != nullptr && m_playing) {
        m_playing = false;
        m_current->Stop();
    }
}

DWORD MoxPlayList::GetLoopCountAt(DWORD index) {
    MoxLockGuard guard(m_lock);
    return index < m_items.size() ? m_items[index]->GetLoopCount() : 0;
}

bool MoxPlayList::CanCueItem(DWORD index) {
    MoxLockGuard guard(m_lock);
    return m_current != nullptr && m_playing && index < m_items.size() &&
           m_items[index]->CanCueAfter(m_cued.empty() ? *m_current : *m_cued.back());
}

bool MoxPlayList::CueItem(DWORD index) {
    MoxLockGuard guard(m_lock);
    if (m_current == nullptr || !m_playing || index >= m_items.size()) {
        return false;
    }
    MoxAudioItem* item = m_items[index].get();
    if (!item->Cue(m_cued.empty() ? *m_current : *m_cued.back())) {
        return false;
    }
    m_cued.push_back(item);
    return true;
}

std::size_t MoxPlayList::CuedCount() {
    MoxLockGuard guard(m_lock);
    return m_cued.size();
}

void MoxPlayList::StopCued() {
    MoxLockGuard guard(m_lock);
    while (!m_cued.empty()) {
        m_cued.back()->Uncue();
        m_cued.pop_back();
    }
}

bool MoxPlayList::TakeCued() {
    MoxLockGuard guard(m_lock);
    if (m_cued.empty() || m_current == nullptr || !m_playing) {
        return false;
    }
    MoxAudioItem* next = m_cued.front();
    m_cued.pop_front();
    next->TakeOver(*m_current);
    m_current = next;
    return true;
}

void MoxPlayList::Serialize(CArchive& ar) {
    MoxObject::Serialize(ar);
    if (ar.IsStoring()) {
        ar << GetCount();
        MoxLockGuard guard(m_lock);
        for (const auto& item : m_items) {
            item->Serialize(ar);
        }
        return;
    }
    ar >> m_cachedCount;
    // A damaged count must not make the loader run on for billions of records.
    if (m_cachedCount > ar.GetBytesLeft() / minRecordBytes) {
        throw CArchiveException(CArchiveException::badIndex,
                                ar.GetFile() == nullptr ? std::string()
                                                        : ar.GetFile()->GetFilePath(),
                                "It announces " + std::to_string(m_cachedCount) +
                                    " item records, more than its remaining " +
                                    std::to_string(ar.GetBytesLeft()) + " bytes can hold.");
    }
    for (DWORD i = 0; i < m_cachedCount; ++i) {
        LoadItem(ar);
    }
}

int MoxPlayList::LoadItem(CArchive& ar) {
    // Every field is read whatever the kind, so the stream stays in step.
    LONG kind = 0;
    std::string name;
    std::string title;
    DWORD loopCount = 0;
    DWORD reservedA = 0;
    DWORD reservedB = 0;
    DWORD volume = 0;
    ar >> kind >> name >> loopCount >> reservedA >> title >> reservedB >> volume;

    std::unique_ptr<MoxAudioItem> item;
    if (kind == kindMidi && ready(m_outputs.midi)) {
        item = std::make_unique<MoxMid>(m_outputs.midi, name);
    } else if (kind == kindWave && ready(m_outputs.wave)) {
        item = std::make_unique<MoxWav>(m_outputs.wave, name);
    } else if (kind == kindCD && ready(m_outputs.cd)) {
        item = std::make_unique<MoxCD>(m_outputs.cd, name);
    }
    if (item == nullptr) {
        return 0;
    }
    item->SetLoopCount(loopCount);
    item->SetReservedA(reservedA);
    item->SetName(name);
    item->SetTitle(title);
    item->SetReservedB(reservedB);
    item->SetVolume(volume);
    return Add(std::move(item)) ? 1 : 0;
}
