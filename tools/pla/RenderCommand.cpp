#include "tools/pla/RenderCommand.h"

#include "dsp/WaveWriter.h"
#include "platform/classlib/CException.h"
#include "tools/pla/OfflinePlayer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

struct RenderOptions {
    std::string list;
    std::string out;
    std::string format; // "" = as OUT's name says, else ulaw
    std::string dataFolder;
    int rate = 8000;
    unsigned long passes = 1;
};

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        const char c = text[text.size() - suffix.size() + i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != suffix[i]) {
            return false;
        }
    }
    return true;
}

/// Empty when the words make a valid command, else why not.
std::string Parse(int count, char** args, RenderOptions& options) {
    for (int i = 0; i < count; ++i) {
        const std::string word = args[i];
        const bool valued =
            word == "--format" || word == "--rate" || word == "--passes" || word == "--data";
        if (valued && i + 1 >= count) {
            return word + " needs a value";
        }
        if (word == "--format") {
            options.format = args[++i];
            if (options.format != "ulaw" && options.format != "alaw" && options.format != "s16") {
                return "--format is ulaw, alaw or s16, not \"" + options.format + "\"";
            }
        } else if (word == "--rate") {
            const std::string value = args[++i];
            if (value != "8000" && value != "16000" && value != "44100") {
                return "--rate is 8000, 16000 or 44100, not \"" + value + "\"";
            }
            options.rate = std::stoi(value);
        } else if (word == "--passes") {
            const std::string value = args[++i];
            char* end = nullptr;
            options.passes = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || value[0] == '-' || *end != '\0' || options.passes == 0 ||
                options.passes > 100000) {
                return "--passes is a number from 1 to 100000, not \"" + value + "\"";
            }
        } else if (word == "--data") {
            options.dataFolder = args[++i];
        } else if (word.starts_with("--")) {
            return "unknown option " + word;
        } else if (options.list.empty()) {
            options.list = word;
        } else if (options.out.empty()) {
            options.out = word;
        } else {
            return "one play list and one output file, please";
        }
    }
    return options.list.empty() || options.out.empty() ? "a play list and an output file, please"
                                                       : "";
}

std::string Seconds(std::uint64_t frames, int rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(frames) / rate);
    return text;
}

std::string Describe(DWORD index, MoxAudioItem& item) {
    return "item " + std::to_string(index + 1) + " (" + ItemKindName(item.GetKind()) + " " +
           item.GetName() + ")";
}

/// What OUT becomes.
struct Output {
    std::string encoding = "ulaw"; ///< ulaw, alaw or s16
    bool headerless = false;
    WaveFileFormat file;
    std::uint64_t maxFrames = UINT64_MAX;

    std::string Describe(int rate) const {
        return std::string(encoding == "ulaw"   ? "G.711 mu-law"
                           : encoding == "alaw" ? "G.711 A-law"
                                                : "16-bit linear") +
               ", " + std::to_string(rate) + " Hz, mono" + (headerless ? ", headerless" : "");
    }
};

/// A headerless file is what its name says; a wave file is what --format says. Empty when
/// they agree, else why not.
std::string ChooseOutput(const RenderOptions& options, Output& output) {
    struct Headerless {
        const char* suffix;
        const char* encoding;
    };
    if (!options.format.empty()) {
        output.encoding = options.format;
    }
    for (const Headerless& kind :
         {Headerless{".ulaw", "ulaw"}, Headerless{".alaw", "alaw"}, Headerless{".sln", "s16"}}) {
        if (EndsWithNoCase(options.out, kind.suffix)) {
            if (!options.format.empty() && options.format != kind.encoding) {
                return std::string("a ") + kind.suffix + " file holds " + kind.encoding + ", not " +
                       options.format;
            }
            output.encoding = kind.encoding;
            output.headerless = true;
        }
    }
    const int encoding = output.encoding == "ulaw"   ? SF_FORMAT_ULAW
                         : output.encoding == "alaw" ? SF_FORMAT_ALAW
                                                     : SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
    output.file = {(output.headerless ? SF_FORMAT_RAW : SF_FORMAT_WAV) | encoding, 1, options.rate};
    if (!output.headerless) {
        // A wave file's sizes are 32-bit: a longer rendering is refused, not written wrong.
        output.maxFrames = (0xFFFFFFFFull - 0xFFFF) / (output.encoding == "s16" ? 2 : 1);
    }
    return {};
}

