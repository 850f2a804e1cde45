#include "storage/postgres/PgStatement.h"

#include "statements/ClientTables.h"
#include "statements/Dialect.h"
#include "statements/SqlLexer.h"

#include <strings.h>

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <vector>

namespace appserver {
namespace {

unsigned tableBit(const char *table) {
    for (size_t t = 0; t < std::size(kClientTables); ++t)
        if (std::string_view(kClientTables[t]) == table)
            return 1u << t;
    return 0;
}

bool sameWord(std::string_view text, const char *word) {
    return text.size() == std::char_traits<char>::length(word) &&
           strncasecmp(text.data(), word, text.size()) == 0;
}

bool isOneOf(std::string_view text, std::initializer_list<const char *> words) {
    for (const char *word : words)
        if (sameWord(text, word))
            return true;
    return false;
}

const char *tableSpelling(std::string_view name) {
    for (const ClientTable &table : kClientTableColumns)
        if (sameWord(name, table.name))
            return table.name;
    return nullptr;
}

// A table's or column's own spelling for a name in any letter case.
const char *nameSpelling(std::string_view name) {
    if (const char *table = tableSpelling(name))
        return table;
    for (const ClientTable &table : kClientTableColumns)
        for (const char *column : table.columns)
            if (column && sameWord(name, column))
                return column;
    return nullptr;
}

// The name a token stands for: a bare word, or one quoted with "", `` or [].
std::string_view nameOf(const SqlToken &token) {
    if (token.kind == SqlToken::Word)
        return token.text;
    if (token.kind == SqlToken::Quoted && token.text.size() >= 2 && token.text[0] != '\'')
        return token.text.substr(1, token.text.size() - 2);
    return {};
}

// Plain functions of values, as on SQLite; the rest (settings, files, sleeping,
// the catalog) is out of a client's reach.
bool isAllowedFunction(std::string_view name) {
    return isOneOf(name, {"lower", "upper", "length", "substr", "substring", "trim", "ltrim",
                          "rtrim", "replace", "instr", "strpos", "coalesce", "ifnull", "nullif",
                          "count", "max", "min", "sum", "avg", "abs", "round", "cast"});
}

// Words that may stand before a parenthesis without calling anything.
bool isKeywordBeforeParenthesis(std::string_view word) {
    return isOneOf(word, {"select", "from", "where", "and", "or", "not", "in", "exists", "values",
                          "as", "on", "join", "by", "when", "then", "else", "case", "set",
                          "having", "any", "all", "some", "union", "except", "intersect", "is",
                          "like", "ilike", "between", "distinct", "into", "using", "limit",
                          "offset", "returning"});
}

// Ends a FROM list: what follows names no table.
bool endsFromList(std::string_view word) {
    return isOneOf(word, {"where", "group", "order", "limit", "having", "union", "except",
                          "intersect", "on", "using", "window", "offset", "fetch", "for", "set",
                          "returning", "values", "select"});
}

struct Piece {
    SqlToken token;
    std::string before, after; // text put around the token
    std::string text;          // what stands for the token
};

bool isWordByte(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
           u == '$' || u >= 0x80;
}

// What lies between two tokens is blanks and comments, as SQLite reads them;
// a comment PostgreSQL would end elsewhere is named.
const char *commentReadOtherwise(std::string_view gap) {
    for (size_t at = 0; at < gap.size();) {
        if (gap.compare(at, 2, "--") == 0) {
            const size_t end = std::min(gap.find('\n', at), gap.size());
            if (gap.substr(at, end - at).find('\r') != std::string_view::npos)
                return "a -- comment holding a carriage return";
            at = end;
        } else if (gap.compare(at, 2, "/*") == 0) {
            const size_t end = std::min(gap.find("*/", at + 2), gap.size());
            if (gap.substr(at + 2, end - at - 2).find("/*") != std::string_view::npos)
                return "a comment inside a comment";
            at = end + 2;
        } else {
            ++at;
        }
    }
    return nullptr;
}

// PostgreSQL must see the tokens SQLite's lexer saw, or the guard has judged
// another statement than the one that runs: escape strings (E'\''), dollar
// quotes ($$'$$) and comments it ends elsewhere are refused.
std::optional<std::string> lexedOtherwise(std::string_view sql,
                                          const std::vector<SqlToken> &tokens) {
    size_t end = 0; // of the previous token
    for (size_t i = 0; i <= tokens.size(); ++i) {
        const size_t start =
            i < tokens.size() ? size_t(tokens[i].text.data() - sql.data()) : sql.size();
        if (const char *comment = commentReadOtherwise(sql.substr(end, start - end)))
            return std::string("statement refused: ") + comment +
                   " is read otherwise by PostgreSQL";
        if (i == tokens.size())
            break;
        const SqlToken &token = tokens[i];
        if (token.kind != SqlToken::Quoted && token.text.find('$') != std::string_view::npos)
            return std::string("statement refused: $ is allowed only inside quotes (PostgreSQL "
                               "reads $…$ as a string)");
        if (token.kind == SqlToken::Quoted && token.text[0] == '\'' && i > 0 &&
            tokens[i - 1].kind == SqlToken::Word && end == start &&
            (tokens[i - 1].text == "E" || tokens[i - 1].text == "e"))
            return std::string("statement refused: E'…' strings are not allowed (PostgreSQL "
                               "reads backslash escapes in them)");
        end = start + token.text.size();
    }
    return std::nullopt;
}

// A name quoted with `` or [] in double quotes: a doubled backtick stands for
// one, a double quote inside is doubled.
std::string doubleQuoted(const SqlToken &token) {
    const std::string_view inner = token.text.substr(1, token.text.size() - 2);
    std::string out = "\"";
    for (size_t at = 0; at < inner.size(); ++at) {
        if (token.text[0] == '`' && inner[at] == '`' && at + 1 < inner.size() &&
            inner[at + 1] == '`')
            ++at;
        if (inner[at] == '"')
            out += '"';
        out += inner[at];
    }
    return out + '"';
}

class Translation {
public:
    Translation(Method method, std::string sql) : method_(method), sql_(std::move(sql)) {
        SqlLexer lexer(sql_);
        std::vector<SqlToken> tokens;
        for (SqlToken token = lexer.next(); token.kind != SqlToken::End; token = lexer.next())
            tokens.push_back(token);
        lexedOtherwise_ = lexedOtherwise(sql_, tokens);
        for (const SqlToken &token : tokens)
            pieces_.push_back({token, {}, {}, std::string(token.text)});
        while (!pieces_.empty() && pieces_.back().token.is(';'))
            pieces_.pop_back();
        while (!pieces_.empty() && pieces_.front().token.is(';'))
            pieces_.erase(pieces_.begin());
    }

