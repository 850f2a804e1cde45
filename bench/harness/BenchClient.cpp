#include "harness/BenchClient.h"

#include "harness/BenchDatabase.h"
#include "seams/Dialogs.h"
#include "shell/LoginSettings.h"

#include <QSettings>

#include <cstdio>

namespace BenchClient {

bool startBusyDepartment(const QTemporaryDir &dir, ServerProcess &server,
                         const std::function<void(const QString &dbPath)> &prepare) {
    const QString path = dir.filePath("bench.db");
    BenchDatabase::seedFile(path);
    if (prepare)
        prepare(path);
    server.setDatabase(path);
    if (!server.start()) {
        std::fprintf(stderr, "server did not start: %s\n", qPrintable(server.errorText()));
        return false;
    }
    LoginSettings::setPathForTesting(dir.filePath("Server.ini"));
    QSettings ini(dir.filePath("Server.ini"), QSettings::IniFormat);
    ini.setValue("Server/Port", server.port());
    ini.sync();
    Dialogs::setRecording(true);
    return true;
}

} // namespace BenchClient
