#include "projects/ProjectRules.h"

#include "data/statements/SqlValues.h"
#include "data/statements/TimeText.h"

#include <QSet>

namespace ProjectRules {

QString prefix(Kind kind) {
    switch (kind) {
    case Kind::Demand:
        return QStringLiteral("GD");
    case Kind::NewProduct:
        return QStringLiteral("KF");
    case Kind::Routine:
        break;
    }
    return QStringLiteral("SW");
}

QString caption(Kind kind) {
    switch (kind) {
    case Kind::Demand:
        return QStringLiteral("项目需求");
    case Kind::NewProduct:
        return QStringLiteral("新品开发");
    case Kind::Routine:
        break;
    }
    return QStringLiteral("日常事务");
}

Kind kindOfNumber(const QString &number) {
    if (number.contains(QLatin1String("GD"), Qt::CaseInsensitive))
        return Kind::Demand;
    if (number.contains(QLatin1String("KF"), Qt::CaseInsensitive))
        return Kind::NewProduct;
    return Kind::Routine;
}

namespace {
QString sequence(int n) {
    return QString::number(n + 1000).right(3);
}
} // namespace

QString dayPrefix(Kind kind, const QDate &day) {
    return prefix(kind) + day.toString(QStringLiteral("yyyyMMdd"));
}

QString nextNumber(Kind kind, const QDate &day, const QStringList &storedNumbers) {
    const QSet<QString> taken(storedNumbers.begin(), storedNumbers.end());
    const int first = (static_cast<int>(storedNumbers.size()) + 1) % 1000;
    for (int step = 0; step < 1000; ++step) {
        const QString number = dayPrefix(kind, day) + sequence((first + step) % 1000);
        if (!taken.contains(number))
            return number;
    }
    return dayPrefix(kind, day) + sequence(first); // all thousand taken: the server refuses it
}

bool isOpen(const QString &completeFlag) {
    return SqlValues::trimmed(completeFlag).compare(QLatin1String("No"), Qt::CaseInsensitive) == 0;
}

State state(const QString &completeFlag, const QString &dueTime, const QDateTime &now) {
    if (!isOpen(completeFlag))
        return State::Completed;
    const QDateTime due = TimeText::parse(dueTime);
    if (!due.isValid())
        return State::OpenNotDue;
    return due > TimeText::minuteOf(now) ? State::OpenNotDue : State::OpenDue;
}

QColor colour(State state) {
    switch (state) {
    case State::OpenNotDue:
        return QColor(200, 100, 50);
    case State::OpenDue:
        return QColor(255, 50, 50);
    case State::Completed:
        break;
    }
    return QColor(100, 200, 50);
}

QStringList flowNodeLines(const QString &flowNodes) {
    if (flowNodes.isEmpty())
        return {};
    return flowNodes.split(QLatin1Char('|'));
}

QString withFlowNode(const QString &flowNodes, const QString &text, const QString &author) {
    const QString node = SqlValues::trimmed(text) + QStringLiteral("---") + author;
    const QString existing = SqlValues::trimmed(flowNodes);
    return existing.isEmpty() ? node : existing + QLatin1Char('|') + node;
}

} // namespace ProjectRules
