#include "CommandLine.h"

#include "solvane_version.h"

#include <cstdio>
#include <cstring>

namespace {

const char kHelp[] =
    "Usage: solvane [--help] [--version] [Qt options]\n"
    "The desktop client of the Solvane project and task platform. It logs in to the\n"
    "department's solvane-server, whose address it reads from Server.ini beside the\n"
    "program (or ~/.config/solvane/Server.ini where that folder cannot be written);\n"
    "what that file does not say is read from /etc/solvane/Server.ini.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -v, --version  show the version and exit\n"
    "\n"
    "Qt's own options apply as well, such as -platform offscreen or -style fusion.\n";

} // namespace

std::optional<int> CommandLine::answer(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--version") || !std::strcmp(argv[i], "-v")) {
            std::printf("solvane %s\n", SOLVANE_VERSION);
            return 0;
        }
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kHelp, stdout);
            return 0;
        }
    }
    return std::nullopt;
}