    PgStatement run() {
        if (pieces_.empty())
            return {Outcome::Empty, {}, "the request holds no SQL statement"};
        if (lexedOtherwise_)
            return {Outcome::Refused, {}, *lexedOtherwise_};
        if (!checkKind() || !checkParts())
            return {Outcome::Refused, {}, refusal_};
        rewrite();
        PgStatement statement{Outcome::Ok, assemble(), {}};
        noteWhatIsRead(statement);
        return statement;
    }

private:
    bool refuse(std::string why) {
        refusal_ = std::move(why);
        return false;
    }

    bool checkKind() {
        for (const Piece &piece : pieces_)
            if (piece.token.is(';'))
                return refuse("only one statement per request is allowed");
        if (replacesConflictingRows(sql_))
            return refuse("REPLACE is not allowed: it deletes the rows it conflicts with");
        const SqlToken &first = pieces_.front().token;
        if (method_ == Method::OpenSQL && !first.isWord("SELECT"))
            return refuse("OpenSQL runs only read-only SELECT statements");
        if (method_ == Method::ExecSQL && !first.isWord("INSERT") && !first.isWord("UPDATE"))
            return refuse("ExecSQL runs only INSERT and UPDATE statements");
        if (method_ == Method::DelSQL && !first.isWord("DELETE"))
            return refuse("DelSQL runs only DELETE statements");
        return true;
    }

