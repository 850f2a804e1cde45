#pragma once
// Where the application server is, as both connections to it spell it.

#include <QString>

#include <string>

// "http://host:port" or "https://host:port"; an IPv6 address in brackets.
std::string serverUrl(const QString &host, int port, bool tls);
// The path the server's methods live under: "datasnap/" as "/datasnap/".
std::string contextRoot(const QString &context);
