#include "options.h"

#include <cstdlib>

namespace appserver {
namespace {

bool toInt(const std::string &text, int low, int high, int &value) {
    char *end = nullptr;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || parsed < low || parsed > high)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

} // namespace

const char *usageText() {
    return "usage: solvane-server [--db PATH] [--listen ADDR] [--port N] [--context PATH]\n"
           "                      [--threads N] [--statement-ms N] [--demo]\n"
           "       solvane-server [--db PATH] --add-member USER PASSWORD NAME\n"
           "       solvane-server [--db PATH] [--check] [--backup FILE]\n"
           "  --db PATH          database file, created on first start (solvane.db)\n"
           "  --listen ADDR      address to listen on (127.0.0.1; 0.0.0.0 for a LAN)\n"
           "  --port N           TCP port (10003; 0 picks a free one)\n"
           "  --context PATH     path the methods live under (datasnap/)\n"
           "  --threads N        worker threads (64)\n"
           "  --statement-ms N   longest a statement may run (3000)\n"
           "  --demo             seed an empty database with the demo department\n"
           "  --add-member U P N insert a member (login name, password, display name), exit\n"
           "  --check            check the database for damage, exit (1 when damaged)\n"
           "  --backup FILE      copy the database to FILE while it is served, exit\n"
           "  --help, --version  this text, or the version, and exit\n";
}

std::optional<Options> parseOptions(int argc, char **argv, std::string &error) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&](std::string &out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string value;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--check") {
            options.check = true;
        } else if (arg == "--backup") {
            if (!next(options.backupTo))
                return std::nullopt;
        } else if (arg == "--db") {
            if (!next(options.db))
                return std::nullopt;
        } else if (arg == "--listen") {
            if (!next(options.listen))
                return std::nullopt;
        } else if (arg == "--context") {
            if (!next(options.context))
                return std::nullopt;
        } else if (arg == "--port") {
            if (!next(value) || !toInt(value, 0, 65535, options.port)) {
                error = error.empty() ? "--port takes a number from 0 to 65535" : error;
                return std::nullopt;
            }
        } else if (arg == "--threads") {
            if (!next(value) || !toInt(value, 1, 1024, options.threads)) {
                error = error.empty() ? "--threads takes a number from 1 to 1024" : error;
                return std::nullopt;
            }
        } else if (arg == "--statement-ms") {
            if (!next(value) || !toInt(value, 10, 600000, options.statementMillis)) {
                error = error.empty() ? "--statement-ms takes a number from 10 to 600000" : error;
                return std::nullopt;
            }
        } else if (arg == "--demo") {
            options.demo = true;
        } else if (arg == "--add-member") {
            if (i + 3 >= argc) {
                error = "--add-member needs USER PASSWORD NAME";
                return std::nullopt;
            }
            options.addMember = {argv[i + 1], argv[i + 2], argv[i + 3]};
            i += 3;
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }
    return options;
}

} // namespace appserver
