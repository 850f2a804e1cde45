// What the wait for changes costs and gives, on the busy department:
//  1. a notice written by one member reaches the panel of each of M waiting
//     members (each told, then asking for its panel with its tag): p50 and
//     p99 from the change sent to the refreshed answer, against today's
//     100-second reminder (a delay spread evenly over 0-100 s);
//  2. N members waiting and nothing changing: the server's CPU and memory;
//  3. one task changing with N members waiting, each asking again for its
//     own task list with its tag: the requests caused, how many found their
//     list unchanged (304), and how soon every one was answered.
// The members are raw keep-alive connections driven from one thread.
//
//     bench_live [M, default 1000] [N, default 10000] [idle seconds, default 20]

#include "harness/BenchDatabase.h"
#include "harness/BenchMain.h"
#include "harness/ServerUse.h"
#include "support/ServerProcess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const std::string kMethods = "/datasnap/rest/TZelServerDataBase/";

double millisSince(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

struct Answer {
    int status = 0;
    std::string etag;
    std::string body;
};

// One member's keep-alive connection: a request out, its answer read back.
struct Member {
    int socket = -1;
    int index = 0;
    std::string in;
    std::string etag;  // of the member's last statement answer
    std::string token; // of the last versions told
    std::function<void(Member &, const Answer &)> onAnswer;
};

std::string authorization(int member) {
    const QByteArray pair =
        (BenchDatabase::loginName(member % BenchDatabase::kMembers) + ":pw").toUtf8();
    return "Authorization: Basic " + pair.toBase64().toStdString() + "\r\n";
}

std::string waitRequest(const Member &member) {
    return "GET /datasnap/changes" + (member.token.empty() ? "" : "?since=" + member.token) +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + authorization(member.index) + "\r\n";
}

std::string queryRequest(const Member &member, const std::string &sql) {
    std::string request = "POST " + kMethods + "OpenSQL HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                          authorization(member.index) +
                          "Content-Type: text/plain\r\nA-IM: rowdiff\r\nContent-Length: " +
                          std::to_string(sql.size()) + "\r\n";
    if (!member.etag.empty())
        request += "If-None-Match: " + member.etag + "\r\n";
    return request + "\r\n" + sql;
}

// The panel of the last fifteen days, as the client asks for it.
std::string panelStatement() {
    const std::string since =
        QDateTime::currentDateTime().addDays(-15).toString("yyyy-MM-dd").toStdString();
    return "Select * From Notice Where CreateTime>='" + since + "'Order by CreateTime desc";
}

std::string taskListStatement(int member) {
    const std::string name =
        BenchDatabase::memberName(member % BenchDatabase::kMembers).toStdString();
    return "Select * From Task Where TaskPerformer like'%" + name + "%' and TaskCompleteFlag<>'2'";
}

std::string headerValue(const std::string &head, const std::string &name) {
    const std::string key = "\r\n" + name + ": ";
    const size_t at = head.find(key);
    if (at == std::string::npos)
        return {};
    const size_t end = head.find("\r\n", at + key.size());
    return head.substr(at + key.size(), end - at - key.size());
}

// Drives every member's connection from one thread with epoll.
class Members {
public:
    explicit Members(int port) : port_(port), epoll_(epoll_create1(0)) {}
    ~Members() {
        for (Member &member : members_)
            if (member.socket >= 0)
                close(member.socket);
        close(epoll_);
    }

    void connectAll(int count) {
        members_.resize(size_t(count));
        for (int i = 0; i < count; ++i) {
            Member &member = members_[size_t(i)];
            member.index = i;
            member.socket = socket(AF_INET, SOCK_STREAM, 0);
            if (member.socket < 0)
                throw std::runtime_error("out of sockets: raise the open-file limit");
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(uint16_t(port_));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (connect(member.socket, reinterpret_cast<sockaddr *>(&address), sizeof address))
                throw std::runtime_error("cannot connect member " + std::to_string(i));
            const int one = 1;
            setsockopt(member.socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            fcntl(member.socket, F_SETFL, O_NONBLOCK);
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.u32 = uint32_t(i);
            epoll_ctl(epoll_, EPOLL_CTL_ADD, member.socket, &event);
        }
    }

    std::vector<Member> &all() { return members_; }

    static void send(Member &member, const std::string &request) {
        for (size_t sent = 0; sent < request.size();) {
            const ssize_t n =
                ::send(member.socket, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                throw std::runtime_error("a member's connection was closed");
            sent += size_t(n);
        }
    }

    // Reads answers until done() holds or the time is up; false then.
    bool run(const std::function<bool()> &done, int timeoutMs) {
        const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        epoll_event events[256];
        while (!done()) {
            const int left =
                int(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now())
                        .count());
            if (left <= 0)
                return false;
            const int ready = epoll_wait(epoll_, events, 256, left);
            for (int e = 0; e < ready; ++e)
                readFrom(members_[events[e].data.u32]);
        }
        return true;
    }

private:
    static void readFrom(Member &member) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = recv(member.socket, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            member.in.append(buffer, size_t(n));
        }
        for (;;) {
            const size_t headEnd = member.in.find("\r\n\r\n");
            if (headEnd == std::string::npos)
                return;
            const std::string head = member.in.substr(0, headEnd);
            const size_t length = std::stoul("0" + headerValue(head, "Content-Length"));
            if (member.in.size() < headEnd + 4 + length)
                return;
            Answer answer;
            answer.status = std::atoi(head.c_str() + 9);
            answer.etag = headerValue(head, "ETag");
            answer.body = member.in.substr(headEnd + 4, length);
            member.in.erase(0, headEnd + 4 + length);
            if (member.onAnswer)
                member.onAnswer(member, answer);
        }
    }

    int port_;
    int epoll_;
    std::vector<Member> members_;
};

std::string tokenOf(const std::string &body) {
    const std::string key = "\"token\":\"";
    const size_t at = body.find(key);
    return at == std::string::npos
               ? std::string()
               : body.substr(at + key.size(), body.find('"', at + key.size()) - at - key.size());
}

bool write(int port, const std::string &sql) {
    httplib::Client client("127.0.0.1", port);
    client.set_basic_auth(BenchDatabase::loginName(0).toStdString(), "pw");
    auto result = client.Post(kMethods + "ExecSQL", sql, "text/plain");
    return result && result->status == 200 && result->body.find("true") != std::string::npos;
}

// Every member asks the statement once (keeping its tag), then waits for a change.
void settle(Members &members, const std::function<std::string(int)> &statement) {
    int pending = 0;
    for (Member &member : members.all()) {
        member.onAnswer = [&](Member &m, const Answer &answer) {
            if (!answer.etag.empty())
                m.etag = answer.etag;
            else
                m.token = tokenOf(answer.body);
            --pending;
        };
        Members::send(member, queryRequest(member, statement(member.index)));
        Members::send(member, waitRequest(member));
        pending += 2;
    }
    if (!members.run([&] { return pending == 0; }, 120000))
        throw std::runtime_error("the members did not settle in time");
    for (Member &member : members.all())
        Members::send(member, waitRequest(member));
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

// A notice reaches every waiting member's panel.
void noticeReachesPanels(ServerProcess &server, int count) {
    Members members(server.port());
    members.connectAll(count);
    settle(members, [](int) { return panelStatement(); });

    std::vector<double> told, refreshed;
    std::map<int, int> statuses;
    Clock::time_point sent;
    for (Member &member : members.all())
        member.onAnswer = [&](Member &m, const Answer &answer) {
            if (answer.etag.empty() && answer.status == 200 && !answer.body.empty() &&
                answer.body.front() == '{' && answer.body.find("\"token\"") != std::string::npos) {
                told.push_back(millisSince(sent, Clock::now()));
                m.token = tokenOf(answer.body);
                Members::send(m, queryRequest(m, panelStatement()));
                return;
            }
            ++statuses[answer.status];
            refreshed.push_back(millisSince(sent, Clock::now()));
        };
    sent = Clock::now();
    const std::string now =
        QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss").toStdString();
    if (!write(server.port(), "Insert into Notice values('项目编号:GD1 有新的派发任务','" +
                                  BenchDatabase::memberName(0).toStdString() + "','" +
                                  BenchDatabase::memberName(1).toStdString() + "','" + now + "')"))
        throw std::runtime_error("the notice was not stored");
    const double written = millisSince(sent, Clock::now());
    members.run([&] { return int(refreshed.size()) == count; }, 60000);

    std::printf("\n1. A notice reaches the panels of %d waiting members (written in %.1f ms)\n",
                count, written);
    std::printf("| | p50 | p99 | max | answered | vs the 100 s reminder (p50 50 s, p99 99 s) |\n"
                "|---|---|---|---|---|---|\n");
    std::printf("| told | %.1f ms | %.1f ms | %.1f ms | %zu | |\n", percentile(told, 0.5),
                percentile(told, 0.99), percentile(told, 1), told.size());
    std::printf("| panel refreshed | %.1f ms | %.1f ms | %.1f ms | %zu | p50 %.5f×, p99 %.5f× |\n",
                percentile(refreshed, 0.5), percentile(refreshed, 0.99), percentile(refreshed, 1),
                refreshed.size(), percentile(refreshed, 0.5) / 50000,
                percentile(refreshed, 0.99) / 99000);
    std::printf("refresh answers:");
    for (const auto &[status, n] : statuses)
        std::printf(" %d×%d", n, status);
    std::printf("\n");
}

// N members wait while nothing changes; then one task changes.
void manyWaiting(ServerProcess &server, int count, int idleSeconds, const std::string &projectId) {
    const ServerUse before = serverUse(server.pid());
    Members members(server.port());
    members.connectAll(count);
    settle(members, taskListStatement);
    const ServerUse settled = serverUse(server.pid());
    const auto idleFrom = Clock::now();
    // Nothing should come: the waits are held.
    int early = 0;
    for (Member &member : members.all())
        member.onAnswer = [&](Member &, const Answer &) { ++early; };
    members.run([] { return false; }, idleSeconds * 1000);
    const ServerUse idle = serverUse(server.pid());
    const double idleCpu =
        (idle.cpuSeconds - settled.cpuSeconds) / (millisSince(idleFrom, Clock::now()) / 1000);

    std::printf("\n2. %d members waiting, nothing changing, for %d s\n", count, idleSeconds);
    std::printf("| server CPU | RSS | RSS per waiter | peak RSS | answers meanwhile |\n"
                "|---|---|---|---|---|\n");
    std::printf("| %.2f %% of a core | %.1f MiB | %.1f KiB | %.1f MiB | %d |\n", idleCpu * 100,
                idle.rssKiB / 1024.0, double(idle.rssKiB - before.rssKiB) / count,
                idle.peakKiB / 1024.0, early);

    // One member's task is claimed: every waiter is told, and asks again for its list.
    std::map<int, int> statuses;
    int told = 0, answered = 0;
    Clock::time_point sent;
    double lastTold = 0, lastAnswered = 0;
    for (Member &member : members.all())
        member.onAnswer = [&](Member &m, const Answer &answer) {
            if (answer.etag.empty() && answer.body.find("\"token\"") != std::string::npos) {
                ++told;
                lastTold = millisSince(sent, Clock::now());
                Members::send(m, queryRequest(m, taskListStatement(m.index)));
                return;
            }
            ++statuses[answer.status];
            ++answered;
            lastAnswered = millisSince(sent, Clock::now());
        };
    sent = Clock::now();
    // Dispatched, nobody claims it yet: no member's own task list changes.
    const std::string now =
        QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss").toStdString();
    if (!write(server.port(), "Insert into Task values('" + projectId + "','bench live task','" +
                                  BenchDatabase::memberName(0).toStdString() + "','','" + now +
                                  "','" + now + "','0','','','" +
                                  BenchDatabase::memberName(3).toStdString() + "')"))
        std::printf("(the task was refused; the waits are answered all the same)\n");
    members.run([&] { return answered == count; }, 120000);
    std::printf("\n3. One task changes with %d members waiting\n", count);
    std::printf("| told | last told | requests caused | last answered | answers |\n"
                "|---|---|---|---|---|\n");
    std::printf("| %d | %.0f ms | %d | %.0f ms |", told, lastTold, answered, lastAnswered);
    for (const auto &[status, n] : statuses)
        std::printf(" %d×%d", n, status);
    std::printf(" |\n");
}

std::string firstProject(const QString &path) {
    sqlite3 *db = nullptr;
    std::string id;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, "select ProId from Programe limit 1", -1, &statement, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            id = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return id;
}

int run(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int panelMembers = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int waiting = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int idleSeconds = argc > 3 ? std::atoi(argv[3]) : 20;
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);

    QTemporaryDir dir;
    const QString path = dir.filePath("busy.db");
    BenchDatabase::seedFile(path);
    // Waits may take three quarters of the connections; the members here
    // share 50 logins, so no bound per login.
    const QString connections = QString::number(std::max(panelMembers, waiting) * 4 / 3 + 1000);
    ServerProcess server({"--max-connections", connections, "--per-address", "0", "--reader-share",
                          "100000", "--idle-s", "60", "--waits-per-login", "0"});
    server.setDatabase(path);
    if (!server.start())
        throw std::runtime_error(server.errorText().toStdString());
    std::printf("bench_live: the busy department, one server on SQLite, members as raw "
                "keep-alive connections from one thread\n");
    noticeReachesPanels(server, panelMembers);
    manyWaiting(server, waiting, idleSeconds, firstProject(path));
    server.stop();
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    return runBenchmark(run, argc, argv);
}
