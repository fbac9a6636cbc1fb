#pragma once

#include "model/MoxEvent.h"
#include "model/MoxWorkerThread.h"
#include "platform/wintypes/WinTypes.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

class MoxPlayList;
class MoxPlayerObserver;

/// Plays a play list item after item on its own worker thread: each item as often as its loop
/// count says, the list as often as the list's loop count says (0xFFFFFFFF: without end).
///
/// Threads: SetPlayList, Start, Stop and the notices come from the interface thread; the
/// worker walks the list. They meet through two auto-reset events (go: start; acknowledge:
/// start taken up or current item stopped), the item signals (items ended, counted, since two
/// short items may end before the worker wakes; an end is near; stop) and the atomic state.
/// Start and Stop block until the worker answers; Stop returns wherever the worker is. The
/// worker never holds the list's lock while it waits.
///
/// Gapless: when the item playing tells that its end is near, the worker cues the item that
/// comes next (the same item again while its loop count lasts, the first item again at the
/// list's wrap) to start on the sample after the current one's last; when the current item's
/// completion notice comes, the cued one is already sounding and becomes current. Stop takes
/// the cue back with the current item. Players that cannot cue start the next item after the
/// end, as the list walks on.
///
/// An item that does not start (or cannot be cued) is passed over. A pass over the list that
/// started nothing is followed by a pause (interrupted by Stop), so that a list of missing
/// files does not spin.
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

    /// The current item's end is near: cue what follows.
    void ItemNearEnd();

    /// Passes a notice on: successful and failed ones end the current item; a near-end one
    /// has the next item cued; aborted and superseded ones (a stop, a replaced command) are
    /// not the item's end.
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

    /// A place in the walk over the list: which pass, which item, which repetition of it.
    struct Spot {
        DWORD pass = 0;
        DWORD index = 0;
        DWORD repetition = 0;
        bool operator==(const Spot&) const = default;
    };

    /// The items cued to play next, in order, and those passed over because their cue failed
    /// (reported then); the last spot of the two is where the next cue follows on.
    struct Cues {
        std::deque<Spot> cued;
        std::deque<Spot> failed;
        Spot last;
        bool lastFailed = false;
        bool Any() const { return !cued.empty() || !failed.empty(); }
    };
    /// Two items shorter than an output period may both wait on their cues.
    static constexpr std::size_t maxCues = 2;

    /// What wakes the worker while an item plays or between passes.
    class ItemSignals {
    public:
        enum class Wake { ended, nearEnd, interrupted, timedOut };
        void End();
        void NearEnd();
        void Interrupt();
        /// Forgets everything: at each start.
        void Reset();
        /// Waits up to timeout; an interruption comes first, then ends, then a near end.
        Wake WaitFor(std::chrono::milliseconds timeout);

    private:
        std::mutex m_mutex;
        std::condition_variable m_changed;
        unsigned m_ends = 0;
        bool m_nearEnd = false;
        bool m_interrupted = false;
    };

    void PlayList();
    /// Starts the item at spot: takes the first cue when it is that item, passes over an item
    /// whose cue failed. True when it sounds.
    bool StartAt(const Spot& spot, Cues& cues);
    /// Waits until the current item ends or the player stops, cueing what follows as ends come
    /// near (nearEnds persists: a near end told while the cues are full counts later).
    void WaitForItem(const Spot& spot, Cues& cues, unsigned& nearEnds);
    /// Cues the item after the last one cued (or after spot), passing over items that fail.
    void CueNext(const Spot& spot, Cues& cues);
    /// The first spot that plays; false when none does.
    bool First(Spot& spot);
    /// The next spot that plays after spot, or after every repetition of its item; false at
    /// the end of a finite list, or when no item plays.
    bool Next(Spot& spot);
    bool NextItem(Spot& spot);
    void Report(const Spot& spot, bool started);
    /// The pause after a pass that started nothing; Stop cuts it short.
    void PauseAfterEmptyPass();
    bool KeepPlaying() const;
    /// Back to idle; answers a Stop that waits for it.
    void FinishPlaying();
    /// Waits for the item signals, at most timeout (none: without limit), beating as often as
    /// the heartbeat asks.
    ItemSignals::Wake WaitBeating(std::optional<std::chrono::milliseconds> timeout);
    void BeatIfDue();

    MoxPlayList* m_playList = nullptr;
    MoxPlayerObserver* m_observer = nullptr;
    std::function<void()> m_beat;
    std::chrono::milliseconds m_beatInterval{0};
    std::atomic<State> m_state{State::idle};
    std::atomic<bool> m_newList{false};
    MoxEvent m_go;
    MoxEvent m_acknowledge;
    ItemSignals m_signals;

    // The worker's own: taken from the list when it takes up a new one.
    DWORD m_itemCount = 0;
    DWORD m_listLoopCount = 0;
    std::chrono::steady_clock::time_point m_nextBeat{};
};
