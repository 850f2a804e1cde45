#include "tasks/TaskPanel.h"

#include "widgets/WindowConventions.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

QString TaskPanel::withAccessKey(const QString &caption) {
    static const QHash<QString, QChar> keys = {{QStringLiteral("领取任务"), QLatin1Char('L')},
                                               {QStringLiteral("申请完成"), QLatin1Char('S')},
                                               {QStringLiteral("同意完成"), QLatin1Char('T')},
                                               {QStringLiteral("重新完成"), QLatin1Char('C')},
                                               {QStringLiteral("重新编辑"), QLatin1Char('E')}};
    const QChar key = keys.value(caption);
    return key.isNull() ? caption : caption + QStringLiteral("(&") + key + QLatin1Char(')');
}

TaskPanel::TaskPanel(QWidget *parent) : QWidget(parent) {
    QList<QLabel *> captions;
    for (const char *text : {"立项编号：", "执行人阅读时间：", "派  发  人：", "执  行  人：",
                             "任务内容：", "创建时间：", "完成时间："})
        captions << new QLabel(QString::fromUtf8(text), this);
    projectIdLabel = new QLabel(this);
    readTimeLabel = new QLabel(this);
    dispatcherLabel = new QLabel(this);
    performerLabel = new QLabel(this);
    contentBox = new QPlainTextEdit(this);
    contentBox->setReadOnly(true);
    completionNoteLabel = new QLabel(this);
    WindowConventions::setCaption(completionNoteLabel, QStringLiteral("任务完成\r情况说明:"));
    noteBox = new QPlainTextEdit(this);
    createTimeLabel = new QLabel(this);
    dueTimeLabel = new QLabel(this);
    applyButton = new QPushButton(withAccessKey(QStringLiteral("申请完成")), this);
    completeButton = new QPushButton(withAccessKey(QStringLiteral("同意完成")), this);
    reeditButton = new QPushButton(withAccessKey(QStringLiteral("重新编辑")), this);

    // Screen readers name each value by its caption.
    const QList<QWidget *> values = {projectIdLabel, readTimeLabel, dispatcherLabel,
                                     performerLabel, contentBox,    createTimeLabel,
                                     dueTimeLabel};
    for (int i = 0; i < captions.size(); ++i)
        captions[i]->setBuddy(values[i]);
    completionNoteLabel->setBuddy(noteBox);
    noteBox->setAccessibleName(QStringLiteral("任务完成情况说明"));
    for (QPlainTextEdit *box : {contentBox, noteBox}) {
        box->setTabChangesFocus(true);
        box->setMinimumHeight(48);
    }

    // Two columns of captions and values; the text boxes take the height.
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(13, 4, 13, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    const int captionWidth = 100;
    for (QLabel *caption : captions)
        caption->setMinimumWidth(captionWidth);
    grid->addWidget(captions[0], 0, 0);
    grid->addWidget(projectIdLabel, 0, 1);
    grid->addWidget(captions[1], 0, 2);
    grid->addWidget(readTimeLabel, 0, 3);
    grid->addWidget(captions[2], 1, 0);
    grid->addWidget(dispatcherLabel, 1, 1);
    grid->addWidget(captions[3], 1, 2);
    grid->addWidget(performerLabel, 1, 3);
    grid->addWidget(captions[4], 2, 0, Qt::AlignTop);
    grid->addWidget(contentBox, 2, 1);
    grid->addWidget(completionNoteLabel, 2, 2, Qt::AlignTop);
    grid->addWidget(noteBox, 2, 3);
    grid->addWidget(captions[5], 3, 0);
    grid->addWidget(createTimeLabel, 3, 1);
    grid->addWidget(captions[6], 3, 2);
    grid->addWidget(dueTimeLabel, 3, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton *button : {applyButton, completeButton, reeditButton}) {
        button->setMinimumWidth(75);
        button->setAutoDefault(true); // Enter presses the button that has the focus
        buttons->addWidget(button);
        buttons->addSpacing(25);
    }
    grid->addLayout(buttons, 4, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(2, 1);
}
