#pragma once
// Why a request to the application server did not give what it asked for.
// The member reads text(), in Chinese; the server's own words go to the log.

#include <QString>

struct Failure {
    enum class Kind {
        Unreached,  // no connection to the server: nothing was carried out
        AnswerLost, // sent, but no answer came back: a change may have been made
        Refused,    // the server answered no, with its reason and code
        Busy,       // the server is busy: the same request may be sent again shortly
    };
    Kind kind = Kind::Refused;
    QString code;   // the server's stable code for a refusal; empty when it gave none
    QString reason; // the server's or the connection's own words, for the log
    QString where;  // "host:port" when known

    // What the member is told, in Chinese: the cause, and what to do.
    QString text() const;
};
