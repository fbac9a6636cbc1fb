#pragma once

/// quillon-pla loudness FILE.pla [--json] [--data DIR]: each item's integrated loudness and
/// true peak as it plays (at its own volume), and the volume that would bring it level with
/// the list's quietest item; a table, or JSON. args are the words after "loudness". Returns
/// the exit status: 0 reported, 1 the list cannot be read or no item could be measured,
/// 2 bad usage.
int RunLoudnessCommand(int count, char** args);
