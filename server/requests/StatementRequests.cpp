#include "requests/StatementRequests.h"

#include "members/CallerRules.h"
#include "protocol/StatementShapes.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <ctime>
#include <memory>

namespace appserver {

StatementRequests::StatementRequests(WorkerQueue &readers, WorkerQueue &writer,
                                     size_t maxAnswerBytes, AnswerBudget &answerMemory,
                                     bool anyStatement, DailyBytes daily,
                                     size_t keptAnswerBytes)
    : readers_(readers), writer_(writer), anyStatement_(anyStatement),
      runner_(maxAnswerBytes, answerMemory), reuse_(runner_, keptAnswerBytes), quota_(daily) {}

namespace {

// A re-edit's deletion and insertion, split at the joint between them (the
// shape has it as its only semicolon outside quotes); any other change is
// one step of its request's method.
std::optional<std::vector<ChangeStep>> changeSteps(Method method, const std::string &body,
                                                   bool isReplacement) {
    if (!isReplacement)
        return std::vector<ChangeStep>{{method, body}};
    if (method != Method::ExecSQL)
        return std::nullopt;
    bool quoted = false;
    for (size_t at = 0; at < body.size(); ++at) {
        if (body[at] == '\'')
            quoted = !quoted; // a doubled quote flips twice
        else if (!quoted && body[at] == StatementShapes::kStatementJoint)
            return std::vector<ChangeStep>{{Method::DelSQL, body.substr(0, at)},
                                           {Method::ExecSQL, body.substr(at + 1)}};
    }
    return std::nullopt;
}

// Which of a login's daily quotas a change of this kind draws on, if any.
std::optional<DailyQuota::What> quotaOf(const std::string &shape) {
    using StatementShapes::Kind;
    const auto kind = StatementShapes::kindOf(shape);
    if (!kind)
        return std::nullopt;
    switch (*kind) {
    case Kind::AddNotice:
        return DailyQuota::What::Notices;
    case Kind::AddProject:
    case Kind::ReplaceProject:
    case Kind::ChangeProject: // the flow nodes
    case Kind::AddTask:
    case Kind::ReplaceTask:
    case Kind::ChangeTaskState: // the completion note
    case Kind::ClaimTask:
        return DailyQuota::What::Rows;
    default:
        return std::nullopt;
    }
}

Reply quotaReply(const std::string &message) {
    Reply reply = errorReply(403, message);
    reply.body = nlohmann::json{{"error", message}, {"code", "quota"}}.dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
    return reply;
}

} // namespace

// The job owns body and done; if the queue turns it down they come back unused.
struct StatementRequests::Job {
    std::string body;
    Credentials credentials;
    Delivery delivery;
    std::function<void(Reply)> done;
    std::shared_ptr<const QueryStop> stop;
    Admission admit;
    // A query's deadline counts from here, its wait for a worker included.
    std::chrono::steady_clock::time_point arrived = std::chrono::steady_clock::now();

