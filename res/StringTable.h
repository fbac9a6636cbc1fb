#pragma once

#include <string>

// The program's numbered fixed texts: folders, file patterns, tool tips and menu entries.
// The numbers are the ones the dialogs and start-up code refer to.
enum : unsigned {
    IDS_ABOUTBOX = 101,
    IDS_SHORTCUT_NAME = 132,
    IDS_WAVE_FOLDER = 136,
    IDS_MIDI_FOLDER = 137,
    IDS_WAV_PATTERN = 138,
    IDS_MID_PATTERN = 139,
    IDS_PLA_PATTERN = 140,
    IDS_RMI_PATTERN = 141,
    IDS_PATH_SEPARATOR = 142,
};

/// The text of a string resource; empty when there is none of that number.
std::string LoadResourceString(unsigned id);
