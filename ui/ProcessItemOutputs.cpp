#include "ui/ProcessItemOutputs.h"

#include "app/ProcessObjects.h"
#include "audio/MoxCDDevice.h"
#include "audio/MoxMidDevice.h"
#include "audio/MoxWavDevice.h"
#include "mixer/MixerGlobals.h"

MoxItemOutputs ProcessItemOutputs() {
    MoxItemOutputs outputs;
    outputs.midi = {g_midDevice.get(), &g_mixerFaders.synthFader};
    outputs.wave = {g_wavDevice.get(), &g_mixerFaders.waveFader};
    outputs.cd = {g_cdDevice.get(), &g_mixerFaders.cdFader};
    return outputs;
}
