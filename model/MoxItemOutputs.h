#pragma once

class MoxItemDevice;
class MoxVolumeFader;

/// Where the items of one kind go: the shared player and the volume fader of that kind.
/// Non-owning; either may be missing (an item without a player plays nothing).
struct MoxItemOutput {
    MoxItemDevice* device = nullptr;
    MoxVolumeFader* fader = nullptr;
};

/// The outputs of the three kinds, handed to play lists so that loading can create items.
struct MoxItemOutputs {
    MoxItemOutput midi;
    MoxItemOutput wave;
    MoxItemOutput cd;
};
