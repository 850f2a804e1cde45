#pragma once
#include <optional>
#include <string>
#include <vector>

namespace appserver {

struct Options {
    std::string db = "solvane.db";
    std::string listen = "127.0.0.1";
    int port = 10003; // 0 picks a free port, printed at start
    std::string context = "datasnap/";
    int threads = 0; // database workers; 0: one per core
    int queue = 256; // statements that may wait for a worker
    int statementMillis = 3000;
    int writeMillis = 1000;
    int queueMillis = 6000; // a change that waited longer for the writer is not made
    int maxAnswerMiB = 64;
    int maxValueMiB = 16;
    int keptAnswersMiB = 256; // answers kept for reuse, all together
    int maxConnections = 1000;
    int perAddress = 32; // 0: no limit
    int idleSeconds = 5;
    int readerShare = 0;           // queries one login may have in flight; 0: half the readers
    int loginTries = 5;            // failed logins a login name has from one address before it must wait
    int addressTries = 20;         // failed logins an address has before it must wait
    int loginTriesEverywhere = 100; // a login name's failed logins from all addresses together
    int waitsPerLogin = 4;         // waits for changes one login may hold
    int waitsPerAddress = -1;      // waits for changes one address may hold; 0: no limit;
                                   // -1: half of perAddress
    int dailyKiB = 1024;           // KiB of projects, tasks, flow nodes a login may add a day
    int dailyNoticeKiB = 128;      // KiB of notices a login may add in a day
    int longestLoginWait = 60;     // seconds, the cap of the doubling waits
    int changesQuietSeconds = 25;  // longest a wait for changes is held without one
    int changesProbeMillis = 1000; // how often waits look for changes made elsewhere
    int journalDays = 3660;        // the journal keeps each entry this long; 0: for ever
    bool demo = false;
    std::string tlsCert, tlsKey;        // PEM files: serve HTTPS
    std::string trustedProxies;         // "ADDR,ADDR": proxies whose X-Forwarded-For counts
    bool anyStatement = false;          // privileged members may run other statements
    bool readOnly = false;              // serve a SQLite file that cannot be written: reads only
    std::vector<std::string> addMember; // USER PASSWORD NAME
    bool help = false;
    bool version = false;
    std::string backupTo; // copy the database there and exit
    bool check = false;   // integrity check of the database, then exit
    bool init = false;    // PostgreSQL: create the tables as their owner, then exit
    std::string grantTo;  // with --init: the role the server runs as
    std::string copyTo;   // copy the SQLite database into this PostgreSQL one, exit
    std::string history;  // print the journal's history of this project, exit
};

// Parses argv; on a mistake returns nullopt and puts the reason in error.
std::optional<Options> parseOptions(int argc, char **argv, std::string &error);

const char *usageText();

} // namespace appserver
