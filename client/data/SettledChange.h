#pragma once
// What became of a change, told as the member reads it: made, not made, or
// unknown. A lost answer is settled by reading the change back.

#include "data/ReadBack.h"
#include "data/RequestResult.h"

#include <QString>

#include <functional>

struct SettledChange {
    enum class State {
        Made,    // the server made it (or a read-back found it made)
        NotMade, // refused, out of reach, or a read-back found it not made
        Unknown, // the answer was lost and the read-back failed too
    };
    State state = State::NotMade;
    // Rows the change touched when made; a read-back that found it counts one.
    long long rows = 0;
    // What to tell the member when it was not made or is unknown; empty when made.
    QString text;

    bool made() const { return state == State::Made; }
    // Made, and some row took it: a change that matched no row leaves the
    // stored rows as another member left them.
    bool madeOnARow() const { return made() && rows > 0; }

    // The outcome of a change; readBack tells, after a lost answer, whether
    // the server holds the change.
    static SettledChange of(const ChangeOutcome &outcome,
                            const std::function<ReadBack::Stored()> &readBack);
};
