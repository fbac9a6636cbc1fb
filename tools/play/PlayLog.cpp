#include "tools/play/PlayLog.h"

#include "model/MoxAudioItem.h"

#include <chrono>
#include <ctime>

PlayLog::PlayLog(std::FILE* out, std::function<std::string(LONG kind)> reason)
    : m_out(out)
    , m_reason(std::move(reason)) {}

const char* PlayLog::KindName(LONG kind) {
    switch (kind) {
    case kindMidi:
        return "midi";
    case kindWave:
        return "wave";
    case kindCD:
        return "cd";
    default:
        return "unknown";
    }
}

void PlayLog::OnItemPlayed(const MoxAudioItem& item, DWORD, DWORD repetition, bool started) {
    const std::string what = std::string(KindName(item.GetKind())) + " \"" + item.GetName() + "\"";
    if (started) {
        line("play " + what + " repetition " + std::to_string(repetition + 1));
    } else {
        line("fail " + what + ": " + m_reason(item.GetKind()));
    }
}

void PlayLog::Note(const std::string& text) {
    line(text);
}

void PlayLog::line(const std::string& text) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    std::lock_guard lock(m_mutex);
    std::fprintf(m_out, "%s.%03lld %s\n", stamp, static_cast<long long>(millis), text.c_str());
    std::fflush(m_out);
}
