#pragma once
// Runs a handler; an error escaping it is shown in the application's default
// error box and the program goes on.

#include "DataAccess.h"
#include "Dialogs.h"
#include "MissingAnswer.h"
#include "ServerError.h"
#include "ServerFailure.h"

#include <exception>

// What the member is told of an error: a request that failed says what
// happened to it (the server unreachable, the answer lost), not how the
// missing rows were noticed.
inline QString failureText(const std::exception &error) {
    if (dynamic_cast<const MissingAnswer *>(&error)) {
        const ServerFailure failure = DataAccess::lastFailure();
        if (failure.failed())
            return failure.text;
    }
    if (dynamic_cast<const ServerError *>(&error))
        return ServerFailure::of(error).text;
    return QString::fromUtf8(error.what());
}

template <class Handler> bool guarded(Handler &&handler) {
    try {
        handler();
        return true;
    } catch (const std::exception &error) {
        Dialogs::showError(failureText(error));
    }
    return false;
}
