#pragma once
// Times as the tables hold them: "yyyy-MM-dd HH:mm:ss" in the server's local
// time, so that text order is time order.

#include <ctime>
#include <optional>
#include <string>

namespace appserver {

std::string storedTime(std::time_t instant);
// "yyyy-MM-dd": what the client's panel compares CreateTime with.
std::string storedDate(std::time_t instant);

// A stored time as "yyyy-MM-dd HH:mm:ss", read as the client reads one:
// "yyyy-MM-dd", "yyyy-MM-dd HH:mm" or "yyyy-MM-dd HH:mm:ss" within blanks;
// nothing for a text that is no time.
std::optional<std::string> readStoredTime(const std::string &text);
// Whether two stored times name the same instant; texts that are no time
// are the same only as the same text.
bool sameStoredTime(const std::string &a, const std::string &b);

} // namespace appserver
