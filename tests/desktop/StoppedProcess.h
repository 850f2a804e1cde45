#pragma once
// Ends a program a desktop test started: asked to end first, killed when it
// does not within ten seconds.

#include <QProcess>

inline void stopProcess(QProcess &process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(10000);
    }
}
