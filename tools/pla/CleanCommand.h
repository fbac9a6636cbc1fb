#pragma once

/// quillon-pla clean FILE.wav [--denoise] [--maximise]: the Recorder's "Remove hiss" and
/// "Maximize the volume" on a wave file, in place. args are the words after "clean". Returns
/// the exit status: 0 done, 1 the file cannot be processed (it is left as it was), 2 bad usage.
int RunCleanCommand(int count, char** args);
