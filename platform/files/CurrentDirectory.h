#pragma once

#include <optional>
#include <string>

/// The process's current directory, whole whatever its length; nothing when it cannot be read
/// (removed, or a folder above it unreadable).
std::optional<std::string> GetCurrentDirectoryPath();
