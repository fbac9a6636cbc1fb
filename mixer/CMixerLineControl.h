#pragma once

#include "mixer/CMixer.h"
#include "mixer/CMixerControl.h"
#include "mixer/CMixerLine.h"

#include <mutex>

/// One control on one line of one mixer device, with its own open handle.
///
/// Thread-safe: the interface thread and the player's worker thread use the same bindings
/// (a slider moves while an item starts); every operation holds the binding's lock, so the
/// device, line, control and values never change under another thread's call.
class CMixerLineControl : public CObject {
public:
    CMixerLineControl() = default;
    ~CMixerLineControl() override = default;
    CMixerLineControl(const CMixerLineControl&) = delete;

    /// Closes the device.
    virtual bool Close();
    /// Opens the other binding's device identifier (a handle of its own), then copies its line
    /// and control. Returns whether the device opened.
    virtual bool Copy(const CMixerLineControl& other);
    /// Opens the device with zero flags, callback and instance.
    virtual bool Open(UINT deviceId);
    virtual void SetLine(const CMixerLine& line);
    virtual void SetControl(const CMixerControl& control);
    CMixerLineControl& operator=(const CMixerLineControl& other);

    CMixerLine GetLine() const;
    CMixerControl GetControl() const;
    UINT GetDeviceId() const;
    HMIXER GetHandle() const;
    /// The result of the binding's last platform call, and its text.
    MMRESULT GetLastResult() const;
    void GetErrorText(std::string& text) const;

protected:
    /// Taken by every operation; recursive, as operations call each other.
    std::recursive_mutex& Mutex() const { return m_mutex; }
    // The members; the caller holds the lock.
    CMixer& Mixer() { return m_mixer; }
    const CMixerLine& Line() const { return m_line; }
    const CMixerControl& Control() const { return m_control; }

private:
    mutable std::recursive_mutex m_mutex;
    CMixer m_mixer;
    CMixerLine m_line;
    CMixerControl m_control;
};
