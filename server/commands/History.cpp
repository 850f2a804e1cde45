#include "commands/History.h"

#include "statements/SqlLexer.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace appserver {
namespace {

std::string cell(const CellView &value) { return value ? std::string(*value) : std::string(); }

std::string shownValue(const nlohmann::json &value) {
    return value.is_string() ? "\"" + value.get<std::string>() + "\"" : std::string("-");
}

// "Column: before -> after; ..." from the journal's JSON.
std::string changesText(const std::string &json) {
    const auto changes = nlohmann::json::parse(json, nullptr, false);
    if (!changes.is_object())
        return json;
    std::string text;
    for (const auto &[column, values] : changes.items()) {
        if (!text.empty())
            text += "; ";
        text += column + ": ";
        if (values.is_array() && values.size() == 2)
            text += shownValue(values[0]) + " -> " + shownValue(values[1]);
    }
    return text;
}

class Printer : public RowSink {
public:
    explicit Printer(std::FILE *out) : out_(out) {}
    void begin(const std::vector<std::string> &) override {}
    bool add(const std::vector<CellView> &row) override {
        // time, login, name, verb, table, key id, content, demander, changes
        const std::string what = cell(row[4]) == "Task"
                                     ? "task " + cell(row[5]) + " / " + cell(row[6]) + " / " +
                                           cell(row[7])
                                     : "project " + cell(row[5]);
        std::fprintf(out_, "%s\t%s (%s)\t%s\t%s\t%s\n", cell(row[0]).c_str(), cell(row[1]).c_str(),
                     cell(row[2]).c_str(), cell(row[3]).c_str(), what.c_str(),
                     changesText(cell(row[8])).c_str());
        ++printed;
        return true;
    }
    long long printed = 0;

private:
    std::FILE *out_;
};

} // namespace

long long printHistory(Storage &storage, const std::string &project, std::FILE *out) {
    const std::string sql = "Select ChangedAt,ByLogin,ByName,Verb,RowTable,KeyId,KeyContent,"
                            "KeyDemander,Changes From solvane_journal where KeyId=" +
                            quotedLiteral(project) + " and RowTable<>'Login' order by Seq desc";
    auto session = storage.openSession();
    session->beginRequest();
    Printer printer(out);
    const StatementResult result = session->run(Method::OpenSQL, sql, printer);
    if (result.outcome != Outcome::Ok)
        throw std::runtime_error("cannot read the journal: " + result.error);
    return printer.printed;
}

} // namespace appserver
