#pragma once
// The business flow as a chart: thirteen steps joined by arrows. Each step is
// a control of its own, painted as a box with its three lines: screen readers
// list it as a button with its text. A double-click picks a step; so do Enter
// and Space on the step that has the focus, and the arrow keys move the focus
// to the next step in that direction. The chart is one Tab stop.

#include <QAbstractButton>
#include <QList>
#include <QWidget>

class FlowStep;

class FlowChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int kNodeWidth = 169, kNodeHeight = 54;
    static const QColor kNodeColour;

    explicit FlowChart(QWidget *parent = nullptr);

    QRect nodeRect(int step) const;
    int stepAt(const QPoint &point) const; // -1 outside every node
    QAbstractButton *stepButton(int step) const;

    // The step that takes the focus when the chart gets it (the first, or the one left last).
    int currentStep() const { return current_; }
    void focusStep(int step);
    // The nearest step from `step` in the direction of an arrow key; `step` when there is none.
    int neighbour(int step, Qt::Key direction) const;

signals:
    void stepPicked(int step);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    friend class FlowStep;
    void becomeCurrent(int step);

    QList<FlowStep *> steps_;
    int current_ = 0;
};
