#pragma once

#include "platform/classlib/CException.h"

#include <string>

// Saving a recording under the name the user chose. Whatever goes wrong, the file that was at
// the chosen name stays as it was: it is replaced in one step, never deleted first.

/// Moves the file `from` to `to`, replacing a file at `to` in one step (a rename). Across file
/// systems it copies, puts the copy in place in one step and then deletes `from`. Returns
/// CFileException::none, or the cause of the failure, when `from` is still where it was.
CFileException::Cause MoveFileOver(const std::string& from, const std::string& to);

/// Copies the file `from` to `to` through a temporary file in the folder of `to`, which then
/// replaces a file at `to` in one step. Returns CFileException::none or the cause of the
/// failure.
CFileException::Cause CopyFileOver(const std::string& from, const std::string& to);
