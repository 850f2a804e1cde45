// What turning an OpenSQL answer into a DataPacket costs the client, and
// whether simdjson would make it cheaper: the general reader (nlohmann-json
// SAX), the reader of the server's own shape, and simdjson On-Demand and DOM
// filling the same packet, on the hot statements' answers from a busy
// department's server. The walks that build no QString show how much of the
// time goes to UTF-8 to UTF-16, and "QStrings alone" times the conversion by itself.
//
//     bench_parse [repeats]

#include "data/answers/AnswerShapeReader.h"
#include "data/answers/PacketParser.h"
#include "data/connection/ServerConnection.h"
#include "harness/BenchClient.h"
#include "harness/BenchDatabase.h"
#include "harness/BenchMain.h"
#include "harness/HotStatements.h"
#include "support/ServerProcess.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <simdjson.h>

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using BenchClient::Clock;

// The walkers below hand every string to one of these: a packet with
// QString cells, exactly what the client keeps, or a sum that builds nothing.
class PacketFiller {
public:
    explicit PacketFiller(DataPacket &packet) : packet_(packet) {}
    void column(std::string_view name) { packet_.columns << toQString(name); }
    void cell(std::string_view text) { packet_.cells.push_back(toQString(text)); }
    void nullCell() { packet_.cells.emplace_back(); }
    size_t width() const { return size_t(packet_.columns.size()); }
    size_t cellCount() const { return packet_.cells.size(); }

private:
    static QString toQString(std::string_view text) {
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    DataPacket &packet_;
};

class ByteCounter {
public:
    void column(std::string_view name) {
        bytes_ += name.size();
        ++columns_;
    }
    void cell(std::string_view text) {
        bytes_ += text.size();
        ++cells_;
    }
    void nullCell() { ++cells_; }
    size_t width() const { return columns_; }
    size_t cellCount() const { return cells_; }
    size_t bytes() const { return bytes_; }

private:
    size_t bytes_ = 0, columns_ = 0, cells_ = 0;
};

void checkRowWidth(size_t rowStart, size_t cellCount, size_t width) {
    if (cellCount - rowStart != width)
        throw std::runtime_error("a row does not match the columns");
}

// A parser keeps its buffers from one answer to the next, as the client's would.
template <class Out> void walkOnDemand(const std::string &body, Out &out) {
    static simdjson::ondemand::parser parser;
    const simdjson::padded_string padded(body); // the answer arrives without simdjson's padding
    simdjson::ondemand::document document = parser.iterate(padded);
    for (auto field : document.get_object()) {
        const std::string_view key = field.unescaped_key();
        if (key == "columns") {
            for (auto name : field.value().get_array())
                out.column(std::string_view(name.get_string()));
        } else if (key == "rows") {
            for (auto row : field.value().get_array()) {
                const size_t rowStart = out.cellCount();
                for (auto cell : row.get_array()) {
                    if (bool(cell.is_null()))
                        out.nullCell();
                    else
                        out.cell(std::string_view(cell.get_string()));
                }
                checkRowWidth(rowStart, out.cellCount(), out.width());
            }
        }
    }
}

template <class Out> void walkDom(const std::string &body, Out &out) {
    static simdjson::dom::parser parser;
    const simdjson::padded_string padded(body);
    const simdjson::dom::object answer = parser.parse(padded);
    for (std::string_view name : answer["columns"].get_array())
        out.column(name);
    for (simdjson::dom::array row : answer["rows"].get_array()) {
        const size_t rowStart = out.cellCount();
        for (simdjson::dom::element cell : row) {
            if (cell.is_null())
                out.nullCell();
            else
                out.cell(std::string_view(cell.get_string()));
        }
        checkRowWidth(rowStart, out.cellCount(), out.width());
    }
}

// The byte loop of the shape reader without its QStrings: finds where each
// string ends, decodes no escape. A floor for what that reader spends besides
// the conversion.
size_t scanStringsLikeShapeReader(const std::string &body) {
    size_t bytes = 0;
    const char *p = body.data(), *end = p + body.size();
    while (p != end) {
        if (*p++ != '"')
            continue;
        const char *start = p;
        while (p != end && *p != '"') {
            if (*p == '\\' && p + 1 != end)
                ++p;
            else if (static_cast<unsigned char>(*p) < 0x20)
                throw std::runtime_error("a control character in a string");
            ++p;
        }
        bytes += size_t(p - start);
        if (p != end)
            ++p;
    }
    return bytes;
}

// Every string of an answer, decoded, to time the QString building alone.
struct DecodedStrings {
    std::vector<std::string> columns, cells;
    std::vector<bool> isNull;