    // Every table named is a client table and every function a plain one.
    bool checkParts() {
        std::vector<bool> inFromList{false}; // per parenthesis depth
        bool expectTable = false;
        for (size_t i = 0; i < pieces_.size(); ++i) {
            const SqlToken &token = pieces_[i].token;
            const bool callsNext = i + 1 < pieces_.size() && pieces_[i + 1].token.is('(');
            if (expectTable) {
                expectTable = false;
                if (method_ != Method::OpenSQL && sameWord(nameOf(token), kJournalTable))
                    return refuse("statement refused: changing " + std::string(kJournalTable) +
                                  " is not allowed");
                const bool clientTable = token.is('(') || tableSpelling(nameOf(token));
                if (!clientTable && !mayNameATable(i))
                    return refuse("statement refused: reading or changing " +
                                  std::string(token.text) + " is not allowed");
                namesOtherTable_ |= !clientTable && !sameWord(nameOf(token), kJournalTable);
            }
            if (token.is('(')) {
                inFromList.push_back(false);
            } else if (token.is(')')) {
                if (inFromList.size() > 1)
                    inFromList.pop_back();
            } else if (token.is(',')) {
                expectTable = inFromList.back();
            } else if (token.kind == SqlToken::Word) {
                const bool afterDoOrFor =
                    i > 0 && (pieces_[i - 1].token.isWord("DO") || pieces_[i - 1].token.isWord("FOR"));
                if (token.isWord("FROM") || token.isWord("JOIN")) {
                    inFromList.back() = true;
                    expectTable = true;
                } else if (token.isWord("INTO") || (token.isWord("UPDATE") && !afterDoOrFor)) {
                    if (method_ == Method::OpenSQL)
                        return refuse("OpenSQL runs only read-only SELECT statements");
                    expectTable = true;
                } else if (endsFromList(token.text)) {
                    inFromList.back() = false;
                }
                if (callsNext && !isAllowedFunction(token.text) &&
                    !isKeywordBeforeParenthesis(token.text) && !tableSpelling(token.text))
                    return refuse("statement refused: the function " + std::string(token.text) +
                                  " is not allowed");
            }
        }
        if (expectTable)
            return refuse("statement refused: a table name is missing");
        return true;
    }

    // The engines' own tables and schema-qualified names are refused here;
    // any other name is left to PostgreSQL, which answers that no such table
    // exists, or, for a table the server's role was not granted, refuses it.
    bool mayNameATable(size_t i) const {
        const std::string_view name = nameOf(pieces_[i].token);
        const bool qualified = i + 1 < pieces_.size() && pieces_[i + 1].token.is('.');
        return !name.empty() && !qualified && strncasecmp(name.data(), "pg_", 3) != 0 &&
               strncasecmp(name.data(), "sqlite_", 7) != 0 &&
               !sameWord(name, "information_schema");
    }

    // Every client table named anywhere counts as read: more than read is
    // harmless, the version then moves more often than needed.
    void noteWhatIsRead(PgStatement &statement) const {
        bool readsTimeOrRole = false;
        for (const Piece &piece : pieces_) {
            const std::string_view name = nameOf(piece.token);
            for (size_t t = 0; t < std::size(kClientTables); ++t)
                if (sameWord(name, kClientTables[t]))
                    statement.tablesNamed |= 1u << t;
            // The journal is written only with a change of the other tables
            // (of projects and tasks for what members read of it).
            if (sameWord(name, kJournalTable))
                statement.tablesNamed |= tableBit("Programe") | tableBit("Task");
            readsTimeOrRole |=
                piece.token.kind == SqlToken::Word && namesTimeOrRole(piece.token.text);
        }
        statement.answerFollowsTables =
            method_ == Method::OpenSQL && !namesOtherTable_ && !readsTimeOrRole;
    }

    // The words through which a statement may read the time (CURRENT_DATE, or
    // 'now' cast to a date or time) or the session's role.
    static bool namesTimeOrRole(std::string_view word) {
        return isOneOf(word, {"current_date", "current_time", "current_timestamp", "localtime",
                              "localtimestamp", "date", "time", "timetz", "timestamp",
                              "timestamptz", "interval", "current_user", "current_role",
                              "session_user", "user", "current_catalog", "current_schema"});
    }

