#include "ui/ProcessItemOutputs.h"

#include "app/ProcessObjects.h"
#include "audio/MoxCDDevice.h"
#include "audio/MoxMidDevice.h"
#include "audio/MoxWavDevice.h"

MoxItemOutputs ProcessItemOutputs() {
    // No faders yet: items play at the level the sound engine gives them until the mixer's
    // faders are handed out here.
    MoxItemOutputs outputs;
    outputs.midi = {g_midDevice.get(), nullptr};
    outputs.wave = {g_wavDevice.get(), nullptr};
    outputs.cd = {g_cdDevice.get(), nullptr};
    return outputs;
}
