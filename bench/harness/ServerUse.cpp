#include "harness/ServerUse.h"

#include <QFile>
#include <QList>
#include <QString>

#include <unistd.h>

namespace {

long kibOf(const QByteArray &line) {
    return line.mid(6).trimmed().split(' ').value(0).toLong();
}

} // namespace

ServerUse serverUse(qint64 pid) {
    ServerUse use;
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        // The fields after the command's closing parenthesis; utime and stime are 14th and 15th.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 13)
            use.cpuSeconds = (fields[11].toDouble() + fields[12].toDouble()) / sysconf(_SC_CLK_TCK);
    }
    QFile status(QString("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                use.peakKiB = kibOf(line);
            else if (line.startsWith("VmRSS:"))
                use.rssKiB = kibOf(line);
        }
    return use;
}
