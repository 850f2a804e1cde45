#pragma once
// Runs a handler; an error escaping it is shown in the application's default
// error box and the program goes on.

#include "Dialogs.h"

#include <exception>

template <class Handler> bool guarded(Handler &&handler) {
    try {
        handler();
        return true;
    } catch (const std::exception &error) {
        Dialogs::showError(QString::fromUtf8(error.what()));
    }
    return false;
}
