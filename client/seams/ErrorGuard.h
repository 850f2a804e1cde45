#pragma once
// Runs a handler. A request that fails in its middle stops it, and the member
// reads why; anything else escaping it is a fault of the program, logged and
// told in the application's default error box. The program goes on.

#include "data/RequestResult.h"
#include "seams/Dialogs.h"

#include <QDebug>

#include <exception>

// A query whose rows a handler cannot do without failed: the handler stops,
// and whoever catches it tells the failure's text.
struct RequestFailed : std::exception {
    explicit RequestFailed(Failure f) : failure(std::move(f)) {}
    const char *what() const noexcept override { return "request to the server failed"; }
    Failure failure;
};

// The rows of a query, or the handler stops here with its failure.
inline const PDataPacket &rowsOf(const QueryResult &result) {
    if (!result.ok())
        throw RequestFailed(result.failure());
    return result.rows();
}

template <class Handler> bool guarded(Handler &&handler) {
    try {
        handler();
        return true;
    } catch (const RequestFailed &failed) {
        Dialogs::showError(failed.failure.text());
    } catch (const std::exception &error) {
        qWarning().noquote() << "Handler stopped:" << error.what();
        Dialogs::showError(QStringLiteral("程序内部出错，此次操作未完成。"));
    }
    return false;
}