    void column(std::string_view name) { columns.emplace_back(name); }
    void cell(std::string_view text) {
        cells.emplace_back(text);
        isNull.push_back(false);
    }
    void nullCell() {
        cells.emplace_back();
        isNull.push_back(true);
    }
    size_t width() const { return columns.size(); }
    size_t cellCount() const { return cells.size(); }
};

PDataPacket buildFromDecoded(const DecodedStrings &decoded) {
    auto packet = std::make_shared<DataPacket>();
    PacketFiller out(*packet);
    for (const auto &name : decoded.columns)
        out.column(name);
    for (size_t i = 0; i < decoded.cells.size(); ++i) {
        if (decoded.isNull[i])
            out.nullCell();
        else
            out.cell(decoded.cells[i]);
    }
    return packet;
}

// The general reader is not reachable by itself: a blank after the opening
// brace makes the shape reader give up at once and parseDataPacket fall back.
std::string shapeReaderWillReject(const std::string &body) {
    return "{ " + body.substr(1);
}

PDataPacket readShape(const std::string &body) {
    auto packet = std::make_shared<DataPacket>();
    if (!readServerAnswer(body, *packet))
        throw std::runtime_error("the shape reader rejected a server answer");
    return packet;
}

template <class Walk> PDataPacket fillWith(Walk walk, const std::string &body) {
    auto packet = std::make_shared<DataPacket>();
    PacketFiller out(*packet);
    walk(body, out);
    return packet;
}

template <class Walk> size_t countWith(Walk walk, const std::string &body) {
    ByteCounter out;
    walk(body, out);
    return out.bytes();
}

bool samePackets(const DataPacket &a, const DataPacket &b) {
    if (a.columns != b.columns || a.cells.size() != b.cells.size())
        return false;
    for (size_t i = 0; i < a.cells.size(); ++i)
        if (a.cells[i] != b.cells[i] || a.cells[i].isNull() != b.cells[i].isNull())
            return false;
    return true;
}

// One way of reading a body: what it is called and one timed reading. A
// reading that builds no packet returns null and leaves a sum in `sink`.
struct Reading {
    const char *label;
    std::function<PDataPacket(const std::string &body, size_t &sink)> run;
};

struct Answer {
    const char *label;
    std::string body;
};

std::vector<Answer> fetchAnswers(const ServerProcess &server) {
    ServerConnection connection; // cpp-httplib, HTTP Basic, as the client sends
    connection.setHostName(server.host());
    connection.setPort(server.port());
    connection.setCredentials(BenchDatabase::loginName(7), "pw");
    connection.open();
    const std::string path = connection.methodPath("OpenSQL");
    std::vector<Answer> answers;
    for (const auto &[label, sql] : HotStatements::forMember(BenchDatabase::memberName(7)))
        answers.push_back({label, connection.post(path, sql.toStdString())});
    return answers;
}

} // namespace

