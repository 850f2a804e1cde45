#pragma once
// A member's twelve months as stacked bars: completed on time, completed
// late, still open. The picked month's bars are drawn darker; a click in a
// month's column picks it, and so do Left and Right while the chart has the
// keyboard (a frame in the highlight colour says so). Screen readers get the
// figures as the view's accessible description.

#include "statistics/MemberYear.h"

#include <QChartView>
#include <QPen>

class QBarSet;
class QStackedBarSeries;
class QValueAxis;

class MonthChart : public QChartView {
    Q_OBJECT
public:
    explicit MonthChart(QWidget *parent = nullptr);

    // who and year name the figures for screen readers; month 1 to 12.
    void showYear(const MemberYear &year, const QString &who, int yearNumber, int month);

    QBarSet *onTime, *late, *open; // the three stacks, one value per month
    QStackedBarSeries *series;

signals:
    void monthClicked(int month);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QValueAxis *countAxis_;
    QPen unfocusedFrame_;
    int shownMonth_ = 0; // 0 until a year is shown
};
