#include "commands/Options.h"

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

struct NumberFlag {
    const char *name;
    int Options::*field;
    int low, high;
};

constexpr NumberFlag kNumberFlags[] = {
    {"--port", &Options::port, 0, 65535},
    {"--threads", &Options::threads, 1, 256},
    {"--queue", &Options::queue, 1, 100000},
    {"--statement-ms", &Options::statementMillis, 10, 600000},
    {"--write-ms", &Options::writeMillis, 10, 600000},
    {"--queue-ms", &Options::queueMillis, 10, 600000},
    {"--max-answer-mb", &Options::maxAnswerMiB, 1, 4096},
    {"--max-value-mb", &Options::maxValueMiB, 1, 1024},
    {"--kept-answers-mb", &Options::keptAnswersMiB, 1, 65536},
    {"--max-connections", &Options::maxConnections, 1, 1000000},
    {"--per-address", &Options::perAddress, 0, 1000000},
    {"--idle-s", &Options::idleSeconds, 1, 86400},
    {"--reader-share", &Options::readerShare, 0, 100000},
    {"--login-tries", &Options::loginTries, 1, 1000000},
    {"--address-tries", &Options::addressTries, 1, 1000000},
    {"--login-tries-all", &Options::loginTriesEverywhere, 1, 1000000},
    {"--waits-per-login", &Options::waitsPerLogin, 0, 1000000},
    {"--waits-per-address", &Options::waitsPerAddress, 0, 1000000},
    {"--daily-kb", &Options::dailyKiB, 1, 4194304},
    {"--daily-notice-kb", &Options::dailyNoticeKiB, 1, 4194304},
    {"--login-wait-max-s", &Options::longestLoginWait, 1, 86400},
    {"--changes-quiet-s", &Options::changesQuietSeconds, 1, 3600},
    {"--changes-probe-ms", &Options::changesProbeMillis, 10, 600000},
    {"--journal-days", &Options::journalDays, 0, 1000000},
};

} // namespace

