#pragma once

#include "platform/mixerapi/MixerDevice.h"

#include <mutex>
#include <string_view>
#include <vector>

/// One control of a described mixer.
struct MixerControlDescription {
    MIXERCONTROL control{};
    /// A list control's item texts, one per item (dwParam1/dwParam2/szName as the device
    /// reports them). Missing items read as empty.
    std::vector<MIXERCONTROLDETAILS_LISTTEXT> itemTexts;
    /// Starting values, channel by channel (see DescribedMixerDevice); missing words start at the
    /// control's lower bound.
    std::vector<DWORD> values;
};

/// One line and its controls. The device fills in cbStruct, dwDestination, dwSource,
/// cConnections, cControls and, for sources, MIXERLINE_LINEF_SOURCE.
struct MixerLineDescription {
    MIXERLINE line{};
    std::vector<MixerControlDescription> controls;
};

struct MixerDestinationDescription {
    MixerLineDescription line;
    std::vector<MixerLineDescription> sources;
};

/// A whole mixer; the device fills in caps.cDestinations.
struct MixerDescription {
    MIXERCAPS caps{};
    std::vector<MixerDestinationDescription> destinations;
};

/// A line record with names and target (names are cut to fit their fields).
MIXERLINE MakeMixerLine(DWORD lineId, DWORD componentType, DWORD channels,
                        std::string_view shortName, std::string_view name, DWORD targetType,
                        std::string_view targetName = {});
/// A control record with the given bounds (as unsigned words) and step count.
MIXERCONTROL MakeMixerControl(DWORD controlId, DWORD controlType, DWORD flags,
                              std::string_view shortName, std::string_view name, DWORD minimum,
                              DWORD maximum, DWORD steps);
/// Copies text into a fixed field, cut to leave room for the terminator.
template <std::size_t N>
void CopyMixerText(char (&field)[N], std::string_view text) {
    const std::size_t n = text.size() < N ? text.size() : N - 1;
    text.copy(field, n);
    field[n] = '\0';
}

/// A mixer device made from a fixed description: the lines and controls never change, and it
/// holds the value of every channel and item of every control.
///
/// A control stores channels × items words: channels = 1 for a uniform control, else the line's
/// channel count; items = the multiple-item count of a multiple control, else 1. Reading or
/// writing with cChannels 1 on a control of several channels reads the first channel and writes
/// them all. Writes are checked against the bounds (signed for signed and decibel units,
/// unsigned otherwise) and refused whole with MIXERR_INVALVALUE; boolean words store 0 or 1.
/// Controls of custom units hold no values (MMSYSERR_NOTSUPPORTED).
class DescribedMixerDevice : public MixerDevice {
public:
    explicit DescribedMixerDevice(MixerDescription description);

    MMRESULT GetDevCaps(MIXERCAPS& caps) override;
    MMRESULT GetLineInfo(MIXERLINE& line, DWORD query) override;
    MMRESULT GetLineControls(MIXERLINECONTROLS& controls, DWORD query) override;
    MMRESULT GetControlDetails(MIXERCONTROLDETAILS& details, DWORD query) override;
    MMRESULT SetControlDetails(const MIXERCONTROLDETAILS& details, DWORD query) override;

    /// The stored words of a control (empty for an unknown one).
    std::vector<DWORD> GetValues(DWORD controlId) const;

protected:
    /// Called after a write changed a control's words, with the device's lock held and on the
    /// writer's thread.
    virtual void ValuesChanged(DWORD controlId, const std::vector<DWORD>& before,
                               const std::vector<DWORD>& after);
    /// A write with MIXER_SETCONTROLDETAILSF_ONCUE, checked like any other, with the lock
    /// held: the device keeps the words until the cue starts. By default it cannot
    /// (MMSYSERR_NOTSUPPORTED).
    virtual MMRESULT ValuesStaged(DWORD controlId, const std::vector<DWORD>& staged);
    /// Stores a control's words as a write would (ValuesChanged follows); the lock is held.
    void StoreLocked(DWORD controlId, const std::vector<DWORD>& values);
    std::unique_lock<std::mutex> LockValues() const { return std::unique_lock(m_mutex); }
    /// The words of a control; the caller holds the lock.
    const std::vector<DWORD>& ValuesLocked(DWORD controlId) const;

private:
    struct Line {
        MIXERLINE line;
        std::vector<std::size_t> controls; // indexes into m_controls
    };
    struct Control {
        MixerControlDescription description;
        std::size_t line; // index into m_lines
        DWORD storedChannels;
        DWORD storedItems;
        std::vector<DWORD> values;
    };

    const Line* findLine(DWORD lineId) const;
    Control* findControl(DWORD controlId);
    MMRESULT checkShape(const Control& control, const MIXERCONTROLDETAILS& details) const;

    MIXERCAPS m_caps{};
    std::vector<Line> m_lines; // in search order: each destination, then its sources
    // Per destination: its line, then its sources (indexes into m_lines).
    std::vector<std::vector<std::size_t>> m_destinations;
    std::vector<Control> m_controls;
    mutable std::mutex m_mutex; // guards the values of m_controls
};
