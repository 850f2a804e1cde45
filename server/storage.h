#pragma once
// The one interface between the HTTP front and a database engine.
// A Storage hands out Sessions; each Session is one database connection that
// serves one request at a time, so a worker thread holds one while it works.

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace appserver {

// The three server methods; each admits its own kind of statement.
enum class Method { OpenSQL, ExecSQL, DelSQL };

const char *methodName(Method method);

enum class Outcome {
    Ok,
    Empty,    // the text holds no statement
    Refused,  // the statement is not one this server runs for that method
    Failed,   // the database could not carry the statement out
};

using Cell = std::optional<std::string>; // SQL NULL is nullopt

struct StatementResult {
    Outcome outcome = Outcome::Ok;
    std::string error;
    std::vector<std::string> columns;
    std::vector<std::vector<Cell>> rows;
    long long changes = 0;
};

class Session {
public:
    virtual ~Session() = default;
    virtual StatementResult run(Method method, const std::string &sql) = 0;
};

class Storage {
public:
    virtual ~Storage() = default;
    virtual std::unique_ptr<Session> openSession() = 0;
};

} // namespace appserver
