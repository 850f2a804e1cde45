#pragma once
// What a server process has used so far, read from /proc: its CPU time and
// its resident memory now and at its peak.

#include <QtGlobal>

struct ServerUse {
    double cpuSeconds = 0;
    long rssKiB = 0, peakKiB = 0;
};

ServerUse serverUse(qint64 pid);
