#include "model/MoxCD.h"

QUILLON_IMPLEMENT_SERIAL(MoxCD, MoxAudioItem, 1)

MoxCD::MoxCD()
    : MoxAudioItem(kindCD, {}, {}) {}

MoxCD::MoxCD(MoxItemOutput output, const std::string& name)
    : MoxAudioItem(kindCD, output, name) {}

MoxCD::~MoxCD() {
    MoxCD::Stop();
}

bool MoxCD::Play() {
    return PlayOnOutput();
}

void MoxCD::Stop() {
    StopOnOutput();
}
