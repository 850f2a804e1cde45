#include "seams/AppClock.h"

namespace {
QDateTime gFixed;
}

namespace AppClock {
QDateTime now() {
    return gFixed.isValid() ? gFixed : QDateTime::currentDateTime();
}
void setFixed(const QDateTime &instant) {
    gFixed = instant;
}
} // namespace AppClock