/// Renders the passes into writer; the frames written, or nothing after a failure that was
/// reported. Items that cannot play are reported and passed over.
std::optional<std::uint64_t> RenderPasses(OfflinePlayer& player, WaveWriter& writer,
                                          const RenderOptions& options, const Output& output) {
    constexpr std::size_t kBlock = 4096;
    std::vector<float> stereo(2 * kBlock);
    std::vector<float> mono(kBlock);
    const DWORD items = player.ItemCount();
    std::vector<bool> skipped(items, false);
    std::uint64_t total = 0;
    std::string error;
    for (unsigned long pass = 0; pass < options.passes; ++pass) {
        for (DWORD index = 0; index < items; ++index) {
            MoxAudioItem& item = player.Item(index);
            std::uint64_t frames = 0;
            DWORD played = 0;
            for (; played < item.GetLoopCount() && !skipped[index]; ++played) {
                OfflineItemSound sound = player.Play(index);
                if (!sound.decoder) {
                    // As playback passes over it; what cannot open now will not open later.
                    std::cerr << "quillon-pla: skipped " << Describe(index, item) << ": "
                              << sound.reason << "\n";
                    skipped[index] = true;
                    break;
                }
                frames = 0;
                while (const std::size_t got = sound.Read(stereo.data(), kBlock)) {
                    for (std::size_t i = 0; i < got; ++i) {
                        mono[i] = 0.5f * (stereo[2 * i] + stereo[2 * i + 1]);
                    }
                    if (total + got > output.maxFrames) {
                        std::cerr << "quillon-pla: " << options.out
                                  << ": the sound is longer than a wave file can hold; render "
                                     "fewer passes, or into a headerless file\n";
                        return std::nullopt;
                    }
                    if (!writer.Write(mono.data(), got, error)) {
                        std::cerr << "quillon-pla: " << options.out << ": " << error << "\n";
                        return std::nullopt;
                    }
                    frames += got;
                    total += got;
                }
                if (const EngineStatus status = sound.decoder->Status(); !status.ok()) {
                    // Playback plays what was read, then goes on with the next item.
                    std::cerr << "quillon-pla: " << Describe(index, item) << " broke off after "
                              << Seconds(frames, options.rate) << ": " << status.message << "\n";
                }
            }
            if (pass == 0 && played > 0) {
                std::cout << "  " << index + 1 << "  " << ItemKindName(item.GetKind()) << "  "
                          << item.GetName() << "  volume " << item.GetVolume() << "  " << played
                          << " x " << Seconds(frames, options.rate) << "\n";
            }
        }
    }
    return total;
}

} // namespace

int RunRenderCommand(int count, char** args) {
    RenderOptions options;
    Output output;
    std::string problem = Parse(count, args, options);
    if (problem.empty()) {
        problem = ChooseOutput(options, output);
    }
    if (!problem.empty()) {
        std::cerr << "quillon-pla: render: " << problem << "\n";
        return 2;
    }
    std::unique_ptr<OfflinePlayer> player;
    try {
        player = std::make_unique<OfflinePlayer>(
            options.list, OfflineSources::Find(options.dataFolder, options.rate));
    } catch (const CException& e) {
        std::cerr << "quillon-pla: " << e.GetErrorMessage() << "\n";
        return 1;
    }
    std::string error;
    std::unique_ptr<WaveWriter> writer = WaveWriter::Create(options.out, output.file, {}, error);
    if (!writer) {
        std::cerr << "quillon-pla: " << error << "\n"; // it names the file
        return 1;
    }
    const std::optional<std::uint64_t> total = RenderPasses(*player, *writer, options, output);
    if (!total) {
        return 1;
    }
    if (*total == 0) {
        std::cerr << "quillon-pla: nothing to render: no item of " << options.list
                  << " can be played; " << options.out << " was not written\n";
        return 1;
    }
    if (!writer->Commit(error)) {
        std::cerr << "quillon-pla: " << options.out << ": " << error << "\n";
        return 1;
    }
    std::cout << options.out << ": " << Seconds(*total, options.rate) << " (" << options.passes
              << (options.passes == 1 ? " pass" : " passes") << "), "
              << output.Describe(options.rate) << "\n";
    return 0;
}
