#include "members/StoredTime.h"

#include <cstdio>

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

namespace {

std::string withoutBlanks(const std::string &text) {
    size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    return text.substr(begin, end - begin);
}

// The number the count digits at from spell, or -1 when one of them is no digit.
int digits(const std::string &text, size_t from, size_t count) {
    int value = 0;
    for (size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

} // namespace

std::optional<std::string> readStoredTime(const std::string &stored) {
    const std::string t = withoutBlanks(stored);
    const size_t size = t.size();
    if (size != 10 && size != 16 && size != 19)
        return std::nullopt;
    if (t[4] != '-' || t[7] != '-' || (size > 10 && (t[10] != ' ' || t[13] != ':')) ||
        (size > 16 && t[16] != ':'))
        return std::nullopt;
    const int year = digits(t, 0, 4), month = digits(t, 5, 2), day = digits(t, 8, 2);
    const int hour = size > 10 ? digits(t, 11, 2) : 0;
    const int minute = size > 10 ? digits(t, 14, 2) : 0;
    const int second = size > 16 ? digits(t, 17, 2) : 0;
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                  minute, second);
    return std::string(text);
}

bool sameStoredTime(const std::string &a, const std::string &b) {
    const auto first = readStoredTime(a), second = readStoredTime(b);
    if (first && second)
        return *first == *second;
    return withoutBlanks(a) == withoutBlanks(b);
}

} // namespace appserver
