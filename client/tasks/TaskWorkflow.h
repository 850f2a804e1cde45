#pragma once
// What a member does with a listed task, in the main window's task tab and in
// the project window's task sheet: open a row (which records the read receipt
// of a related person), claim it, apply for its completion, reject or agree
// to the application, and re-edit it in the dispatch window.

#include "data/statements/Records.h"

#include <QObject>

#include <functional>

class AppShell;
class QTableView;
class RecordSet;
class TaskDispatchWindow;
class TaskPanel;

class TaskWorkflow : public QObject {
    Q_OBJECT
public:
    // The two places differ in small points: the grid they reload, and whom
    // a read receipt's notice concerns (the reader in the main window, the
    // task's performer in the project window).
    enum class Place { MainWindow, ProjectWindow };

    TaskWorkflow(Place place, AppShell &shell, QTableView *grid, RecordSet *tasks,
                 TaskPanel *panel, QObject *parent);

    // Reloads this place's grid (after a read receipt).
    void setReloadGrid(std::function<void()> reload) { reloadGrid_ = std::move(reload); }
    // Re-fills the project window (after every action, from either place).
    void setRefreshProjectWindow(std::function<void()> refresh) {
        refreshProjectWindow_ = std::move(refresh);
    }
    // Re-edits go there; a task it replaces is followed by the opened record.
    void setDispatchWindow(TaskDispatchWindow *window);

    // Before any row is opened the actions, re-edit included, have nothing
    // to act on; the project window also locks them when it shows another
    // project.
    void lockActions();

    Task opened; // the row opened last; the actions act on it

    // What the two action buttons do for the opened task; their captions
    // only show it.
    enum class ApplyAction { None, Apply, Reject };
    enum class CompleteAction { None, Claim, Agree };

    static inline const QString kApply = QStringLiteral("申请完成");
    static inline const QString kReject = QStringLiteral("重新完成");
    static inline const QString kClaim = QStringLiteral("领取任务");
    static inline const QString kAgree = QStringLiteral("同意完成");
    static inline const QString kDone = QStringLiteral("已完成任务");

public slots:
    void openCurrentRow();
    void applyOrReject(); // the apply button, as the opened task's state asks
    void claimOrAgree();  // the complete button, as the opened task's state asks
    void reedit();
    // The grid was read again: the opened task takes what is stored now
    // (another member may have claimed, applied or agreed meanwhile).
    void followStoredRow();

private:
    void showOpened(const QString &note);
    // The two action buttons as the opened task's state asks.
    void showActions();
    void tellChangedMeanwhile(const QString &caption);
    void followReplaced(const Task &old, const Task &edited);
    void recordReadReceipt();
    void claim();
    void apply();
    void reject();
    void agree();
    // Writes the opened task's new state, a lost answer settled by reading
    // it back; when not made the member is told why and the record goes back
    // to `before`. True when stored.
    bool storeState(const QString &note, const Task &before, const QString &failure,
                    const QString &caption);
    void noticeAndRefresh(const QString &phrase, const QString &concerned);
    QString memberName() const;

    Place place_;
    AppShell &shell_;
    QTableView *grid_;
    RecordSet *tasks_;
    TaskPanel *panel_;
    TaskDispatchWindow *dispatchWindow_ = nullptr;
    ApplyAction applyAction_ = ApplyAction::None;
    CompleteAction completeAction_ = CompleteAction::None;
    std::function<void()> reloadGrid_, refreshProjectWindow_;
};
