#include "platform/engine/MidiDecoder.h"

#include "platform/engine/MidiFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {
constexpr long kRenderBlock = 256;
constexpr float kSilence = 1e-4f; // -80 dBFS

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes,
                   EngineStatus& status) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        int err = errno;
        status =
            err == ENOENT || err == ENOTDIR
                ? EngineStatus::Fail(EngineError::FileNotFound, "The file was not found")
                : EngineStatus::Fail(EngineError::FileUnreadable,
                                     std::string("The file cannot be read: ") + std::strerror(err));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        status = EngineStatus::Fail(EngineError::InvalidFile, "The path is not a regular file");
        return false;
    }
    if (st.st_size > static_cast<off_t>(MidiFile::kMaxMidiFileBytes)) {
        status = EngineStatus::Fail(EngineError::InvalidFile, "The MIDI file is too large");
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        status = EngineStatus::Fail(EngineError::FileUnreadable, "The file cannot be opened");
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        status = EngineStatus::Fail(EngineError::FileUnreadable, "The file cannot be read");
        return false;
    }
    return true;
}
} // namespace

std::unique_ptr<MidiDecoder> MidiDecoder::Open(const std::string& path,
                                               const std::string& soundFont, SynthPool& pool,
                                               EngineStatus& status) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, status)) {
        return nullptr;
    }
    MidiFile file;
    if (!file.Parse(bytes)) {
        status = EngineStatus::Fail(EngineError::InvalidFile, file.Error());
        return nullptr;
    }
    std::unique_ptr<MidiDecoder> decoder(new MidiDecoder());
    decoder->m_smf = file.Smf();
    decoder->m_synth = pool.Acquire(soundFont, status);
    if (!decoder->m_synth) {
        return nullptr;
    }
    decoder->m_pool = &pool;
    double rate = 0;
    fluid_settings_getnum(decoder->m_synth->settings.get(), "synth.sample-rate", &rate);
    decoder->m_rate = static_cast<int>(std::lround(rate));
    if (!decoder->Start()) {
        status = EngineStatus::Fail(EngineError::InvalidFile, "The MIDI player cannot start");
        return nullptr;
    }
    status = EngineStatus::Ok();
    return decoder;
}

MidiDecoder::~MidiDecoder() {
    m_player.reset();
    if (m_pool != nullptr) {
        m_pool->Release(std::move(m_synth));
    }
}

bool MidiDecoder::Start() {
    m_player.reset();
    fluid_synth_system_reset(m_synth->synth.get());
    m_player.reset(new_fluid_player(m_synth->synth.get()));
    if (!m_player) {
        return false;
    }
    if (fluid_player_add_mem(m_player.get(), m_smf.data(), m_smf.size()) != FLUID_OK ||
        fluid_player_play(m_player.get()) != FLUID_OK) {
        m_player.reset();
        return false;
    }
    m_musicOver = false;
    m_tailFrames = 0;
    m_quietBlocks = 0;
    m_ended = false;
    return true;
}

long MidiDecoder::Read(float* stereo, long frames) {
    if (m_ended || !m_player) {
        return 0;
    }
    fluid_synth_t* synth = m_synth->synth.get();
    fluid_player_t* player = m_player.get();
    long done = 0;
    while (done < frames) {
        long n = std::min(kRenderBlock, frames - done);
        float* out = stereo + done * 2;
        fluid_synth_write_float(synth, static_cast<int>(n), out, 0, 2, out, 1, 2);
        done += n;
        if (!m_musicOver) {
            int tick = fluid_player_get_current_tick(player);
            int total = fluid_player_get_total_ticks(player);
            // The player loads the file lazily, so the total is known once the clock runs.
            m_musicOver =
                fluid_player_get_status(player) == FLUID_PLAYER_DONE || (tick > 0 && tick >= total);
            continue;
        }
        m_tailFrames += n;
        float peak = 0.0f;
        for (long i = 0; i < n * 2; ++i) {
            peak = std::max(peak, std::fabs(out[i]));
        }
        bool quiet = fluid_synth_get_active_voice_count(synth) == 0 || peak < kSilence;
        m_quietBlocks = quiet ? m_quietBlocks + 1 : 0;
        if (m_quietBlocks >= 2 || m_tailFrames >= static_cast<long>(kMaxTailSeconds * m_rate)) {
            m_ended = true;
            break;
        }
    }
    return done;
}

bool MidiDecoder::Seek(std::uint64_t frame) {
    if (frame != 0) {
        return false;
    }
    return Start();
}
