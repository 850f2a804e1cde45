#pragma once
// The member management window: the member list, adding members (privileged
// members only) and changing one's own login.

#include "data/records/RecordSet.h"
#include "data/statements/Records.h"
#include "seams/ChildWindow.h"

#include <functional>


class QLineEdit;
class QPushButton;
class QTableView;
class RecordSetModel;

class MemberWindow : public ChildWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 460, kShowHeight = 232, kEditHeight = 263;

    // Listing; adding a member; changing the own login. Each button's first
    // press opens the edit row, its second press saves.
    enum class Mode { Show, Add, ChangeOwnLogin };

    // currentMember is the main window's record of who is logged in.
    explicit MemberWindow(const Member *currentMember, QWidget *parent = nullptr);

    void refill() override;
    // Told of the member's new login once it is stored: the current member,
    // and the credentials of every connection, follow it.
    void setOnOwnLoginChanged(std::function<void(const Member &)> changed) {
        onOwnLoginChanged_ = std::move(changed);
    }
    Mode mode() const { return mode_; }

    QTableView *memberGrid;
    RecordSet *memberRecords;
    QWidget *editRow;
    QLineEdit *userNameEdit, *passwordEdit, *displayNameEdit;
    QPushButton *addButton, *changeButton;

public slots:
    void addMember();
    void changeOwnLogin();

private:
    void showEditRow(bool shown);
    void runAddStep();
    void runChangeStep();
    Member enteredMember() const;

    const Member *member_;
    std::function<void(const Member &)> onOwnLoginChanged_;
    RecordSetModel *model_;
    Mode mode_ = Mode::Show;
};
