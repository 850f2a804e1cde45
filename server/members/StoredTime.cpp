#include "StoredTime.h"

namespace appserver {
namespace {

std::string formatted(std::time_t instant, const char *format) {
    std::tm local{};
    localtime_r(&instant, &local);
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

} // namespace

std::string storedTime(std::time_t instant) {
    return formatted(instant, "%Y-%m-%d %H:%M:%S");
}

std::string storedDate(std::time_t instant) {
    return formatted(instant, "%Y-%m-%d");
}

} // namespace appserver
