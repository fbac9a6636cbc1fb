#pragma once

/// quillon-pla dump FILE.pla: prints the list as the loader reads it, as JSON (PlayListJson.h).
/// args are the words after "dump". Returns the exit status: 0 printed, 1 the file cannot be
/// read (the reason on standard error), 2 bad usage.
int RunDumpCommand(int count, char** args);
