#include "projects/HistorySheet.h"

#include "data/RequestResult.h"

#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The statement's columns: time, member, action, table, task text, dispatcher, changes.
enum Answer { kChangedAt, kByName, kVerb, kRowTable, kKeyContent, kKeyDemander, kChangesJson };

QString columnCaption(const QString &column) {
    static const QHash<QString, QString> captions = {
        {"ProId", "项目编号"},        {"ProFrom", "项目来源"},
        {"ProAim", "项目目标"},       {"ProContent", "项目内容"},
        {"ProDemander", "创建人"},    {"ProPerformer", "执行人"},
        {"ProCreateTime", "创建时间"}, {"ProCompleteTime", "要求完成时间"},
        {"ProCompleteFlag", "状态"},  {"ProTask", "任务数"},
        {"ProList", "流程节点"},      {"TaskId", "项目编号"},
        {"TaskContent", "任务内容"},  {"TaskDemander", "派发人"},
        {"TaskPerformer", "执行人"},  {"TaskCreateTime", "派发时间"},
        {"TaskCompleteTime", "需求时间"}, {"TaskCompleteFlag", "状态"},
        {"TaskList", "完成情况说明"}, {"TaskReadTime", "阅读回执"},
        {"TaskCCList", "相关人员"}};
    return captions.value(column, column);
}

QString shown(const QJsonValue &value) {
    if (!value.isString())
        return QStringLiteral("（无）");
    return value.toString().isEmpty() ? QStringLiteral("（空）") : value.toString();
}

} // namespace

HistorySheet::HistorySheet(QWidget *parent) : QTableWidget(0, kColumns, parent) {
    setHorizontalHeaderLabels({QStringLiteral("时间"), QStringLiteral("成员"),
                               QStringLiteral("操作"), QStringLiteral("对象"),
                               QStringLiteral("变更内容")});
    setAccessibleName(QStringLiteral("项目变更历史"));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(false); // one Tab stop: the arrow keys move within it
    setWordWrap(false);
    verticalHeader()->setVisible(false);
    horizontalHeader()->setStretchLastSection(true);
    setColumnWidth(kTime, 140);
    setColumnWidth(kMember, 70);
    setColumnWidth(kAction, 70);
    setColumnWidth(kRow, 120);
}

void HistorySheet::fill(const DataPacket &history) {
    setRowCount(0);
    if (history.columnCount() <= kChangesJson)
        return;
    setRowCount(history.rowCount());
    for (int row = 0; row < history.rowCount(); ++row) {
        const bool task = history.cell(row, kRowTable) == QLatin1String("Task");
        const QString what = task ? QStringLiteral("任务：") + history.cell(row, kKeyContent) +
                                        QStringLiteral("（") + history.cell(row, kKeyDemander) +
                                        QStringLiteral("）")
                                  : QStringLiteral("项目");
        const QString changes = changesText(history.cell(row, kChangesJson));
        const QStringList cells = {history.cell(row, kChangedAt), history.cell(row, kByName),
                                   actionText(history.cell(row, kVerb)), what, changes};
        for (int column = 0; column < kColumns; ++column) {
            auto *item = new QTableWidgetItem(cells[column]);
            item->setToolTip(cells[column]);
            setItem(row, column, item);
        }
    }
}

void HistorySheet::showUnreadable(const QString &why) {
    setRowCount(1);
    setItem(0, 0, new QTableWidgetItem(QStringLiteral("无法读取变更历史：") + why));
    for (int column = 1; column < kColumns; ++column)
        setItem(0, column, new QTableWidgetItem);
}

QString HistorySheet::actionText(const QString &verb) {
    static const QHash<QString, QString> actions = {
        {"create", "创建项目"},   {"re-edit", "重新编辑"}, {"node", "添加节点"},
        {"complete", "完成项目"}, {"delete", "删除"},      {"dispatch", "派发任务"},
        {"claim", "领取任务"},    {"apply", "申请完成"},   {"reject", "重新完成"},
        {"agree", "同意完成"},    {"read", "阅读任务"},    {"member", "成员变更"}};
    return actions.value(verb, verb);
}

QString HistorySheet::changesText(const QString &json) {
    const QJsonObject changes = QJsonDocument::fromJson(json.toUtf8()).object();
    QStringList parts;
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        const QJsonArray values = it.value().toArray();
        const QString caption = columnCaption(it.key());
        if (values.at(0).isString())
            parts << caption + QStringLiteral("：") + shown(values.at(0)) +
                         QStringLiteral(" → ") + shown(values.at(1));
        else
            parts << caption + QStringLiteral("：") + shown(values.at(1));
    }
    return parts.join(QStringLiteral("；"));
}
