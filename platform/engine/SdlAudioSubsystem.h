#pragma once

#include <string>

/// One reference to SDL's audio subsystem (SDL counts them). Sets the hints SDL needs inside a
/// program that handles its own signals before the first reference is taken.
class SdlAudioSubsystem {
public:
    SdlAudioSubsystem();
    ~SdlAudioSubsystem();
    SdlAudioSubsystem(const SdlAudioSubsystem&) = delete;
    SdlAudioSubsystem& operator=(const SdlAudioSubsystem&) = delete;

    bool IsUp() const { return m_up; }
    const std::string& Error() const { return m_error; }
    /// The driver in use ("pulseaudio", "disk", ...), or "" when none is.
    std::string DriverName() const;

    /// Shuts SDL's audio down and starts it again, so that it picks its driver anew (after the
    /// sound server came up later than the program, SDL would otherwise stay on a fallback).
    /// Only done when this is the process's only reference; returns whether it was done.
    bool Restart();

private:
    bool m_up = false;
    std::string m_error;
};
