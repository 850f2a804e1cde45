#include "projects/ProjectQueryTab.h"

#include "data/DataAccess.h"
#include "data/export/SpreadsheetExport.h"
#include "data/records/RecordRows.h"
#include "data/records/RecordSet.h"
#include "data/records/RecordSetModel.h"
#include "data/statements/TimeText.h"
#include "projects/ProjectQuery.h"
#include "projects/ProjectRules.h"
#include "projects/ProjectWindow.h"
#include "seams/AppClock.h"
#include "seams/AppShell.h"
#include "seams/Dialogs.h"
#include "seams/ErrorGuard.h"
#include "widgets/GridColumns.h"
#include "widgets/WindowConventions.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace {
enum Column { kDueTime = 7, kCompleteFlag = 8 };

// Base widths, and what the number, the names and the times need whole.
QList<GridColumns::Column> columns() {
    const QString time = QStringLiteral("2026-12-01 09:00:00");
    return {{90, QStringLiteral("GD20261201001")},
            {80, {}},
            {75, {}},
            {85, {}},
            {58, QStringLiteral("Fennick")},
            {58, QStringLiteral("Fennick")},
            {100, time},
            {100, time},
            {60, QStringLiteral("Yes")},
            {60, QStringLiteral("99")},
            {95, {}}};
}
} // namespace

ProjectQueryTab::ProjectQueryTab(QLineEdit *queryEdit, QPushButton *queryButton,
                                 QPushButton *exportButton, QTableView *grid, RecordSetModel *model,
                                 QObject *parent)
    : QObject(parent), queryEdit_(queryEdit), grid_(grid), model_(model),
      records_(model->records()) {
    model_->setTitles({"立项编号", "来源", "目标", "内容", "创建人", "执行人", "创建时间",
                       "预完成时间", "完成情况", "派发任务数", "项目节点情况"});
    model_->setRowBackground(
        [](const RecordSet &projects, int row) {
            if (projects.fieldCount() <= kCompleteFlag)
                return QColor();
            return ProjectRules::colour(ProjectRules::state(projects.value(row, kCompleteFlag),
                                                            projects.value(row, kDueTime),
                                                            AppClock::now()));
        },
        [] { return TimeText::minuteOf(AppClock::now()).toSecsSinceEpoch(); });
    new GridColumns(grid_, columns());
    // Nothing typed into the list would be saved: it takes no typing.
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    connect(queryButton, &QPushButton::clicked, this, &ProjectQueryTab::runQuery);
    connect(queryEdit_, &QLineEdit::returnPressed, this, &ProjectQueryTab::runQuery);
    WindowConventions::openRowsOnEnter(grid_, [this] { openCurrentProject(); });
    connect(exportButton, &QPushButton::clicked, this, &ProjectQueryTab::exportList);
    connect(grid_, &QTableView::doubleClicked, this, &ProjectQueryTab::openCurrentProject);
}

void ProjectQueryTab::runQuery() {
    guarded([this] {
        if (const auto statement = ProjectQuery::statementFor(queryEdit_->text())) {
            records_->load(rowsOf(DataAccess::queryProjects(*statement)));
            shownQuery_ = statement;
        }
    });
}

void ProjectQueryTab::openCurrentProject() {
    guarded([this] {
        const int row = grid_->currentIndex().row();
        if (!projectWindow_ || !shell_ || row < 0 || row >= records_->recordCount())
            return;
        projectWindow_->setProject(RecordRows::trimmed(RecordRows::projectAt(*records_, row)));
        projectWindow_->refill();
        QWidget *main = shell_->mainWidget();
        main->setEnabled(false);
        projectWindow_->setEnablesOnClose(main);
        projectWindow_->show();
    });
}

void ProjectQueryTab::exportList() {
    const QString path =
        Dialogs::saveFileName(QStringLiteral("导出Excel"), QStringLiteral("Excel 文件 (*.xlsx)"),
                              Dialogs::documentsFolder(), QStringLiteral("xlsx"));
    if (path.isEmpty())
        return;
    switch (SpreadsheetExport::write(path, *records_)) {
    case SpreadsheetExport::Result::Written:
        Dialogs::inform(QStringLiteral("输出 Excel 文件已完成..."));
        break;
    case SpreadsheetExport::Result::WriterUnavailable:
        Dialogs::inform(QStringLiteral("您的机器里未安装Microsoft Excel。"));
        break;
    case SpreadsheetExport::Result::Failed:
        Dialogs::inform(QStringLiteral("Excel系统出错！！！"));
        break;
    }
}
