#pragma once

#include <fluidsynth.h>

#include <memory>

// Owners of FluidSynth's C objects. A synth refers to its settings and a player to its synth:
// destroy them in the reverse order (members declared in creation order do that).

struct FluidSettingsDeleter {
    void operator()(fluid_settings_t* s) const { delete_fluid_settings(s); }
};
struct FluidSynthDeleter {
    void operator()(fluid_synth_t* s) const { delete_fluid_synth(s); }
};
struct FluidPlayerDeleter {
    void operator()(fluid_player_t* p) const {
        fluid_player_stop(p);
        delete_fluid_player(p);
    }
};

using FluidSettingsPtr = std::unique_ptr<fluid_settings_t, FluidSettingsDeleter>;
using FluidSynthPtr = std::unique_ptr<fluid_synth_t, FluidSynthDeleter>;
using FluidPlayerPtr = std::unique_ptr<fluid_player_t, FluidPlayerDeleter>;
