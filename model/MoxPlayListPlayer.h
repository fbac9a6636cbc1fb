#pragma once

#include "model/MoxEvent.h"
#include "model/MoxWorkerThread.h"
#include "platform/wintypes/WinTypes.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

class MoxPlayList;
class MoxPlayerObserver;

/// Plays a play list item after item on its own worker thread: each item as often as its loop
/// count says, the list as often as the list's loop count says (0xFFFFFFFF: without end).
///
/// Threads: SetPlayList, Start, Stop and ItemFinished come from the interface thread; the
/// worker walks the list. They meet through three auto-reset events (go: start; acknowledge:
/// start taken up or current item stopped; item finished: the item ended, or stop) and the
/// atomic state. Start and Stop block until the worker answers; Stop returns wherever the
/// worker is. The worker never holds the list's lock while it waits.
///
/// An item that does not start is passed over. A pass over the list that started nothing is
/// followed by a pause (interrupted by Stop), so that a list of missing files does not spin.
class MoxPlayListPlayer : public MoxWorkerThread {
public:
    /// The pause after a pass over the list that started nothing.
    static constexpr std::chrono::milliseconds idlePassPause{1000};

    /// Starts the worker thread and waits until it runs.
    MoxPlayListPlayer();
    ~MoxPlayListPlayer() override;

    /// Hands over the list to play; the next Start takes it up. The list must outlive its use:
    /// stop the player before deleting it.
    void SetPlayList(MoxPlayList* playList);
    /// Starts playing, unless playing already, no list was handed over, or there is no worker.
    void Start();
    /// Stops the current item and goes idle; returns once the item has been stopped.
    void Stop();
    bool IsPlaying() const { return m_state.load() == State::playing; }
    /// The current item has played to its end (or broke off): go on with the next.
    void ItemFinished();

    /// Passes a completion notice on: successful and failed ones end the current item;
    /// aborted and superseded ones (a stop, a replaced command) are not the item's end.
    void OnCompletionNotice(WPARAM noticeCode);

    /// Who to tell as items are played; set before starting, null for nobody.
    void SetObserver(MoxPlayerObserver* observer) { m_observer = observer; }
    /// While playing, the worker calls beat at least every interval, also while it waits for
    /// an item to end: beats that stop mean a worker stuck in an item's player (a supervisor
    /// feeds its watchdog from them). Set before starting; an empty beat for none.
    void SetHeartbeat(std::function<void()> beat, std::chrono::milliseconds interval);

    void Wake() override;
    void OnThreadStart() override {}
    void Run() override;

private:
    enum class State { idle, playing, stopping };

    void PlayOnce(DWORD itemCount);
    bool KeepPlaying() const;
    /// Back to idle; answers a Stop that waits for it.
    void FinishPlaying();
    /// Waits for the event, at most timeout (none: without limit), beating as often as the
    /// heartbeat asks; true when the event came.
    bool WaitBeating(MoxEvent& event, std::optional<std::chrono::milliseconds> timeout);
    void BeatIfDue();

    MoxPlayList* m_playList = nullptr;
    MoxPlayerObserver* m_observer = nullptr;
    std::function<void()> m_beat;
    std::chrono::milliseconds m_beatInterval{0};
    std::atomic<State> m_state{State::idle};
    std::atomic<bool> m_newList{false};
    MoxEvent m_go;
    MoxEvent m_acknowledge;
    MoxEvent m_itemFinished;

    // The worker's own: taken from the list when it takes up a new one.
    DWORD m_itemCount = 0;
    DWORD m_listLoopCount = 0;
    std::chrono::steady_clock::time_point m_nextBeat{};
};
