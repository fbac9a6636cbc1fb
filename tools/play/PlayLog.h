#pragma once

#include "model/MoxPlayerObserver.h"

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

/// Writes one line per item as the player starts it, and one per item that failed to start
/// with its player's reason (the file and why):
///   2026-12-06T14:30:12.345 play wave "hello.wav" repetition 1
///   2026-12-06T14:30:12.350 fail wave "missing.wav": /srv/Wave Files/missing.wav: The file ...
/// Each line is flushed at once, so a log follows playback as it happens.
class PlayLog final : public MoxPlayerObserver {
public:
    /// reason gives the reason a player of a kind (101, 102, 103) gave for its last failure.
    PlayLog(std::FILE* out, std::function<std::string(LONG kind)> reason);

    void OnItemPlayed(const MoxAudioItem& item, DWORD index, DWORD repetition,
                      bool started) override;

    /// A line of the program's own, with the same time stamp.
    void Note(const std::string& text);

    static const char* KindName(LONG kind);

private:
    void line(const std::string& text);

    std::FILE* m_out;
    std::function<std::string(LONG)> m_reason;
    std::mutex m_mutex;
};
