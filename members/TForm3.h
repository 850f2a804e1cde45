#pragma once
// The member management window: the member list, adding members (privileged
// members only) and changing one's own login.

#include "ChildWindow.h"
#include "RecordSet.h"
#include "records.h"

class QLineEdit;
class QPushButton;
class QTableView;
class RecordSetModel;

// The window's mode, kept at module level: "Show", "Add" or "UpData".
const QString &MemberWindowMode();

class TForm3 : public ChildWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 460, kShowHeight = 232, kEditHeight = 263;
    static constexpr int kShowButtonTop = 159, kEditButtonTop = 186;

    // currentMember is the main window's record of who is logged in.
    explicit TForm3(const TLogininf *currentMember, QWidget *parent = nullptr);

    void FormInit() override;

    QTableView *LoginGrid;
    RecordSet *LoginDataSet;
    QWidget *Panel1;
    QLineEdit *Edit1, *Edit2, *Edit3;
    QPushButton *mAdd, *mUpdate;

public slots:
    void mAddClick();
    void mUpdateClick();

private:
    void FormCreate();
    void LoginGridDrawColumnCell();
    void showEditRow(bool shown);
    void addMember();
    void changeOwnLogin();

    const TLogininf *member_;
    RecordSetModel *model_;
};