    // The reply of a request that failed carries its statement, for the log.
    void finish(Reply reply) {
        if (!reply.failure.empty())
            reply.statement = std::move(body);
        done(std::move(reply));
    }
};

namespace {

// A query's stop is the session's for as long as the query's request runs.
class StopsQueries {
public:
    StopsQueries(Session &session, const QueryStop *stop) : session_(session) {
        session_.stopQueriesWhen(stop);
    }
    ~StopsQueries() { session_.stopQueriesWhen(nullptr); }
    StopsQueries(const StopsQueries &) = delete;
    StopsQueries &operator=(const StopsQueries &) = delete;

private:
    Session &session_;
};

} // namespace

void StatementRequests::run(Method method, std::string body, Credentials credentials,
                            Delivery delivery, std::function<void(Reply)> done,
                            std::shared_ptr<const QueryStop> stop, Admission admit) {
    WorkerQueue &queue = method == Method::OpenSQL ? readers_ : writer_;
    if (method != Method::OpenSQL)
        stop.reset(); // a change started completes
    auto shared = std::make_shared<Job>(Job{std::move(body), std::move(credentials),
                                            std::move(delivery), std::move(done), std::move(stop),
                                            std::move(admit)});
    const bool taken = queue.submit(
        [this, method, shared](Session *session) {
            const QueryStop *stop = shared->stop.get();
            if (stop && stop->raised()) {
                shared->finish(nobodyWaitsReply());
                return;
            }
            Reply reply;
            try {
                if (session) {
                    StopsQueries stops(*session, stop);
                    // A change's time counts from its turn at the writer: its
                    // wait for the turn has a bound of its own.
                    session->beginRequestStartedAt(method == Method::OpenSQL
                                                       ? shared->arrived
                                                       : std::chrono::steady_clock::now());
                    reply = answer(*session, method, *shared);
                } else {
                    reply = errorReply(503, "the server is stopping", "unavailable");
                }
            } catch (const DatabaseUnavailable &error) {
                // Its details are in the log already.
                reply = errorReply(503, error.what(), "unavailable");
            } catch (const std::exception &error) {
                reply = errorReply(
                    503, std::string("the server could not finish the request: ") + error.what(),
                    "unavailable");
            }
            if (stop && stop->raised())
                reply = nobodyWaitsReply();
            shared->finish(std::move(reply));
        },
        [shared, method] {
            // Past its time: not made, and told so.
            shared->finish(errorReply(
                503, method == Method::OpenSQL
                         ? "the server is busy: the query waited too long for a worker and was "
                           "not run; try again shortly"
                         : "the server is busy: the change waited too long for its turn and was "
                           "not made; try again shortly"));
        });
    if (!taken)
        shared->finish(errorReply(
            503, "the server is busy: too many statements are waiting; try again shortly"));
}

void StatementRequests::checkMember(Credentials credentials,
                                    std::function<void(std::optional<Reply>)> done) {
    auto shared =
        std::make_shared<std::pair<Credentials, std::function<void(std::optional<Reply>)>>>(
            std::move(credentials), std::move(done));
    const bool taken = readers_.submit([this, shared](Session *session) {
        std::optional<Reply> refusal;
        try {
            if (!session)
                refusal = errorReply(503, "the server is stopping", "unavailable");
            else if (session->beginRequest(); !shared->first.given)
                refusal = errorReply(401, "the server answers members only: send the login name "
                                          "and password (HTTP Basic authentication)");
            else if (!members_.check(*session, shared->first.userName, shared->first.password))
                refusal = errorReply(401, "no member has this login name and password");
        } catch (const DatabaseUnavailable &error) {
            refusal = errorReply(503, error.what(), "unavailable");
        } catch (const std::exception &error) {
            refusal = errorReply(
                503, std::string("the server could not finish the request: ") + error.what(),
                "unavailable");
        }
        shared->second(std::move(refusal));
    });
    if (!taken)
        shared->second(errorReply(
            503, "the server is busy: too many statements are waiting; try again shortly"));
}

Reply StatementRequests::answer(Session &session, Method method, const Job &job) {

    // Authenticate: the member the credentials name.
    if (!job.credentials.given)
        return errorReply(401, "the server answers members only: send the login name and "
                               "password (HTTP Basic authentication)");
    const auto caller = members_.check(session, job.credentials.userName, job.credentials.password);
    if (!caller)
        return errorReply(401, "no member has this login name and password");
    if (job.admit)
        if (auto refusal = job.admit())
            return std::move(*refusal);

    // Judge: whether that member may run this statement.
    const Verdict verdict = judge(*caller, job.body, anyStatement_, members_);
    if (verdict.refusal)
        return errorReply(403, verdict.refusal->text, verdict.refusal->code);

    // A change checked against the stored rows, in one transaction with them
    // and with its entry in the journal.
    std::unique_ptr<ChangeNotes> notes;
    if (method != Method::OpenSQL)
        if (const auto reduced = StatementShapes::reduce(job.body))
            if (const auto kind = StatementShapes::kindOf(reduced->shape))
                notes = journalNotes(*kind, reduced->literals,
                                     JournalAuthor{caller->userName, caller->displayName});
    if (verdict.rule || notes)
        return delivered(runCheckedChange(session, method, job, verdict, notes.get()),
                         job.delivery);

    // An answer for this caller alone is neither kept nor taken from those kept.
    if (verdict.onlyRowsOf)
        return delivered(runner_.runOwnRows(session, job.body, *verdict.onlyRowsOf), job.delivery);

    // Reuse a kept answer: only now, with the member and the statement
    // accepted, may one be given; a query that cannot tell its tables'
    // version is run afresh.
    if (method == Method::OpenSQL)
        if (const auto version = session.dataVersion(job.body))
            return delivered(
                reuse_.answer(session, job.body, verdict.shape, *version, job.delivery),
                job.delivery);

    // Run.
    Reply reply = runner_.run(session, method, job.body);
    if (verdict.changesLogin)
        members_.invalidate();
    if (changed_ && method != Method::OpenSQL)
        changed_();

    // Deliver.
    return delivered(std::move(reply), job.delivery);
}

Reply StatementRequests::runCheckedChange(Session &session, Method method, const Job &job,
                                         const Verdict &verdict, ChangeNotes *notes) {
    if (method == Method::OpenSQL)
        return errorReply(403, "OpenSQL runs only read-only SELECT statements");
    const auto steps = changeSteps(method, job.body, verdict.isReplacement);
    if (!steps)
        return errorReply(403, "a re-edit is sent through ExecSQL");
    // Counted against the login, the whole statement: a bound on what it adds.
    const std::string login = MemberDirectory::folded(job.credentials.userName);
    const auto quota = quotaOf(verdict.shape);
    if (quota)
        if (auto why = quota_.take(login, *quota, job.body.size()))
            return quotaReply(*why);
    forgetOldJournal(session);
    static const ChangeRule anyRows = [](RowLookup &) { return std::optional<Refusal>(); };
    Reply reply = runner_.runChange(session, *steps, verdict.rule ? *verdict.rule : anyRows, notes);
    if (quota && !reply.failure.empty())
        quota_.giveBack(login, *quota, job.body.size());
    if (verdict.changesLogin)
        members_.invalidate();
    if (changed_)
        changed_();
    return reply;
}

void StatementRequests::forgetOldJournal(Session &session) {
    if (journalDays_ <= 0)
        return;
    const long long now = std::time(nullptr);
    const std::string today = journalTime(now).substr(0, 10);
    if (today == journalTrimmedOn_)
        return;
    journalTrimmedOn_ = today;
    // A trim that fails is tried again the next day; the change goes on.
    try {
        session.forgetJournalBefore(journalTime(now - journalDays_ * 86400LL));
    } catch (const std::exception &) {
    }
}

} // namespace appserver