const char *usageText() {
    return "usage: solvane-server [--db PATH] [--listen ADDR] [--port N] [--context PATH]\n"
           "                      [--threads N] [--queue N] [--statement-ms N] [--write-ms N]\n"
           "                      [--queue-ms N] [--read-only]\n"
           "                      [--max-answer-mb N] [--max-value-mb N] [--kept-answers-mb N]\n"
           "                      [--max-connections N] [--per-address N] [--idle-s N] [--demo]\n"
           "                      [--reader-share N] [--login-tries N] [--address-tries N]\n"
           "                      [--login-tries-all N] [--waits-per-login N]\n"
           "                      [--waits-per-address N] [--daily-kb N] [--daily-notice-kb N]\n"
           "                      [--login-wait-max-s N] [--changes-quiet-s N] [--changes-probe-ms "
           "N]\n"
           "                      [--tls-cert FILE --tls-key FILE] [--statements client|any]\n"
           "                      [--trusted-proxy ADDR[,ADDR...]]\n"
           "       solvane-server [--db PATH] --add-member USER PASSWORD NAME\n"
           "       solvane-server [--db PATH] [--check] [--backup FILE]\n"
           "       solvane-server [--db PATH] --history PROJECT\n"
           "       solvane-server --db POSTGRES --init [--grant-to ROLE]\n"
           "       solvane-server --db PATH --copy-to POSTGRES\n"
           "  --db PATH           database file, created on first start (solvane.db), or a\n"
           "                      PostgreSQL database: postgresql://user@host/dbname or\n"
           "                      \"host=... dbname=...\"\n"
           "  --listen ADDR       address to listen on (127.0.0.1; 0.0.0.0 for a LAN)\n"
           "  --port N            TCP port (10003; 0 picks a free one)\n"
           "  --context PATH      path the methods live under (datasnap/)\n"
           "  --threads N         database workers running queries (one per core)\n"
           "  --queue N           statements that may wait for a worker; more get 503 (256)\n"
           "  --statement-ms N    longest a query may take from its arrival, its wait for a\n"
           "                      worker included (3000)\n"
           "  --write-ms N        longest a change may run (1000)\n"
           "  --queue-ms N        longest a change may wait for the writer; then it gets 503\n"
           "                      at once and is not made (6000: with --write-ms and the\n"
           "                      answer, under the client's 8 s)\n"
           "  --read-only         serve a SQLite database the server cannot write: queries\n"
           "                      only, changes get 403 (without it such a file is an error)\n"
           "  --max-answer-mb N   largest query answer in MiB (64)\n"
           "  --max-value-mb N    longest text or blob a statement may make, in MiB (16)\n"
           "  --kept-answers-mb N memory for answers kept for reuse, in MiB (256); one\n"
           "                      answer is kept up to an eighth of it\n"
           "  --max-connections N connections open at once (1000)\n"
           "  --per-address N     connections open at once from one address (32; 0: no limit)\n"
           "  --idle-s N          seconds a silent connection is kept (5)\n"
           "  --reader-share N    queries one member may have in flight; more get 503\n"
           "                      (half the --threads, at least 1; the administrators'\n"
           "                      logins are not limited)\n"
           "  --login-tries N     failed logins a login name has from one address before\n"
           "                      it waits there (5)\n"
           "  --address-tries N   failed logins an address has before it waits (20)\n"
           "  --login-tries-all N failed logins a login name has from all addresses\n"
           "                      before it waits at every address that has failed (100)\n"
           "  --login-wait-max-s N  longest such wait, doubling from 1 s (60); a waiting\n"
           "                      login or address gets 429 with Retry-After\n"
           "  --waits-per-login N waits for changes one login name may hold (4; 0: no\n"
           "                      limit); all together hold at most 3/4 of\n"
           "                      --max-connections; more get 429 with Retry-After\n"
           "  --waits-per-address N  waits for changes one address may hold (half of\n"
           "                      --per-address, 16; 0: no limit)\n"
           "  --daily-kb N        KiB of projects, tasks and flow nodes a login may add\n"
           "                      in a day (1024); more get 403\n"
           "  --daily-notice-kb N KiB of notices a login may add in a day (128)\n"
           "  --changes-quiet-s N a client waiting for changes is answered after this long\n"
           "                      without one (25), before a proxy would cut it\n"
           "  --changes-probe-ms N  how often the versions are looked up for changes made\n"
           "                      by other servers or processes while clients wait (1000)\n"
           "  --journal-days N    days the journal of changes keeps each entry (3660, ten\n"
           "                      years; 0: for ever)\n"
           "  --tls-cert FILE     serve HTTPS with this certificate (PEM), with --tls-key\n"
           "  --tls-key FILE      the certificate's private key (PEM)\n"
           "  --trusted-proxy ADDRS  numeric addresses of reverse proxies in front of the\n"
           "                      server, comma-separated: a request from one counts\n"
           "                      against the client its X-Forwarded-For names, and the\n"
           "                      proxy's connections are not bounded by --per-address\n"
           "  --statements WHICH  client: only the Solvane client's statements (default);\n"
           "                      any: also other statements, for tb58, vqk and tapvoreld\n"
           "  --demo              seed an empty database with the demo department\n"
           "  --add-member U P N  insert a member (login name, password, display name), exit;\n"
           "                      P as - reads the password from standard input\n"
           "  --check             check the database for damage, exit (1 when damaged)\n"
           "  --backup FILE       copy the database to FILE while it is served, exit\n"
           "  --history PROJECT   print the journal's changes of a project and its tasks,\n"
           "                      newest first, exit\n"
           "  --init              create the tables in the PostgreSQL database, exit\n"
           "  --grant-to ROLE     with --init: let ROLE read and change their rows\n"
           "  --copy-to POSTGRES  copy the database into an empty PostgreSQL one, exit\n"
           "  --help, --version   this text, or the version, and exit\n";
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
        const NumberFlag *number = nullptr;
        for (const auto &flag : kNumberFlags)
            if (arg == flag.name)
                number = &flag;
        std::string value;
        if (number) {
            if (!next(value))
                return std::nullopt;
            if (!toInt(value, number->low, number->high, options.*number->field)) {
                error = arg + " takes a number from " + std::to_string(number->low) + " to " +
                        std::to_string(number->high);
                return std::nullopt;
            }
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--check") {
            options.check = true;
        } else if (arg == "--init") {
            options.init = true;
        } else if (arg == "--grant-to") {
            if (!next(options.grantTo))
                return std::nullopt;
        } else if (arg == "--copy-to") {
            if (!next(options.copyTo))
                return std::nullopt;
        } else if (arg == "--history") {
            if (!next(options.history))
                return std::nullopt;
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
        } else if (arg == "--tls-cert") {
            if (!next(options.tlsCert))
                return std::nullopt;
        } else if (arg == "--tls-key") {
            if (!next(options.tlsKey))
                return std::nullopt;
        } else if (arg == "--trusted-proxy") {
            if (!next(value))
                return std::nullopt;
            options.trustedProxies += (options.trustedProxies.empty() ? "" : ",") + value;
        } else if (arg == "--statements") {
            if (!next(value))
                return std::nullopt;
            if (value != "client" && value != "any") {
                error = "--statements takes client or any";
                return std::nullopt;
            }
            options.anyStatement = value == "any";
        } else if (arg == "--read-only") {
            options.readOnly = true;
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
    if (options.tlsCert.empty() != options.tlsKey.empty()) {
        error = "--tls-cert and --tls-key go together";
        return std::nullopt;
    }
    return options;
}

} // namespace appserver
