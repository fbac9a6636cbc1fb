#include "ui/DialogContext.h"

#include "audio/MoxCDDevice.h"
#include "audio/MoxMidDevice.h"
#include "audio/MoxWavDevice.h"
#include "mixer/MixerFaders.h"

MoxItemOutputs DialogContext::ItemOutputs() const {
    return {{midDevice, faders ? &faders->synthFader : nullptr},
            {wavDevice, faders ? &faders->waveFader : nullptr},
            {cdDevice, faders ? &faders->cdFader : nullptr}};
}
