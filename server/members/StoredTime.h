#pragma once
// Times as the tables hold them: "yyyy-MM-dd HH:mm:ss" in the server's local
// time, so that text order is time order.

#include <ctime>
#include <string>

namespace appserver {

std::string storedTime(std::time_t instant);
// "yyyy-MM-dd": what the client's panel compares CreateTime with.
std::string storedDate(std::time_t instant);

} // namespace appserver
