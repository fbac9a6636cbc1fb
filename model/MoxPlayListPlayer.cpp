#include "model/MoxPlayListPlayer.h"

#include "model/MoxPlayList.h"
#include "model/MoxPlayerObserver.h"

#include <algorithm>

namespace {

// The notice codes, as the media command layer posts them.
constexpr WPARAM kNotifySuccessful = 0x0001;
constexpr WPARAM kNotifyFailure = 0x0008;
constexpr WPARAM kNotifyNearEnd = 0x0010;
constexpr DWORD kEndless = 0xFFFFFFFF;

} // namespace

void MoxPlayListPlayer::ItemSignals::End() {
    std::lock_guard lock(m_mutex);
    ++m_ends;
    m_changed.notify_all();
}

void MoxPlayListPlayer::ItemSignals::NearEnd() {
    std::lock_guard lock(m_mutex);
    m_nearEnd = true;
    m_changed.notify_all();
}

void MoxPlayListPlayer::ItemSignals::Interrupt() {
    std::lock_guard lock(m_mutex);
    m_interrupted = true;
    m_changed.notify_all();
}

void MoxPlayListPlayer::ItemSignals::Reset() {
    std::lock_guard lock(m_mutex);
    m_ends = 0;
    m_nearEnd = false;
    m_interrupted = false;
}

MoxPlayListPlayer::ItemSignals::Wake
MoxPlayListPlayer::ItemSignals::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout, [&] { return m_interrupted || m_ends > 0 || m_nearEnd; });
    if (m_interrupted) {
        return Wake::interrupted; // stays set until the next start
    }
    if (m_ends > 0) {
        --m_ends;
        return Wake::ended;
    }
    if (m_nearEnd) {
        m_nearEnd = false;
        return Wake::nearEnd;
    }
    return Wake::timedOut;
}

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
    m_signals.Interrupt();
    m_acknowledge.Wait();
}

void MoxPlayListPlayer::SetHeartbeat(std::function<void()> beat,
                                     std::chrono::milliseconds interval) {
    m_beat = std::move(beat);
    m_beatInterval = std::max(interval, std::chrono::milliseconds(1));
}

void MoxPlayListPlayer::ItemFinished() {
    m_signals.End();
}

void MoxPlayListPlayer::ItemNearEnd() {
    m_signals.NearEnd();
}

void MoxPlayListPlayer::OnCompletionNotice(WPARAM noticeCode) {
    if (noticeCode == kNotifySuccessful || noticeCode == kNotifyFailure) {
        ItemFinished();
    } else if (noticeCode == kNotifyNearEnd) {
        ItemNearEnd();
    }
}

void MoxPlayListPlayer::Wake() {
    m_go.Set();
    m_signals.Interrupt(); // in case the worker waits on an item
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
        // Notices of an earlier start belong to items stopped and closed since.
        m_signals.Reset();
        m_nextBeat = std::chrono::steady_clock::now();
        m_acknowledge.Set(); // releases Start
        PlayList();
        FinishPlaying();
    }
}

void MoxPlayListPlayer::PlayList() {
    Spot spot;
    if (!First(spot)) {
        // No item plays at all: each pass is empty.
        for (DWORD pass = 0;
             KeepPlaying() && (m_listLoopCount == kEndless || pass < m_listLoopCount); ++pass) {
            PauseAfterEmptyPass();
        }
        return;
    }
    Cues cues;
    unsigned nearEnds = 0;
    bool startedInPass = false;
    while (KeepPlaying()) {
        BeatIfDue();
        const bool started = StartAt(spot, cues);
        if (started) {
            startedInPass = true;
            WaitForItem(spot, cues, nearEnds);
        }
        if (!KeepPlaying()) {
            break;
        }
        // The item is over. A cue of what follows sounds already and takes over; otherwise the
        // item is stopped now.
        if (cues.cued.empty()) {
            m_playList->StopCurrent();
        }
        Spot next = spot;
        // An item that does not start is passed over with all its repetitions.
        const bool more = started ? Next(next) : NextItem(next);
        if (!more) {
            break;
        }
        if (next.pass != spot.pass) {
            if (!startedInPass) {
                PauseAfterEmptyPass();
            }
            startedInPass = false;
        }
        spot = next;
    }
    m_playList->StopCued();
    m_playList->StopCurrent();
}