int run(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const int repeats = argc > 1 ? std::max(5, atoi(argv[1])) : 101;

    QTemporaryDir dir;
    const QString dbPath = dir.filePath("bench.db");
    BenchDatabase::seedFile(dbPath);
    ServerProcess server;
    server.setDatabase(dbPath);
    if (!server.start()) {
        std::fprintf(stderr, "server did not start: %s\n", qPrintable(server.errorText()));
        return 1;
    }
    const std::vector<Answer> answers = fetchAnswers(server);
    server.stop();

    const std::vector<Reading> readings = {
        {"(a) nlohmann SAX (fallback)",
         [](const std::string &body, size_t &) { return parseDataPacket(body); }},
        {"(b) readServerAnswer", [](const std::string &body, size_t &) { return readShape(body); }},
        {"(c) simdjson On-Demand",
         [](const std::string &body, size_t &) {
             return fillWith([](auto &text, auto &out) { walkOnDemand(text, out); }, body);
         }},
        {"(d) simdjson DOM",
         [](const std::string &body, size_t &) {
             return fillWith([](auto &text, auto &out) { walkDom(text, out); }, body);
         }},
        {"(c') On-Demand, no QString",
         [](const std::string &body, size_t &sink) {
             sink += countWith([](auto &text, auto &out) { walkOnDemand(text, out); }, body);
             return PDataPacket();
         }},
        {"(d') DOM, no QString",
         [](const std::string &body, size_t &sink) {
             sink += countWith([](auto &text, auto &out) { walkDom(text, out); }, body);
             return PDataPacket();
         }},
        {"(b') byte scan of (b), no QString",
         [](const std::string &body, size_t &sink) {
             sink += scanStringsLikeShapeReader(body);
             return PDataPacket();
         }},
    };
    const size_t kFallback = 0, kShape = 1, kPacketReadings = 4;

    std::printf("simdjson %d.%d.%d, kernel %s; %d repeats; t/t(a), t/t(b): time over that reader's "
                "(below 1 is faster)\n",
                simdjson::SIMDJSON_VERSION_MAJOR, simdjson::SIMDJSON_VERSION_MINOR,
                simdjson::SIMDJSON_VERSION_REVISION,
                simdjson::get_active_implementation()->name().c_str(), repeats);
    std::printf("\n%-18s %8s %6s  %-34s %10s %7s %7s %8s\n", "answer", "bytes", "rows", "reader",
                "median ms", "t/t(a)", "t/t(b)", "MB/s");
    size_t sink = 0;
    for (const Answer &answer : answers) {
        // The bodies each reading is given: the fallback's with its blank.
        std::vector<const std::string *> inputs;
        const std::string forFallback = shapeReaderWillReject(answer.body);
        for (size_t r = 0; r < readings.size(); ++r)
            inputs.push_back(r == kFallback ? &forFallback : &answer.body);

        std::vector<PDataPacket> packets;
        for (size_t r = 0; r < kPacketReadings; ++r)
            packets.push_back(readings[r].run(*inputs[r], sink));
        for (size_t r = 1; r < kPacketReadings; ++r)
            if (!samePackets(*packets[kFallback], *packets[r])) {
                std::fprintf(stderr, "%s: %s gives another packet than %s\n", answer.label,
                             readings[r].label, readings[kFallback].label);
                return 1;
            }
        DecodedStrings decoded;
        walkDom(answer.body, decoded);

        // Small answers are read many times per sample, so that a sample is
        // long enough for the clock.
        auto start = Clock::now();
        readings[kFallback].run(*inputs[kFallback], sink);
        const double once = BenchClient::since(start);
        const int batch = std::max(1, int(2.0 / std::max(once, 1e-4)));

        // Round-robin, so that a busier moment of the shared machine falls on every reading.
        std::vector<std::vector<double>> samples(readings.size() + 1);
        std::vector<PDataPacket> kept(static_cast<size_t>(batch));
        for (int i = 0; i < repeats; ++i) {
            for (size_t r = 0; r <= readings.size(); ++r) {
                start = Clock::now();
                for (int k = 0; k < batch; ++k)
                    kept[size_t(k)] = r < readings.size() ? readings[r].run(*inputs[r], sink)
                                                          : buildFromDecoded(decoded);
                samples[r].push_back(BenchClient::since(start) / batch);
                // Freed outside the clock: the client keeps its packets.
                std::fill(kept.begin(), kept.end(), nullptr);
            }
        }
        std::vector<double> medians;
        for (const auto &timed : samples)
            medians.push_back(BenchClient::median(timed));
        for (size_t r = 0; r < medians.size(); ++r) {
            const char *label = r < readings.size() ? readings[r].label : "(e) QStrings alone";
            const bool first = r == 0;
            std::printf("%-18s %8s %6s  %-34s %10.4f %7.3f %7.3f %8.1f\n",
                        first ? answer.label : "",
                        first ? std::to_string(answer.body.size()).c_str() : "",
                        first ? std::to_string(packets[kShape]->rowCount()).c_str() : "", label,
                        medians[r], medians[r] / medians[kFallback], medians[r] / medians[kShape],
                        double(answer.body.size()) / medians[r] / 1e3);
        }
        std::printf("\n");
    }
    std::printf("(bytes of strings walked: %zu)\n", sink);
    return 0;
}

int main(int argc, char **argv) {
    return runBenchmark(run, argc, argv);
}
