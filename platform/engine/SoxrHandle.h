#pragma once

#include <soxr.h>

#include <memory>

// Owner of a libsoxr resampler. soxr_t is a pointer to libsoxr's own struct.
struct SoxrDeleter {
    void operator()(soxr_t soxr) const { soxr_delete(soxr); }
};
using SoxrPtr = std::unique_ptr<std::remove_pointer_t<soxr_t>, SoxrDeleter>;
