#pragma once

/// quillon-pla make FILE.pla < list.json: writes the list that JSON (PlayListJson.h) on
/// standard input describes, replacing FILE only with a complete new file. args are the words
/// after "make". Returns the exit status: 0 written, 1 the JSON cannot be taken or the file
/// cannot be written (it is then as it was), 2 bad usage.
int RunMakeCommand(int count, char** args);
