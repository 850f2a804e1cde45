#pragma once
// The main window's project tab: the query, the grid coloured by state and
// due time, opening a project by double-click, and the export of the list.

#include <QObject>
#include <QString>

#include <optional>

class AppShell;
class ProjectWindow;
class QLineEdit;
class QPushButton;
class QTableView;
class RecordSet;
class RecordSetModel;

class ProjectQueryTab : public QObject {
    Q_OBJECT
public:
    static constexpr int kColumns = 11;

    // Works on the main window's widgets and its project record set.
    ProjectQueryTab(QLineEdit *queryEdit, QPushButton *queryButton, QPushButton *exportButton,
                    QTableView *grid, RecordSetModel *model, QObject *parent);

    void setProjectWindow(ProjectWindow *window, AppShell *shell) {
        projectWindow_ = window;
        shell_ = shell;
    }

    // The statement of the query the list shows; none while it shows the
    // member's own projects.
    std::optional<QString> shownQuery() const { return shownQuery_; }
    void forgetQuery() { shownQuery_.reset(); }

public slots:
    void runQuery();
    void openCurrentProject();
    void exportList();

private:
    QLineEdit *queryEdit_;
    QTableView *grid_;
    RecordSetModel *model_;
    RecordSet *records_;
    ProjectWindow *projectWindow_ = nullptr;
    AppShell *shell_ = nullptr;
    std::optional<QString> shownQuery_;
};
