#pragma once
// The client's one source of "now", so that tests can choose the instant.

#include <QDateTime>

namespace AppClock {
QDateTime now();
void setFixed(const QDateTime &instant); // an invalid instant returns to the real clock
} // namespace AppClock
