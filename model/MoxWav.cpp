#include "model/MoxWav.h"

QUILLON_IMPLEMENT_SERIAL(MoxWav, MoxAudioItem, 1)

MoxWav::MoxWav()
    : MoxAudioItem(kindWave, {}, {}) {}

MoxWav::MoxWav(MoxItemOutput output, const std::string& name)
    : MoxAudioItem(kindWave, output, name) {}

MoxWav::~MoxWav() {
    MoxWav::Stop();
}

bool MoxWav::Play() {
    if (!m_started) {
        // Started whether or not the player succeeded: the matching Stop must still reach it,
        // since a player may stay open after a failed start.
        m_sounding = PlayOnOutput();
        m_started = true;
    }
    return m_sounding;
}

void MoxWav::Stop() {
    if (m_started) {
        StopOnOutput();
        m_started = false;
        m_sounding = false;
    }
}
