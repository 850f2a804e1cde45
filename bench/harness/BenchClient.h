#pragma once
// What the client benchmarks share: the busy department's database in a
// temporary folder, a real server over it, and the client's Server.ini
// pointing there with message boxes recorded.

#include "support/ServerProcess.h"

#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace BenchClient {

using Clock = std::chrono::steady_clock;

inline double since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline double median(std::vector<double> millis) {
    std::sort(millis.begin(), millis.end());
    return millis[millis.size() / 2];
}

// Seeds the database, lets `prepare` change the file before the server
// opens it, starts the server and points the client at it. False with a
// message on stderr when the server does not come up.
bool startBusyDepartment(const QTemporaryDir &dir, ServerProcess &server,
                         const std::function<void(const QString &dbPath)> &prepare = {});

} // namespace BenchClient
