#include "commands/Backup.h"

#include "commands/Options.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>

namespace appserver {
namespace {

constexpr int kBusyTimeoutMillis = 5000;

struct ConnectionCloser {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

// Opens without the server's schema work: a check or a copy never creates or
// changes the file it reads.
Connection open(const std::string &path, int flags) {
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    Connection db(raw);
    if (rc != SQLITE_OK)
        throw std::runtime_error(path + ": " +
                                 (db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc)));
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMillis);
    return db;
}

// Copies every page in one step, so the copy is one consistent snapshot. A
// lock the source is briefly held under (WAL recovery) is waited out.
void copyPages(sqlite3 *source, sqlite3 *target, const std::string &sourcePath) {
    sqlite3_backup *backup = sqlite3_backup_init(target, "main", source, "main");
    if (!backup)
        throw std::runtime_error(sqlite3_errmsg(target));
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMillis);
    int rc = SQLITE_OK;
    while (((rc = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        throw std::runtime_error(sourcePath + ": " + sqlite3_errstr(rc));
}

// The rename survives a crash only once the folder holding it is on disk.
void syncFolderOf(const std::string &path) {
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

void backupDatabase(const std::string &dbPath, const std::string &target) {
    Connection source = open(dbPath, SQLITE_OPEN_READONLY);
    const std::string partial = target + ".part";
    std::remove(partial.c_str());
    try {
        Connection copy = open(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        copyPages(source.get(), copy.get(), dbPath);
        // The live database runs in WAL mode; the copy is one file on its own.
        char *message = nullptr;
        if (sqlite3_exec(copy.get(), "PRAGMA journal_mode=DELETE", nullptr, nullptr, &message) !=
            SQLITE_OK) {
            const std::string text = message ? message : "journal mode";
            sqlite3_free(message);
            throw std::runtime_error(partial + ": " + text);
        }
    } catch (...) {
        std::remove(partial.c_str());
        throw;
    }
    if (std::rename(partial.c_str(), target.c_str()) != 0) {
        std::remove(partial.c_str());
        throw std::runtime_error("cannot rename " + partial + " to " + target);
    }
    syncFolderOf(target);
}

std::vector<std::string> checkDatabase(const std::string &dbPath) {
    std::vector<std::string> problems;
    try {
        Connection db = open(dbPath, SQLITE_OPEN_READONLY);
        sqlite3_stmt *stmt = nullptr;
        int rc = sqlite3_prepare_v2(db.get(), "PRAGMA integrity_check", -1, &stmt, nullptr);
        if (rc == SQLITE_OK)
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
                const auto *line = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
                const std::string text = line ? line : "";
                if (text != "ok")
                    problems.push_back(text);
            }
        if (rc != SQLITE_DONE)
            problems.push_back(sqlite3_errmsg(db.get()));
        sqlite3_finalize(stmt);
    } catch (const std::exception &e) {
        problems.push_back(e.what());
    }
    return problems;
}

std::optional<int> runDatabaseCommands(const Options &options) {
    if (!options.check && options.backupTo.empty())
        return std::nullopt;
    if (options.check) {
        const auto problems = checkDatabase(options.db);
        for (const std::string &problem : problems)
            std::fprintf(stderr, "solvane-server: %s: %s\n", options.db.c_str(), problem.c_str());
        if (!problems.empty())
            return 1;
        std::printf("%s: ok\n", options.db.c_str());
    }
    if (!options.backupTo.empty()) {
        try {
            backupDatabase(options.db, options.backupTo);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "solvane-server: backup failed: %s\n", e.what());
            return 1;
        }
        std::printf("copied %s to %s\n", options.db.c_str(), options.backupTo.c_str());
    }
    return 0;
}

} // namespace appserver