bool MoxPlayListPlayer::StartAt(const Spot& spot, Cues& cues) {
    if (!cues.failed.empty() && cues.failed.front() == spot) {
        cues.failed.pop_front();
        return false; // reported when its cue failed
    }
    if (!cues.cued.empty()) {
        const Spot first = cues.cued.front();
        cues.cued.pop_front();
        if (first == spot && m_playList->TakeCued()) {
            Report(spot, true);
            return true;
        }
        // The list changed under the cues (an edited loop count): start afresh here.
        cues = {};
        m_playList->StopCued();
        m_playList->StopCurrent();
    }
    cues.failed.clear();
    m_playList->SetCurrent(spot.index);
    const bool started = m_playList->PlayCurrent();
    Report(spot, started);
    return started;
}

void MoxPlayListPlayer::WaitForItem(const Spot& spot, Cues& cues, unsigned& nearEnds) {
    for (;;) {
        while (nearEnds > 0 && cues.cued.size() < maxCues && KeepPlaying()) {
            --nearEnds;
            CueNext(spot, cues);
        }
        switch (WaitBeating(std::nullopt)) {
        case ItemSignals::Wake::nearEnd:
            ++nearEnds;
            break;
        case ItemSignals::Wake::ended:
        case ItemSignals::Wake::interrupted:
            return;
        case ItemSignals::Wake::timedOut:
            break;
        }
        if (!KeepPlaying()) {
            return;
        }
    }
}

void MoxPlayListPlayer::CueNext(const Spot& spot, Cues& cues) {
    Spot next = cues.Any() ? cues.last : spot;
    bool more = cues.Any() && cues.lastFailed ? NextItem(next) : Next(next);
    // One round over the list at most: a list of missing files does not spin here.
    for (DWORD tries = 0; more && tries < m_itemCount; ++tries) {
        if (!m_playList->CanCueItem(next.index)) {
            return; // it starts after the end, as the list walks on
        }
        cues.last = next;
        if (m_playList->CueItem(next.index)) {
            cues.cued.push_back(next);
            cues.lastFailed = false;
            return;
        }
        cues.failed.push_back(next);
        cues.lastFailed = true;
        Report(next, false);
        more = NextItem(next);
    }
}

bool MoxPlayListPlayer::First(Spot& spot) {
    spot = {};
    if (m_itemCount == 0 || m_listLoopCount == 0) {
        return false;
    }
    return m_playList->GetLoopCountAt(0) > 0 || NextItem(spot);
}

bool MoxPlayListPlayer::Next(Spot& spot) {
    if (spot.repetition + 1 < m_playList->GetLoopCountAt(spot.index)) {
        ++spot.repetition;
        return true;
    }
    return NextItem(spot);
}

bool MoxPlayListPlayer::NextItem(Spot& spot) {
    spot.repetition = 0;
    // One round over the list at most: a list whose items all have loop count 0 plays nothing.
    for (DWORD looked = 0; looked < m_itemCount; ++looked) {
        if (++spot.index >= m_itemCount) {
            spot.index = 0;
            ++spot.pass;
            if (m_listLoopCount != kEndless && spot.pass >= m_listLoopCount) {
                return false;
            }
        }
        if (m_playList->GetLoopCountAt(spot.index) > 0) {
            return true;
        }
    }
    return false;
}

void MoxPlayListPlayer::Report(const Spot& spot, bool started) {
    if (m_observer == nullptr) {
        return;
    }
    if (const MoxAudioItem* item = m_playList->ItemAt(spot.index)) {
        m_observer->OnItemPlayed(*item, spot.index, spot.repetition, started);
    }
}

void MoxPlayListPlayer::PauseAfterEmptyPass() {
    const auto until = std::chrono::steady_clock::now() + idlePassPause;
    while (KeepPlaying()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left <= std::chrono::milliseconds(0) ||
            WaitBeating(left) == ItemSignals::Wake::interrupted) {
            return;
        }
        // Notices of items that ended are no matter here.
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

MoxPlayListPlayer::ItemSignals::Wake
MoxPlayListPlayer::WaitBeating(std::optional<std::chrono::milliseconds> timeout) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = timeout ? Clock::now() + *timeout : Clock::time_point::max();
    for (;;) {
        BeatIfDue();
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            return ItemSignals::Wake::timedOut;
        }
        const Clock::time_point until = m_beat ? std::min(deadline, m_nextBeat) : deadline;
        // Without a deadline or heartbeat, wake now and then all the same: the wait is in
        // slices so that a time point of "forever" is never handed to the clock.
        const auto slice = std::min(std::chrono::ceil<std::chrono::milliseconds>(until - now),
                                    std::chrono::milliseconds(60000));
        const ItemSignals::Wake wake =
            m_signals.WaitFor(std::max(slice, std::chrono::milliseconds(0)));
        if (wake != ItemSignals::Wake::timedOut) {
            return wake;
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
