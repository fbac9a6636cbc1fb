#include "model/MoxPlayListPlayer.h"

#include "model/MoxPlayList.h"
#include "model/MoxPlayerObserver.h"

#include <algorithm>

namespace {

// The completion notice codes, as the media command layer posts them.
constexpr WPARAM kNotifySuccessful = 0x0001;
constexpr WPARAM kNotifyFailure = 0x0008;

} // namespace

MoxPlayListPlayer::MoxPlayListPlayer() {
    CreateWorkerThread();
}

MoxPlayListPlayer::~MoxPlayListPlayer() {
    Stop();
    Shutdown();
}

void MoxPlayListPlayer::SetPlayList(MoxPlayList* playList) {
    m_playList = playList;
    m_newList = true;
}

void MoxPlayListPlayer::Start() {
    if (m_playList == nullptr || !IsThreadRunning()) {
        return; // nobody would answer
    }
    State expected = State::idle;
    if (!m_state.compare_exchange_strong(expected, State::playing)) {
        return;
    }
    m_go.Set();
    m_acknowledge.Wait();
}

void MoxPlayListPlayer::Stop() {
    State expected = State::playing;
    if (!m_state.compare_exchange_strong(expected, State::stopping)) {
        return; // idle, or the list has just played out
    }
    m_itemFinished.Set();
    m_acknowledge.Wait();
}

void MoxPlayListPlayer::SetHeartbeat(std::function<void()> beat,
                                     std::chrono::milliseconds interval) {
    m_beat = std::move(beat);
    m_beatInterval = std::max(interval, std::chrono::milliseconds(1));
}

void MoxPlayListPlayer::ItemFinished() {
    m_itemFinished.Set();
}

void MoxPlayListPlayer::OnCompletionNotice(WPARAM noticeCode) {
    if (noticeCode == kNotifySuccessful || noticeCode == kNotifyFailure) {
        ItemFinished();
    }
}

void MoxPlayListPlayer::Wake() {
    m_go.Set();
    m_itemFinished.Set(); // in case the worker waits on an item
}

bool MoxPlayListPlayer::KeepPlaying() const {
    return m_terminate.load() == 0 && m_state.load() == State::playing;
}

void MoxPlayListPlayer::Run() {
    SignalStarted();
    for (;;) {
        if (m_terminate.load() != 0) {
            return;
        }
        m_go.Wait();
        if (m_terminate.load() > 0) {
            return;
        }
        if (m_newList.exchange(false)) {
            m_itemCount = m_playList->GetCount();
            m_listLoopCount = m_playList->GetLoopCount();
        }
        m_nextBeat = std::chrono::steady_clock::now();
        m_acknowledge.Set(); // releases Start

        if (m_listLoopCount == 0xFFFFFFFF) {
            while (KeepPlaying()) {
                PlayOnce(m_itemCount);
            }
        } else {
            for (DWORD pass = 0; KeepPlaying() && pass < m_listLoopCount; ++pass) {
                PlayOnce(m_itemCount);
            }
        }
        FinishPlaying();
    }
}

void MoxPlayListPlayer::PlayOnce(DWORD itemCount) {
    bool anyStarted = false;
    for (DWORD index = 0; KeepPlaying() && index < itemCount; ++index) {
        m_playList->SetCurrent(index);
        const DWORD repetitions = m_playList->GetCurrentLoopCount();
        for (DWORD repetition = 0; repetition < repetitions; ++repetition) {
            // Forget any end signal that belongs to an earlier item or an earlier start; a
            // Stop that comes after this point is still seen, by the check or by the wait.
            m_itemFinished.Reset();
            if (!KeepPlaying()) {
                break;
            }
            BeatIfDue();
            const bool started = m_playList->PlayCurrent();
            if (m_observer != nullptr) {
                if (const MoxAudioItem* item = m_playList->ItemAt(index)) {
                    m_observer->OnItemPlayed(*item, index, repetition, started);
                }
            }
            if (started) {
                anyStarted = true;
                WaitBeating(m_itemFinished, std::nullopt);
            }
            m_playList->StopCurrent();
            if (!started) {
                break; // a missing file or a broken device: go on with the next item
            }
        }
    }
    if (!anyStarted && KeepPlaying()) {
        WaitBeating(m_itemFinished, idlePassPause);
    }
}

void MoxPlayListPlayer::FinishPlaying() {
    State expected = State::playing;
    if (m_state.compare_exchange_strong(expected, State::idle)) {
        return; // played out by itself: nobody waits
    }
    m_state = State::idle;
    m_acknowledge.Set(); // releases Stop
}

bool MoxPlayListPlayer::WaitBeating(MoxEvent& event,
                                    std::optional<std::chrono::milliseconds> timeout) {
    if (!m_beat) {
        return timeout ? event.WaitFor(*timeout) : event.Wait();
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = timeout ? Clock::now() + *timeout : Clock::time_point::max();
    for (;;) {
        BeatIfDue();
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            return false;
        }
        const auto slice =
            std::chrono::ceil<std::chrono::milliseconds>(std::min(deadline, m_nextBeat) - now);
        if (event.WaitFor(std::max(slice, std::chrono::milliseconds(0)))) {
            return true;
        }
    }
}

void MoxPlayListPlayer::BeatIfDue() {
    if (!m_beat) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= m_nextBeat) {
        m_nextBeat = now + m_beatInterval;
        m_beat();
    }
}
