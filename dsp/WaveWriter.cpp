#include "dsp/WaveWriter.h"

#include "platform/classlib/CException.h"

std::unique_ptr<WaveWriter> WaveWriter::Create(const std::string& path,
                                               const WaveFileFormat& format,
                                               const SoundFileTags& tags, std::string& error) {
    std::unique_ptr<WaveWriter> writer(new WaveWriter());
    CFileException failure(CFileException::none, 0, path);
    if (!writer->m_file.Open(path, CFile::modeCreate | CFile::modeWrite, &failure)) {
        error = failure.GetErrorMessage();
        return nullptr;
    }
    SF_INFO info{};
    info.format = format.format;
    info.channels = format.channels;
    info.samplerate = format.rate;
    writer->m_sound =
        SndFileHandle(sf_open_fd(writer->m_file.GetHandle(), SFM_WRITE, &info, SF_FALSE));
    if (!writer->m_sound) {
        error = std::string("The file cannot be written in its own format (") +
                sf_strerror(nullptr) + ").";
        return nullptr;
    }
    for (const auto& [id, value] : tags) {
        sf_set_string(writer->m_sound.get(), id, value.c_str()); // a tag the format lacks is lost
    }
    writer->m_channels = format.channels;
    writer->m_quantizer = QuantizerFor(format);
    return writer;
}

std::optional<SampleQuantizer> WaveWriter::QuantizerFor(const WaveFileFormat& format) {
    const int bits = format.IntegerBits();
    if (bits == 0) {
        return std::nullopt;
    }
    return SampleQuantizer(bits, bits <= 8);
}

bool WaveWriter::Write(const float* interleaved, std::size_t frames, std::string& error) {
    sf_count_t written = 0;
    if (m_quantizer) {
        const std::size_t samples = frames * static_cast<std::size_t>(m_channels);
        m_ints.resize(samples);
        for (std::size_t i = 0; i < samples; ++i) {
            m_ints[i] = m_quantizer->Quantize(interleaved[i]);
        }
        written = sf_writef_int(m_sound.get(), m_ints.data(), static_cast<sf_count_t>(frames));
    } else {
        written = sf_writef_float(m_sound.get(), interleaved, static_cast<sf_count_t>(frames));
    }
    if (written != static_cast<sf_count_t>(frames)) {
        error =
            std::string("The new sound cannot be written (") + sf_strerror(m_sound.get()) + ").";
        return false;
    }
    return true;
}

bool WaveWriter::Commit(std::string& error) {
    const int closed = sf_close(m_sound.release());
    if (closed != 0) {
        error = std::string("The new sound cannot be finished (") + sf_error_number(closed) + ").";
        return false;
    }
    try {
        m_file.Close();
    } catch (const CFileException& e) {
        error = e.GetErrorMessage();
        return false;
    }
    return true;
}
