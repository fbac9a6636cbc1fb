#pragma once

#include <string>

// The program's numbered fixed texts: folders, file patterns, tool tips and menu entries.
// The numbers are the ones the dialogs and start-up code refer to.
enum : unsigned {
    IDS_ABOUTBOX = 101,
    // Tool tips
    IDS_TIP_EDITOR_ADD = 102,
    IDS_TIP_EDITOR_REMOVE = 103,
    IDS_TIP_EDITOR_LOAD = 104,
    IDS_TIP_EDITOR_SAVE = 105,
    IDS_TIP_EDITOR_CLEAR = 106,
    IDS_TIP_EDITOR_AUDITION = 107,
    IDS_TIP_EDITOR_PLAY_ITEM = 108,
    IDS_TIP_EDITOR_UP = 109,
    IDS_TIP_EDITOR_DOWN = 110,
    IDS_TIP_PLAYLIST_COMBO = 111,
    IDS_TIP_PLAY = 112,
    IDS_TIP_EDITOR = 113,
    IDS_TIP_RECORDER = 114,
    IDS_TIP_CANCEL = 115,
    IDS_TIP_CLOSE = 116,
    IDS_TIP_OPTIONS = 117,
    IDS_TIP_TASKBAR = 118,
    IDS_TIP_HELP = 119,
    IDS_TIP_RECORD = 120,
    IDS_TIP_PLAY_RECORDING = 121,
    IDS_TIP_RECORDING_LEVEL = 122,
    IDS_TIP_REMOVE_HISS = 123,
    IDS_TIP_MAXIMIZE_VOLUME = 124,
    IDS_TIP_SAVE_RECORDING = 125,
    IDS_TIP_EDITOR_STOP_AUDITION = 126,
    IDS_TIP_EDITOR_STOP_ITEM = 127,
    IDS_TIP_STOP_RECORDING = 128,
    IDS_TIP_STOP = 129,
    IDS_TIP_STOP_RECORDING_PLAYBACK = 130,
    IDS_TIP_EXIT = 131,
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
