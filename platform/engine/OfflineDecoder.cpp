#include "platform/engine/SoundEngine.h"

#include "platform/engine/CdDecoder.h"
#include "platform/engine/MidiDecoder.h"
#include "platform/engine/SourceStream.h"
#include "platform/engine/SynthPool.h"
#include "platform/engine/WaveDecoder.h"

struct OfflineDecoder::Impl {
    std::unique_ptr<Decoder> decoder; // until the stream takes it
    std::unique_ptr<SynthPool> pool;  // MIDI: outlives the stream, which gives the synth back
    std::unique_ptr<SourceStream> stream;
};

OfflineDecoder::OfflineDecoder(std::unique_ptr<Impl> impl)
    : m_impl(std::move(impl)) {}

OfflineDecoder::~OfflineDecoder() = default;

std::unique_ptr<OfflineDecoder> OfflineDecoder::Make(std::unique_ptr<Impl> impl, int rate,
                                                     EngineStatus& status) {
    impl->stream = std::make_unique<SourceStream>(std::move(impl->decoder), rate);
    if (impl->stream->Failed()) {
        status = EngineStatus::Fail(EngineError::Unsupported, impl->stream->Error());
        return nullptr;
    }
    status = EngineStatus::Ok();
    return std::unique_ptr<OfflineDecoder>(new OfflineDecoder(std::move(impl)));
}

namespace {
bool CheckRate(int rate, EngineStatus& status) {
    if (rate < OfflineDecoder::kMinRate || rate > OfflineDecoder::kMaxRate) {
        status = EngineStatus::Fail(EngineError::Unsupported,
                                    "The rate must lie between 1000 and 768000 frames a second");
        return false;
    }
    return true;
}
} // namespace

std::unique_ptr<OfflineDecoder> OfflineDecoder::OpenWave(const std::string& path, int rate,
                                                         EngineStatus& status) {
    if (!CheckRate(rate, status)) {
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->decoder = WaveDecoder::Open(path, status);
    if (!impl->decoder) {
        return nullptr;
    }
    return Make(std::move(impl), rate, status);
}

std::unique_ptr<OfflineDecoder> OfflineDecoder::OpenMidi(const std::string& path,
                                                         const std::string& soundFont, int rate,
                                                         EngineStatus& status) {
    if (!CheckRate(rate, status)) {
        return nullptr;
    }
    const SoundEngine::Config defaults;
    auto impl = std::make_unique<Impl>();
    impl->pool = std::make_unique<SynthPool>(defaults.mixRate, defaults.synthGain);
    impl->decoder = MidiDecoder::Open(path, soundFont, *impl->pool, status);
    if (!impl->decoder) {
        return nullptr;
    }
    return Make(std::move(impl), rate, status);
}

std::unique_ptr<OfflineDecoder> OfflineDecoder::OpenCd(const std::string& device,
                                                       std::int32_t startLsn, std::int32_t endLsn,
                                                       int rate, EngineStatus& status) {
    if (!CheckRate(rate, status)) {
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->decoder = CdDecoder::Open(device, startLsn, endLsn, CdReadMode::Auto, status);
    if (!impl->decoder) {
        return nullptr;
    }
    return Make(std::move(impl), rate, status);
}

std::size_t OfflineDecoder::Read(float* stereo, std::size_t frames) {
    return m_impl->stream->Pull(stereo, frames);
}

bool OfflineDecoder::AtEnd() const {
    return m_impl->stream->AtEnd();
}

EngineStatus OfflineDecoder::Status() const {
    if (m_impl->stream->Failed()) {
        return EngineStatus::Fail(EngineError::InvalidFile, m_impl->stream->Error());
    }
    return EngineStatus::Ok();
}

int OfflineDecoder::Rate() const {
    return m_impl->stream->Rate();
}

std::uint64_t OfflineDecoder::LengthFrames() const {
    return m_impl->stream->LengthFrames();
}
