#pragma once
// What went wrong with a request to the application server, in the member's
// words: the server could not be reached (and where it was looked for), the
// answer was lost, or the server refused the change.

#include <QString>

#include <exception>
#include <string>

struct ServerFailure {
    enum class Kind {
        None,       // the last request succeeded
        Unreached,  // no connection to the server
        AnswerLost, // sent, but no answer came back: a change may be stored
        Refused,    // the server answered no
        Other,
    };
    Kind kind = Kind::None;
    QString text; // empty with None

    bool failed() const { return kind != Kind::None; }

    // The failure an exception from the gateway or the connection stands for.
    static ServerFailure of(const std::exception &error);
    // A change the server answered with no, and why, when it said.
    static ServerFailure refused(const std::string &reason = {});
};
