#pragma once

#include "model/MoxAudioItem.h"

/// A MIDI file item. Idle or started: a second Play while started is ignored, and so is a Stop
/// while idle, so the player is asked exactly once each way.
class MoxMid : public MoxAudioItem {
    QUILLON_DECLARE_SERIAL(MoxMid)
public:
    MoxMid();
    MoxMid(MoxItemOutput output, const std::string& name);
    ~MoxMid() override;

    bool Play() override;
    void Stop() override;

protected:
    void SetStarted(bool started) override {
        m_started = started;
        m_sounding = started;
    }

private:
    bool m_started = false;
    bool m_sounding = false; // what the player answered when this start was made
};
