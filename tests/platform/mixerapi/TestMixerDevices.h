#pragma once

#include "platform/mixerapi/DescribedMixerDevice.h"
#include "platform/mixerapi/MixerApi.h"
#include "platform/mixerapi/MixerDevice.h"
#include "platform/mixerapi/SoftMixer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

/// Installs mixer devices for the life of the object, then puts back the ones before.
class ScopedMixerDevices {
public:
    explicit ScopedMixerDevices(MixerDevices devices);
    ~ScopedMixerDevices();
    ScopedMixerDevices(const ScopedMixerDevices&) = delete;
    ScopedMixerDevices& operator=(const ScopedMixerDevices&) = delete;

private:
    MixerDevices m_previous;
};

/// A device in front of another: it records the value requests that reach the device and
/// fails the calls a test chooses (a result other than 0 is returned instead of calling on).
class ProbeMixerDevice final : public MixerDevice {
public:
    struct Request {
        DWORD channels;
        DWORD items;
        std::vector<DWORD> words; ///< what was written, or what was read
    };

    explicit ProbeMixerDevice(std::shared_ptr<MixerDevice> inner);

    MMRESULT Open() override;
    MMRESULT GetDevCaps(MIXERCAPS& caps) override;
    MMRESULT GetLineInfo(MIXERLINE& line, DWORD query) override;
    MMRESULT GetLineControls(MIXERLINECONTROLS& controls, DWORD query) override;
    MMRESULT GetControlDetails(MIXERCONTROLDETAILS& details, DWORD query) override;
    MMRESULT SetControlDetails(const MIXERCONTROLDETAILS& details, DWORD query) override;

    std::vector<Request> Requests() const;
    void ClearRequests();

    std::atomic<MMRESULT> capsResult{MMSYSERR_NOERROR};
    std::atomic<MMRESULT> lineInfoResult{MMSYSERR_NOERROR};
    std::atomic<MMRESULT> readResult{MMSYSERR_NOERROR};
    std::atomic<MMRESULT> writeResult{MMSYSERR_NOERROR};

private:
    void record(const MIXERCONTROLDETAILS& details);

    std::shared_ptr<MixerDevice> m_inner;
    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
};

/// Keeps the last report of each bus. Reports arrive one at a time under the mixer's lock.
class LastReportListener final : public SoftMixerListener {
public:
    void OnFaderChanged(Bus bus, std::uint16_t left, std::uint16_t right) override {
        last[static_cast<int>(bus)] = {left, right};
        ++count;
    }
    std::array<BusFader, kBusCount> last{};
    int count = 0;
};

/// A software mixer with a store of its own.
std::shared_ptr<SoftMixer> NewSoftMixer();
/// A value request for one control over the caller's buffer.
MIXERCONTROLDETAILS DetailsRequest(DWORD controlId, DWORD channels, DWORD items, void* buffer,
                                   DWORD cbDetails = sizeof(DWORD));
/// Writes one control's per-channel words through the mixer functions, as another program would.
MMRESULT WriteControl(DWORD controlId, std::vector<DWORD> words,
                      HMIXEROBJ object = MixerObjectFromId(0));

/// A volume fader control of the given bounds.
MixerControlDescription TestFader(DWORD controlId, DWORD minimum, DWORD maximum,
                                  std::vector<DWORD> values = {}, DWORD flags = 0);
/// A uniform mute switch.
MixerControlDescription TestMute(DWORD controlId, DWORD muted = 0);
/// A source line with its controls.
MixerLineDescription TestSource(DWORD lineId, DWORD componentType, DWORD channels,
                                std::vector<MixerControlDescription> controls);
/// A destination line with its sources (the destination has no controls of its own).
MixerDestinationDescription TestDestination(DWORD lineId, DWORD componentType,
                                            std::vector<MixerLineDescription> sources);
/// A whole mixer of those destinations.
MixerDescription TestMixer(std::vector<MixerDestinationDescription> destinations);
