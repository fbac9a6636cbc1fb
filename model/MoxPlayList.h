#pragma once

#include "model/MoxAudioItem.h"
#include "model/MoxItemOutputs.h"
#include "model/MoxLock.h"

#include <deque>
#include <memory>

class CArchive;

/// An ordered list of audio items that owns them, with the item that is playing now. The
/// player's worker thread walks it while the interface thread builds, loads and saves lists,
/// so the items, the current item and the playing flag are guarded by the list's lock.
///
/// A play list file (.pla) is exactly what Serialize stores, with no signature:
///   header  Kind (100)            4 bytes, signed, little-endian
///           Name (saved-to path)  string: length prefix, then bytes (see CArchive)
///           LoopCount             4 bytes
///           ReservedA             4 bytes
///           Title (file name)     string
///   body    record count N        4 bytes
///           N item records        Kind, Name, LoopCount, ReservedA, Title, ReservedB, Volume
/// A header Kind outside 100..103 stops the header after its 4 bytes. A record of an unknown
/// kind, or of a kind whose player is not ready, is read and skipped.
class MoxPlayList : public MoxObject {
    QUILLON_DECLARE_SERIAL(MoxPlayList)
public:
    /// The smallest item record: four numbers and two empty strings.
    static constexpr std::uint64_t minRecordBytes = 4 + 1 + 4 + 4 + 1 + 4 + 4;

    /// A list whose loading creates no items (no player is ready).
    MoxPlayList();
    /// A list whose loading creates items on these outputs.
    explicit MoxPlayList(const MoxItemOutputs& outputs);
    ~MoxPlayList() override;

    void Serialize(CArchive& ar) override;

    /// Appends the item and takes it over. True when the list grew.
    bool Add(std::unique_ptr<MoxAudioItem> item);
    /// The item at a zero-based index, or null past the end. The list keeps owning it.
    MoxAudioItem* ItemAt(DWORD index);
    DWORD GetCount();
    /// The count last returned by GetCount, or right after loading, the records the file
    /// announced (which may be more than the items kept).
    DWORD GetCachedCount() const { return m_cachedCount; }
    /// Makes the item at index current; index must be below GetCount().
    void SetCurrent(DWORD index);
    DWORD GetCurrentLoopCount();
    /// Starts the current item unless it is started. True when it is sounding.
    bool PlayCurrent();
    /// Stops the current item if PlayCurrent started it.
    void StopCurrent();
    /// The loop count of the item at index (0 past the end).
    DWORD GetLoopCountAt(DWORD index);

    // Items cued to follow the current one (the player's next items, each started by the mixer
    // on the sample after the last of the one before it).
    /// Whether the item at index can be cued after the current one.
    bool CanCueItem(DWORD index);
    /// Cues the item at index (maybe the current item itself) after the current one, or after
    /// the item cued last; the current one must be playing. True when cued.
    bool CueItem(DWORD index);
    /// How many items wait on their cues.
    std::size_t CuedCount();
    /// Takes back every cue.
    void StopCued();
    /// The first cued item has started: it becomes the current item, playing; the one before
    /// lets go of its player. False when nothing was cued.
    bool TakeCued();
    bool Play() override { return PlayCurrent(); }
    void Stop() override { StopCurrent(); }
    void Enter() override { m_lock.Enter(); }
    void Leave() override { m_lock.Leave(); }

    /// Reads one item record and appends an item when its kind's player is ready. Returns 1
    /// when an item was added, 0 when the record was skipped.
    int LoadItem(CArchive& ar);

private:
    MoxItemOutputs m_outputs;
    std::deque<std::unique_ptr<MoxAudioItem>> m_items;
    MoxAudioItem* m_current = nullptr;
    std::deque<MoxAudioItem*> m_cued; // first to start first
    MoxLock m_lock;
    bool m_playing = false;
    DWORD m_cachedCount = 0;
};
