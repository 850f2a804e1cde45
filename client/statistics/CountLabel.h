#pragma once
// A count shown as a number beside its caption. A screen reader hears the
// caption as its name and the number as its value ("派发任务", "3"); a plain
// label named after its caption would hide the number.

#include <QLabel>

class CountLabel : public QLabel {
    Q_OBJECT
public:
    CountLabel(const QString &caption, QWidget *parent = nullptr);

    void setCount(int count);
};
