#pragma once
// A statement's way through the server, once the HTTP front has read it:
// authenticate the member, judge the statement, reuse a kept answer or run
// it, and deliver the reply. Each stage is done by its own part; answer()
// reads as the stages in order.

#include "journal/ChangeJournal.h"
#include "members/CallerRules.h"
#include "members/MemberDirectory.h"
#include "requests/AnswerReuse.h"
#include "requests/DailyQuota.h"
#include "requests/Delivery.h"
#include "requests/Reply.h"
#include "requests/StatementRunner.h"
#include "storage/WorkerQueue.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace appserver {

// The login name and password a request carries (HTTP Basic).
struct Credentials {
    bool given = false;
    std::string userName;
    std::string password;
};

class StatementRequests {
public:
    // Queries run on readers; changes go through writer, one at a time.
    // Large answers draw on answerMemory until they have been sent.
    // anyStatement: privileged members may run statements the client does not send.
    // daily: what one login may add in a day. keptAnswerBytes: the memory
    // of the answers kept for reuse.
    StatementRequests(WorkerQueue &readers, WorkerQueue &writer, size_t maxAnswerBytes,
                      AnswerBudget &answerMemory, bool anyStatement = false,
                      DailyBytes daily = {}, size_t keptAnswerBytes = kKeptAnswerBytes);

    // Runs body on a database worker for the member the credentials name, which
    // then calls done with the reply; done is called at once when the workers
    // are too busy to take it. Unknown credentials: 401; a statement the member
    // may not run: 403.
    // An unchanged OpenSQL answer whose tag the request names is 304 without
    // a body; a large answer goes out compressed where delivery says it pays.
    // A query whose stop is raised before or while it runs is stopped and
    // answered 499; a change ignores stop.
    // admit, when given, is asked on the worker once the credentials have
    // been checked: a reply from it is the answer, and nothing runs.
    using Admission = std::function<std::optional<Reply>()>;
    void run(Method method, std::string body, Credentials credentials, Delivery delivery,
             std::function<void(Reply)> done, std::shared_ptr<const QueryStop> stop = nullptr,
             Admission admit = nullptr);

    // Checks the member the credentials name on a database worker, then calls
    // done with nothing, or with the refusal (401, or 503 when busy).
    void checkMember(Credentials credentials, std::function<void(std::optional<Reply>)> done);

    // Called after each change this server commits (from the writer's thread).
    void setChangeListener(std::function<void()> listener) { changed_ = std::move(listener); }

    // The journal keeps each change this many days (0: for ever); older
    // entries go on the first change of each day.
    void keepJournalDays(int days) { journalDays_ = days; }

private:
    struct Job;
    Reply answer(Session &session, Method method, const Job &job);
    // A change checked against the stored rows, within the login's quota.
    Reply runCheckedChange(Session &session, Method method, const Job &job, const Verdict &verdict,
                           ChangeNotes *notes);
    void forgetOldJournal(Session &session);

    WorkerQueue &readers_;
    WorkerQueue &writer_;
    bool anyStatement_;
    MemberDirectory members_;
    StatementRunner runner_;
    AnswerReuse reuse_;
    DailyQuota quota_;
    std::function<void()> changed_;
    int journalDays_ = 0;
    std::string journalTrimmedOn_; // the day the journal was last trimmed, on the writer
};

} // namespace appserver
