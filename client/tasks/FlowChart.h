#pragma once
// The business flow as a chart: thirteen node boxes joined by arrows. A
// double-click on a node picks that step of the flow.

#include <QWidget>

class FlowChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int kNodeWidth = 169, kNodeHeight = 54;
    static const QColor kNodeColour;

    explicit FlowChart(QWidget *parent = nullptr);

    QRect nodeRect(int step) const;
    int stepAt(const QPoint &point) const; // -1 outside every node

signals:
    void stepPicked(int step);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};
