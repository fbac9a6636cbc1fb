#pragma once

#include "model/MoxItemOutputs.h"

/// Where the program's play lists send their items: the process-wide players of the three
/// kinds and the mixer's volume faders of those kinds. Null devices when the process-wide
/// objects do not exist.
MoxItemOutputs ProcessItemOutputs();
