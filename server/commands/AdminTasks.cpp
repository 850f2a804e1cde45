#include "commands/AdminTasks.h"

#include "members/MemberNames.h"

#include <sqlite3.h>

#include <ctime>
#include <stdexcept>
#include <vector>

namespace appserver {
namespace {

class Connection {
public:
    explicit Connection(const SqliteStorage &storage) : db_(storage.openTrustedConnection()) {}
    ~Connection() { sqlite3_close_v2(db_); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void exec(const char *sql) {
        char *message = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
            std::string text = message ? message : sqlite3_errmsg(db_);
            sqlite3_free(message);
            throw std::runtime_error(text);
        }
    }

    // Runs one statement with its values bound in order.
    void run(const char *sql, const std::vector<std::string> &values) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db_));
        for (size_t i = 0; i < values.size(); ++i)
            sqlite3_bind_text(stmt, static_cast<int>(i + 1), values[i].c_str(), -1,
                              SQLITE_TRANSIENT);
        const int rc = sqlite3_step(stmt);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(db_));
    }

    long long count(const char *sql) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db_));
        long long value = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
        sqlite3_finalize(stmt);
        return value;
    }

private:
    sqlite3 *db_;
};

std::string localText(std::time_t when, const char *format) {
    char text[32];
    std::tm local{};
    localtime_r(&when, &local);
    std::strftime(text, sizeof text, format, &local);
    return text;
}

std::string timeText(std::time_t when) { return localText(when, "%Y-%m-%d %H:%M:%S"); }
std::string dateDigits(std::time_t when) { return localText(when, "%Y%m%d"); }

struct DemoMember {
    const char *useName;
    const char *remark;
};

// The three privileged login names first, then the staff.
constexpr DemoMember kDemoMembers[] = {
    {"tb58", "Mareth"}, {"vqk", "Quenby"},   {"tapvoreld", "Tavish"}, {"halvic", "Halvic"},
    {"kestra", "Kestra"}, {"aldren", "Aldren"}, {"berric", "Berric"},   {"fennick", "Fennick"},
    {"gessa", "Gessa"},   {"elsken", "Elsken"}, {"dorvan", "Dorvan"},   {"calwen", "Calwen"},
    {"ivrel", "Ivrel"},   {"jorun", "Jorun"},
};
constexpr const char *kDemoPassword = "solvane";

} // namespace

void addMember(const SqliteStorage &storage, const std::string &useName,
               const std::string &password, const std::string &remark) {
    if (useName.empty() || password.empty() || remark.empty())
        throw std::runtime_error("login name, password and display name must not be empty");
    // The same names a privileged member may add through the server.
    if (auto why = badLoginName(useName))
        throw std::runtime_error(*why);
    if (auto why = badDisplayName(remark))
        throw std::runtime_error(*why);
    Connection db(storage);
    try {
        db.run("INSERT INTO Login VALUES(?,?,?)", {useName, password, remark});
    } catch (const std::runtime_error &error) {
        if (std::string(error.what()).find("UNIQUE") != std::string::npos)
            throw std::runtime_error("a member with the login name " + useName +
                                     " exists already");
        throw;
    }
}

bool seedDemo(const SqliteStorage &storage) {
    Connection db(storage);
    if (db.count("SELECT (SELECT count(*) FROM Login) + (SELECT count(*) FROM Programe) + "
                 "(SELECT count(*) FROM Task) + (SELECT count(*) FROM Notice)") > 0)
        return false;

    const std::time_t now = std::time(nullptr);
    const std::time_t day = 24 * 3600;
    db.exec("BEGIN");
    try {
        for (const auto &member : kDemoMembers)
            db.run("INSERT INTO Login VALUES(?,?,?)", {member.useName, kDemoPassword, member.remark});

        struct DemoProject {
            const char *prefix;
            int daysAgo;
            int dueInDays;
            const char *from, *aim, *content, *demander, *performers, *flag;
        };
        const DemoProject projects[] = {
            {"GD", 6, 20, "华东客户", "户外LCD广告屏", "商场外墙两块55寸屏安装", "Mareth",
             "Halvic|Kestra|Dorvan", "No"},
            {"KF", 4, 30, "研发部", "新款壁挂机", "壁挂式一体机结构与系统选型", "Quenby",
             "Elsken|Calwen", "No"},
            {"SW", 2, -1, "行政部", "展厅维护", "展厅样机巡检并更换故障屏", "Halvic", "Jorun",
             "No"},
            {"GD", 9, 3, "华南客户", "地铁导视屏", "地铁站导视系统交付", "Tavish",
             "Kestra|Elsken|Jorun", "Yes"},
        };
        int sequence = 0;
        std::vector<std::string> ids;
        for (const auto &p : projects) {
            const std::time_t created = now - p.daysAgo * day;
            std::string id = std::string(p.prefix) + dateDigits(created) + "00" +
                             std::to_string(++sequence);
            ids.push_back(id);
            db.run("INSERT INTO Programe VALUES(?,?,?,?,?,?,?,?,?,?,?)",
                   {id, p.from, p.aim, p.content, p.demander, p.performers, timeText(created),
                    timeText(now + p.dueInDays * day), p.flag, "2",
                    std::string("业务需求---") + p.demander});
            db.run("INSERT INTO Notice VALUES(?,?,?,?)",
                   {"项目编号:" + id + "项目内容:" + p.content + "已成功创建", p.demander,
                    p.performers, timeText(created)});
        }

        struct DemoTask {
            int project;
            const char *content, *demander, *performer;
            int daysAgo, dueInDays;
            const char *flag, *cc;
        };
        const DemoTask tasks[] = {
            {0, "了解项目信息，初填评审表", "Mareth", "Kestra", 6, 2, "1", "Kestra|Halvic"},
            {0, "审核评审表，沟通客户", "Mareth", "", 5, 8, "0", "Kestra|Halvic"},
            {1, "结构、施工评估", "Quenby", "Calwen", 4, -1, "0", "Calwen"},
            {1, "系统配置评估", "Quenby", "Elsken", 3, 10, "2", "Elsken"},
            {2, "更换故障屏", "Halvic", "Jorun", 2, 1, "0", "Jorun"},
            {2, "巡检记录整理", "Halvic", "", 1, 5, "0", "Jorun|Halvic"},
            {3, "依项目信息及BOM单检测成品", "Tavish", "Jorun", 9, -2, "2", "Jorun"},
            {3, "生产-电气BOM", "Tavish", "Elsken", 8, -3, "2", "Elsken"},
        };
        for (const auto &t : tasks) {
            db.run("INSERT INTO Task VALUES(?,?,?,?,?,?,?,?,?,?)",
                   {ids[t.project], t.content, t.demander, t.performer,
                    timeText(now - t.daysAgo * day), timeText(now + t.dueInDays * day), t.flag,
                    "", "", t.cc});
            db.run("INSERT INTO Notice VALUES(?,?,?,?)",
                   {"项目编号:" + ids[t.project] + " 添加了派发任务，请以下执行人选注意查收",
                    t.demander, t.cc, timeText(now - t.daysAgo * day + 600)});
        }
        db.exec("COMMIT");
    } catch (...) {
        db.exec("ROLLBACK");
        throw;
    }
    return true;
}

} // namespace appserver
