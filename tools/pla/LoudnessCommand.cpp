#include "tools/pla/LoudnessCommand.h"

#include "dsp/LoudnessMeter.h"
#include "platform/classlib/CException.h"
#include "tools/pla/OfflinePlayer.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Reading {
    std::string error;          ///< why the item could not be measured
    std::optional<double> lufs; ///< nothing: too short or too quiet for a reading
    double truePeakDb = -std::numeric_limits<double>::infinity();
    std::optional<DWORD> balancedVolume;
    double changeDb = 0;
};

double GainDb(float gain) {
    return gain > 0.0f ? 20.0 * std::log10(gain) : -std::numeric_limits<double>::infinity();
}

/// The item as it plays, through the meter.
Reading Measure(OfflinePlayer& player, DWORD index) {
    Reading reading;
    OfflineItemSound sound = player.Play(index);
    if (!sound.decoder) {
        reading.error = sound.reason;
        return reading;
    }
    std::unique_ptr<LoudnessMeter> meter = LoudnessMeter::Create(2, player.Rate());
    constexpr std::size_t kBlock = 4096;
    std::vector<float> stereo(2 * kBlock);
    while (const std::size_t got = sound.Read(stereo.data(), kBlock)) {
        meter->Add(stereo.data(), got);
    }
    if (const EngineStatus status = sound.decoder->Status(); !status.ok()) {
        reading.error = status.message;
        return reading;
    }
    reading.lufs = meter->IntegratedLufs();
    reading.truePeakDb = meter->TruePeakDb();
    return reading;
}

/// The volume whose gain lies nearest to the item's gain now lowered by (target - lufs) dB.
/// Loudness moves with the gain dB for dB, so the item then measures target.
void Balance(OfflinePlayer& player, MoxAudioItem& item, double target, Reading& reading) {
    const LONG kind = item.GetKind();
    const double now = GainDb(player.GainsAt(kind, item.GetVolume())[0]);
    const double wanted = now + (target - *reading.lufs);
    double nearest = std::numeric_limits<double>::infinity();
    for (DWORD volume = 0; volume <= 100; ++volume) {
        const double gain = GainDb(player.GainsAt(kind, volume)[0]);
        if (std::isfinite(gain) && std::fabs(gain - wanted) < nearest) {
            nearest = std::fabs(gain - wanted);
            reading.balancedVolume = volume;
            reading.changeDb = gain - now;
        }
    }
}

std::string Fixed(double value, const char* unit) {
    if (!std::isfinite(value)) {
        return std::string("-inf ") + unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, unit);
    return text;
}

nlohmann::json Number(std::optional<double> value) {
    return value && std::isfinite(*value) ? nlohmann::json(std::round(*value * 100) / 100)
                                          : nlohmann::json(nullptr);
}

} // namespace

int RunLoudnessCommand(int count, char** args) {
    bool json = false;
    std::string list;
    std::string dataFolder;
    for (int i = 0; i < count; ++i) {
        const std::string word = args[i];
        if (word == "--json") {
            json = true;
        } else if (word == "--data" && i + 1 < count) {
            dataFolder = args[++i];
        } else if (list.empty() && !word.starts_with("--")) {
            list = word;
        } else {
            return 2;
        }
    }
    if (list.empty()) {
        return 2;
    }

    std::unique_ptr<OfflinePlayer> player;
    try {
        // Measured at the rate the engine mixes at, as the items reach the sound server.
        player = std::make_unique<OfflinePlayer>(
            list, OfflineSources::Find(dataFolder, SoundEngine::Config{}.mixRate));
    } catch (const CException& e) {
        std::cerr << "quillon-pla: " << e.GetErrorMessage() << "\n";
        return 1;
    }
    const DWORD items = player->ItemCount();
    std::vector<Reading> readings;
    std::optional<double> quietest;
    for (DWORD index = 0; index < items; ++index) {
        readings.push_back(Measure(*player, index));
        if (const auto lufs = readings.back().lufs; lufs && (!quietest || *lufs < *quietest)) {
            quietest = lufs;
        }
    }
    for (DWORD index = 0; index < items; ++index) {
        if (readings[index].lufs) {
            Balance(*player, player->Item(index), *quietest, readings[index]);
        }
    }

    if (json) {
        nlohmann::ordered_json out;
        out["list"] = list;
        out["measured"] = "as played: each item's sound at its volume";
        out["quietestLufs"] = Number(quietest);
        out["items"] = nlohmann::ordered_json::array();
        for (DWORD index = 0; index < items; ++index) {
            MoxAudioItem& item = player->Item(index);
            const Reading& reading = readings[index];
            nlohmann::ordered_json entry;
            entry["index"] = index + 1;
            entry["kind"] = item.GetKind();
            entry["name"] = item.GetName();
            entry["volume"] = item.GetVolume();
            entry["loopCount"] = item.GetLoopCount();
            entry["loudnessLufs"] = Number(reading.lufs);
            entry["truePeakDbtp"] =
                Number(reading.lufs ? std::optional(reading.truePeakDb) : std::nullopt);
            entry["balancedVolume"] = reading.balancedVolume
                                          ? nlohmann::ordered_json(*reading.balancedVolume)
                                          : nlohmann::ordered_json(nullptr);
            entry["balancedChangeDb"] =
                Number(reading.balancedVolume ? std::optional(reading.changeDb) : std::nullopt);
            if (!reading.error.empty()) {
                entry["error"] = reading.error;
            } else if (!reading.lufs) {
                entry["error"] = "too short or too quiet to measure";
            }
            out["items"].push_back(std::move(entry));
        }
        std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        std::cout << "Measured as the items play: each one's sound at its volume. Balanced "
                     "volume:\nthe volume that brings an item to the quietest one's loudness"
                  << (quietest ? " (" + Fixed(*quietest, "LUFS") + ")" : std::string()) << ".\n\n";
        std::printf("%4s  %-4s  %-24s %6s  %11s  %10s  %s\n", "item", "kind", "name", "volume",
                    "loudness", "true peak", "balanced volume");
        for (DWORD index = 0; index < items; ++index) {
            MoxAudioItem& item = player->Item(index);
            const Reading& reading = readings[index];
            std::printf("%4u  %-4s  %-24s %6u  ", index + 1, ItemKindName(item.GetKind()),
                        item.GetName().c_str(), item.GetVolume());
            if (!reading.error.empty()) {
                std::printf("cannot play: %s\n", reading.error.c_str());
            } else if (!reading.lufs) {
                std::printf("%11s  %10s  too short or too quiet to measure\n", "-",
                            Fixed(reading.truePeakDb, "dBTP").c_str());
            } else {
                std::printf("%11s  %10s  %u (%s)\n", Fixed(*reading.lufs, "LUFS").c_str(),
                            Fixed(reading.truePeakDb, "dBTP").c_str(), *reading.balancedVolume,
                            *reading.lufs == *quietest ? "quietest"
                                                       : Fixed(reading.changeDb, "dB").c_str());
            }
        }
    }
    if (!quietest) {
        std::cerr << "quillon-pla: no item of " << list << " could be measured\n";
        return 1;
    }
    return 0;
}
