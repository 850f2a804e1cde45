#include "TaskPanel.h"

#include "WindowConventions.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

TaskPanel::TaskPanel(QWidget *parent) : QWidget(parent) {
    for (const char *text : {"立项编号：", "执行人阅读时间：", "派  发  人：", "执  行  人：",
                             "任务内容：", "创建时间：", "完成时间："})
        captions_ << new QLabel(QString::fromUtf8(text), this);
    projectIdLabel = new QLabel(this);
    readTimeLabel = new QLabel(this);
    dispatcherLabel = new QLabel(this);
    performerLabel = new QLabel(this);
    createTimeLabel = new QLabel(this);
    dueTimeLabel = new QLabel(this);
    completionNoteLabel = new QLabel(this);
    WindowConventions::setCaption(completionNoteLabel, QStringLiteral("任务完成\r情况说明:"));
    contentBox = new QPlainTextEdit(this);
    contentBox->setReadOnly(true);
    noteBox = new QPlainTextEdit(this);
    applyButton = new QPushButton(QStringLiteral("申请完成"), this);
    completeButton = new QPushButton(QStringLiteral("同意完成"), this);
    reeditButton = new QPushButton(QStringLiteral("重新编辑"), this);
    arrange();
}

void TaskPanel::resizeEvent(QResizeEvent *) { arrange(); }

// Two columns: the left one from 16 pixels, the right one from the middle.
void TaskPanel::arrange() {
    const int right = width() / 2 + 6, captionWidth = 100;
    const int valueWidth = width() / 2 - captionWidth - 22;
    const int lefts[] = {16, right, 16, right, 16, 16, right};
    const int tops[] = {4, 4, 28, 28, 52, 162, 162};
    for (int i = 0; i < captions_.size(); ++i)
        captions_[i]->setGeometry(lefts[i], tops[i], captionWidth, 20);
    projectIdLabel->setGeometry(16 + captionWidth, 4, valueWidth, 20);
    readTimeLabel->setGeometry(right + captionWidth, 4, valueWidth, 20);
    dispatcherLabel->setGeometry(16 + captionWidth, 28, valueWidth, 20);
    performerLabel->setGeometry(right + captionWidth, 28, valueWidth, 20);
    contentBox->setGeometry(16 + captionWidth, 52, valueWidth, 100);
    completionNoteLabel->move(right, 52);
    noteBox->setGeometry(right + captionWidth, 52, valueWidth, 100);
    createTimeLabel->setGeometry(16 + captionWidth, 162, valueWidth, 20);
    dueTimeLabel->setGeometry(right + captionWidth, 162, valueWidth, 20);
    const int buttonsTop = 192, buttonsRight = width() - 16;
    reeditButton->setGeometry(buttonsRight - 75, buttonsTop, 75, 25);
    completeButton->setGeometry(buttonsRight - 175, buttonsTop, 75, 25);
    applyButton->setGeometry(buttonsRight - 275, buttonsTop, 75, 25);
}
