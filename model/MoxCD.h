#pragma once

#include "model/MoxAudioItem.h"

/// A track of the audio CD, named "Track N". It keeps no state of its own: every Play and Stop
/// goes to the CD player, which ignores a play while it is playing.
class MoxCD : public MoxAudioItem {
    QUILLON_DECLARE_SERIAL(MoxCD)
public:
    MoxCD();
    MoxCD(MoxItemOutput output, const std::string& name);
    ~MoxCD() override;

    bool Play() override;
    void Stop() override;
};
