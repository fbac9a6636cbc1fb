#pragma once

/// quillon-pla render FILE.pla OUT [--format ulaw|alaw|s16] [--rate 8000|16000|44100]
/// [--passes N] [--data DIR]: writes what playing the list sounds like into a file a phone
/// system plays as its hold music. args are the words after "render". Returns the exit status:
/// 0 written, 1 nothing could be rendered or OUT could not be written (OUT is then as it was),
/// 2 bad usage (the reason on standard error).
int RunRenderCommand(int count, char** args);
