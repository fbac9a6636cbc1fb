#pragma once

#include "platform/classlib/CObject.h"
#include "platform/wintypes/WinTypes.h"

#include <string>

/// Type codes: the Kind field, and the type tag of records in play list files.
enum MoxKind : LONG {
    kindPlayList = 100,
    kindMidi = 101,
    kindWave = 102,
    kindCD = 103,
};

/// Root of the persistent model: the fields that play lists and audio items share.
///
/// Record written by Serialize (numbers 4 bytes little-endian, strings with the archive's
/// length prefix): Kind, Name, LoopCount, ReservedA, Title. On loading, Name..Title are read
/// only when Kind lies in 100..103; otherwise only the 4 bytes of Kind are consumed.
class MoxObject : public CObject {
    QUILLON_DECLARE_SERIAL(MoxObject)
public:
    MoxObject() = default;
    ~MoxObject() override = default;

    void Serialize(CArchive& ar) override;

    /// Starts the object; true when it is sounding afterwards. Nothing to play here.
    virtual bool Play() { return false; }
    virtual void Stop() {}
    /// Play lists enter and leave their lock here; items do nothing.
    virtual void Enter() {}
    virtual void Leave() {}

    void SetTitle(const std::string& title) { m_title = title; }
    std::string GetTitle() const { return m_title; }
    void SetName(const std::string& name) { m_name = name; }
    std::string GetName() const { return m_name; }
    void SetLoopCount(DWORD loopCount) { m_loopCount = loopCount; }
    DWORD GetLoopCount() const { return m_loopCount; }
    void SetReservedA(DWORD value) { m_reservedA = value; }
    DWORD GetReservedA() const { return m_reservedA; }
    LONG GetKind() const { return m_kind; }
    void SetKind(LONG kind) { m_kind = kind; }

    static bool IsKnownKind(LONG kind) { return kind >= kindPlayList && kind <= kindCD; }

protected:
    explicit MoxObject(LONG kind)
        : m_kind(kind) {}

private:
    /// Item: the file name (no folder) or "Track N". Play list: the path it was saved to.
    std::string m_name;
    /// Item: the same text as the name. Play list: the file name it was saved under.
    std::string m_title;
    /// Times in a row the item plays; for a play list, passes over the list, 0xFFFFFFFF endless.
    DWORD m_loopCount = 0;
    DWORD m_reservedA = 0; // stored and loaded, never interpreted
    LONG m_kind = 0;
};
