#include "model/MoxMid.h"

QUILLON_IMPLEMENT_SERIAL(MoxMid, MoxAudioItem, 1)

MoxMid::MoxMid()
    : MoxAudioItem(kindMidi, {}, {}) {}

MoxMid::MoxMid(MoxItemOutput output, const std::string& name)
    : MoxAudioItem(kindMidi, output, name) {}

MoxMid::~MoxMid() {
    MoxMid::Stop();
}

bool MoxMid::Play() {
    if (!m_started) {
        // Started whether or not the player succeeded: the matching Stop must still reach it,
        // since a player may stay open after a failed start.
        m_sounding = PlayOnOutput();
        m_started = true;
    }
    return m_sounding;
}

void MoxMid::Stop() {
    if (m_started) {
        StopOnOutput();
        m_started = false;
        m_sounding = false;
    }
}
