#pragma once

#include <sndfile.h>

#include <utility>

/// Owns one SNDFILE*; closes it when it goes.
class SndFileHandle {
public:
    SndFileHandle() = default;
    explicit SndFileHandle(SNDFILE* file)
        : m_file(file) {}
    ~SndFileHandle() { reset(); }
    SndFileHandle(SndFileHandle&& other) noexcept
        : m_file(std::exchange(other.m_file, nullptr)) {}
    SndFileHandle& operator=(SndFileHandle&& other) noexcept {
        if (this != &other) {
            reset();
            m_file = std::exchange(other.m_file, nullptr);
        }
        return *this;
    }
    SndFileHandle(const SndFileHandle&) = delete;
    SndFileHandle& operator=(const SndFileHandle&) = delete;

    SNDFILE* get() const { return m_file; }
    explicit operator bool() const { return m_file != nullptr; }
    /// Gives the file up without closing it (to close it oneself and see sf_close's result).
    SNDFILE* release() { return std::exchange(m_file, nullptr); }
    void reset() {
        if (m_file != nullptr) {
            sf_close(m_file);
            m_file = nullptr;
        }
    }

private:
    SNDFILE* m_file = nullptr;
};
