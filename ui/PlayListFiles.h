#pragma once

#include <string>
#include <vector>

/// The names (without folder) of the play list files in folder that match pattern (e.g.
/// "*.pla"), without regard to case, sorted alphabetically without regard to case.
///
/// Left out: folders and other things that are not regular files (a link to a regular file
/// counts as one), hidden files (names beginning with a dot), and files this user may not
/// read, which could only fail when played. Read-only files are listed: they play as well as
/// any other. An unreadable folder gives an empty list.
std::vector<std::string> ListPlayListFiles(const std::string& folder, const std::string& pattern);