    // PostgreSQL 15 wants a name for a subquery in FROM, SQLite does not.
    void nameSubquery(size_t open) {
        const size_t close = operandEnd(open);
        if (close + 1 < pieces_.size()) {
            const SqlToken &next = pieces_[close + 1].token;
            if (next.isWord("AS") || (next.kind == SqlToken::Quoted && next.text[0] == '"') ||
                (next.kind == SqlToken::Word && !endsFromList(next.text) && !isJoinWord(next.text)))
                return;
        }
        pieces_[close].after += " AS derived";
    }

    static bool isJoinWord(std::string_view word) {
        return isOneOf(word, {"join", "left", "right", "inner", "outer", "cross", "full",
                              "natural"});
    }

    void rewrite() {
        bool inSetClause = false; // "UseName=" there assigns rather than compares
        int depth = 0;
        for (size_t i = 0; i < pieces_.size(); ++i) {
            Piece &piece = pieces_[i];
            const SqlToken &token = piece.token;
            if (token.is('('))
                ++depth;
            else if (token.is(')'))
                --depth;
            if (depth == 0 && token.isWord("SET"))
                inSetClause = true;
            else if (depth == 0 && token.isWord("WHERE"))
                inSetClause = false;

            if (token.is('(') && i > 0 &&
                (pieces_[i - 1].token.isWord("FROM") || pieces_[i - 1].token.isWord("JOIN"))) {
                nameSubquery(i);
            } else if (token.isWord("LIKE")) {
                piece.text = patternWithoutLetters(i) ? "LIKE" : "ILIKE";
                withoutEscapeCharacter(i);
            } else if (token.isWord("INSTR") && calls(i)) {
                piece.text = "strpos";
            } else if (token.isWord("IFNULL") && calls(i)) {
                piece.text = "coalesce";
            } else if (const char *name = nameSpelling(nameOf(token)); name && !calls(i)) {
                piece.text = std::string("\"") + name + "\"";
                if (!inSetClause && sameWord(name, "UseName"))
                    compareWithoutCase(i);
            } else if (token.kind == SqlToken::Quoted && token.text[0] != '\'' &&
                       token.text[0] != '"') {
                piece.text = doubleQuoted(token); // `name` and [name]
            }
        }
    }

    bool calls(size_t i) const { return i + 1 < pieces_.size() && pieces_[i + 1].token.is('('); }

    // A pattern without ASCII letters matches the same text in any letter
    // case, so LIKE answers as SQLite's LIKE does; ILIKE would lower every row
    // compared (PostgreSQL does so in a multibyte database), at several times
    // the cost. Only a literal standing alone, not part of an expression.
    bool patternWithoutLetters(size_t like) const {
        const size_t pattern = like + 1;
        if (pattern >= pieces_.size() || pieces_[pattern].token.kind != SqlToken::Quoted ||
            pieces_[pattern].token.text[0] != '\'')
            return false;
        if (pattern + 1 < pieces_.size()) {
            const SqlToken &next = pieces_[pattern + 1].token;
            if (next.kind != SqlToken::Word && !next.is(')') && !next.is(','))
                return false;
        }
        for (char c : pieces_[pattern].token.text)
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                return false;
        return true;
    }

    // SQLite's LIKE has no escape character unless one is named; PostgreSQL's
    // has the backslash.
    void withoutEscapeCharacter(size_t like) {
        const size_t pattern = like + 1;
        if (pattern >= pieces_.size() || pieces_[pattern].token.kind != SqlToken::Quoted ||
            pieces_[pattern].token.text[0] != '\'')
            return;
        if (pattern + 1 < pieces_.size()) {
            const SqlToken &next = pieces_[pattern + 1].token;
            if (next.isWord("ESCAPE") || next.is('|'))
                return;
        }
        pieces_[pattern].after += " ESCAPE ''";
    }

