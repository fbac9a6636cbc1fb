#pragma once

#include <string>

/// The user's folder for settings files and autostart entries: $XDG_CONFIG_HOME when it is an
/// absolute path, otherwise ".config" in the home folder ($HOME, or the password database's).
std::string UserConfigFolder();
