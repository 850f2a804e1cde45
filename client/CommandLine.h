#pragma once
// --version and --help, answered before the application object exists: they
// must work in a terminal without a display.

#include <optional>

namespace CommandLine {

// The exit status when the arguments ask for --version or --help (the answer
// printed on stdout); nullopt when the client is to start.
std::optional<int> answer(int argc, char **argv);

} // namespace CommandLine
