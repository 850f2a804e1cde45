#include "data/SettledChange.h"

#include <QDebug>

SettledChange SettledChange::of(const ChangeOutcome &outcome,
                                const std::function<ReadBack::Stored()> &readBack) {
    if (outcome.ok())
        return {State::Made, outcome.count(), {}};
    const Failure &failure = outcome.failure();
    if (failure.kind != Failure::Kind::AnswerLost)
        return {State::NotMade, 0, failure.text()};
    switch (readBack()) {
    case ReadBack::Stored::Yes:
        qInfo() << "A change whose answer was lost was read back as made.";
        return {State::Made, 1, {}};
    case ReadBack::Stored::No:
        return {State::NotMade, 0,
                QStringLiteral("与服务器的连接中断，修改未保存，请再试一次。")};
    case ReadBack::Stored::Unknown:
        break;
    }
    return {State::Unknown, 0, failure.text()};
}