    // The operator that starts at i ("=", "<>", "!="); its length in tokens, 0 if none.
    size_t comparisonAt(size_t i) const {
        if (i >= pieces_.size())
            return 0;
        const SqlToken &first = pieces_[i].token;
        const bool pairs = i + 1 < pieces_.size();
        if ((first.is('<') && pairs && pieces_[i + 1].token.is('>')) ||
            (first.is('!') && pairs && pieces_[i + 1].token.is('=')))
            return 2;
        return first.is('=') ? 1 : 0;
    }

    // The last token of the operand that starts at i: one token, or a
    // parenthesised group.
    size_t operandEnd(size_t i) const {
        int depth = 0;
        for (size_t j = i; j < pieces_.size(); ++j) {
            depth += pieces_[j].token.is('(') ? 1 : pieces_[j].token.is(')') ? -1 : 0;
            if (depth <= 0)
                return j;
        }
        return pieces_.size() - 1;
    }

    size_t operandStart(size_t i) const {
        int depth = 0;
        for (size_t j = i + 1; j-- > 0;) {
            depth += pieces_[j].token.is(')') ? 1 : pieces_[j].token.is('(') ? -1 : 0;
            if (depth <= 0)
                return j;
        }
        return 0;
    }

    // lower() on both sides, as the unique index on lower("UseName") is built;
    // "C" folds ASCII letters only, as SQLite's NOCASE does.
    void lowerBoth(size_t firstStart, size_t firstEnd, size_t secondStart, size_t secondEnd) {
        for (auto [start, end] : {std::pair{firstStart, firstEnd}, std::pair{secondStart, secondEnd}}) {
            pieces_[start].before += "lower(";
            pieces_[end].after += " COLLATE \"C\")";
        }
    }

    void compareWithoutCase(size_t column) {
        const size_t start =
            column >= 2 && pieces_[column - 1].token.is('.') ? column - 2 : column;
        if (const size_t op = comparisonAt(column + 1); op && column + 1 + op < pieces_.size()) {
            const size_t other = column + 1 + op;
            lowerBoth(start, column, other, operandEnd(other));
            return;
        }
        for (size_t length : {size_t(2), size_t(1)}) {
            if (start < length + 1 || comparisonAt(start - length) != length)
                continue;
            const SqlToken &before = pieces_[start - length - 1].token;
            if (length == 1 && (before.is('<') || before.is('>') || before.is('!')))
                return; // "<=", ">=": an ordering, not an equality
            const size_t otherEnd = start - length - 1;
            lowerBoth(operandStart(otherEnd), otherEnd, start, column);
            return;
        }
    }

    // Text put in stands apart from its neighbours: "'x'OR" + "lower(" must
    // not become the call ORlower(.
    static void join(std::string &out, const std::string &text, bool inserted) {
        if (text.empty())
            return;
        const auto binds = [](char c) { return isWordByte(c) || c == '\'' || c == '"'; };
        if (inserted && !out.empty() && binds(out.back()) && binds(text.front()))
            out += ' ';
        out += text;
    }

    std::string assemble() const {
        std::string out;
        out.reserve(sql_.size() + 64);
        size_t copied = size_t(pieces_.front().token.text.data() - sql_.data());
        bool afterInserted = false; // the text last put out was put in
        for (const Piece &piece : pieces_) {
            const size_t offset = size_t(piece.token.text.data() - sql_.data());
            const std::string gap = sql_.substr(copied, offset - copied);
            join(out, gap, afterInserted);
            afterInserted &= gap.empty();
            join(out, piece.before, true);
            join(out, piece.text, afterInserted || !piece.before.empty());
            join(out, piece.after, true);
            afterInserted = !piece.after.empty();
            copied = offset + piece.token.text.size();
        }
        return out;
    }

    Method method_;
    std::string sql_;
    std::vector<Piece> pieces_;
    std::string refusal_;
    std::optional<std::string> lexedOtherwise_;
    bool namesOtherTable_ = false; // a table the server keeps no counter of
};

} // namespace

PgStatement translateForPostgres(Method method, const std::string &sql) {
    return Translation(method, withDeleteFrom(sql)).run();
}

} // namespace appserver
