#pragma once

#include <functional>

/// Runs a command handler. A file or archive error that ends it (a file that cannot be read,
/// a damaged play list) is reported to the user with the stop icon, naming the file and the
/// reason, and goes no further: no exception crosses the event loop. Returns false when an
/// error was reported.
bool GuardCommand(const std::function<void()>& handler);
