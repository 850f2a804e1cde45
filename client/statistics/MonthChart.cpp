#include "statistics/MonthChart.h"

#include "statistics/MonthNames.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStackedBarSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

QBarSet *stack(const QString &name, const QColor &colour) {
    auto *set = new QBarSet(name);
    set->setColor(colour);
    set->setBorderColor(colour);
    // The picked month stands out in each stack's own hue.
    set->setSelectedColor(colour.darker(160));
    return set;
}

} // namespace

MonthChart::MonthChart(QWidget *parent) : QChartView(parent) {
    // The task grid's hues: completed blue, overdue red, open brown.
    onTime = stack(QStringLiteral("按时完成"), QColor(0x32, 0x64, 0xC8));
    late = stack(QStringLiteral("超期完成"), QColor(0xFF, 0x32, 0x32));
    open = stack(QStringLiteral("未完成"), QColor(0xC8, 0x64, 0x32));
    series = new QStackedBarSeries;
    series->append({onTime, late, open});
    for (QBarSet *set : {onTime, late, open})
        for (int month = 1; month <= 12; ++month)
            set->append(0);

    auto *chart = new QChart;
    chart->addSeries(series);
    auto *months = new QBarCategoryAxis;
    // Short captions: twelve bars share the width.
    for (int month = 1; month <= 12; ++month)
        months->append(QStringLiteral("%1月").arg(month));
    chart->addAxis(months, Qt::AlignBottom);
    series->attachAxis(months);
    countAxis_ = new QValueAxis;
    countAxis_->setLabelFormat(QStringLiteral("%d"));
    countAxis_->setTickType(QValueAxis::TicksDynamic);
    countAxis_->setTickAnchor(0);
    countAxis_->setRange(0, 1);
    chart->addAxis(countAxis_, Qt::AlignLeft);
    series->attachAxis(countAxis_);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setBackgroundRoundness(0);
    // The view made a chart of its own and lets go of it unfreed.
    QChart *madeByTheView = this->chart();
    setChart(chart);
    delete madeByTheView;
    setRenderHint(QPainter::Antialiasing);
    unfocusedFrame_ = chart->backgroundPen();
    setAccessibleName(QStringLiteral("各月任务统计图"));
}

void MonthChart::showYear(const MemberYear &year, const QString &who, int yearNumber, int month) {
    int highest = 0;
    QStringList figures;
    for (int m = 1; m <= 12; ++m) {
        const MonthCounts &c = year.counts(m);
        onTime->replace(m - 1, c.completedOnTime());
        late->replace(m - 1, c.completedLate);
        open->replace(m - 1, c.stillOpen());
        highest = std::max(highest, c.dispatched);
        figures << QStringLiteral("%1：按时完成%2，超期完成%3，未完成%4")
                       .arg(MonthNames::name(m))
                       .arg(c.completedOnTime())
                       .arg(c.completedLate)
                       .arg(c.stillOpen());
    }
    shownMonth_ = month;
    for (QBarSet *set : {onTime, late, open}) {
        set->deselectAllBars();
        set->selectBar(month - 1);
    }
    // Whole numbers on the axis, at most four steps.
    const int step = std::max(1, (highest + 3) / 4);
    countAxis_->setTickInterval(step);
    countAxis_->setRange(0, std::max(1, (highest + step - 1) / step) * step);
    chart()->setTitle(
        QStringLiteral("%1 %2年，选中%3").arg(who).arg(yearNumber).arg(MonthNames::name(month)));
    setAccessibleDescription(chart()->title() + QStringLiteral("。") +
                             figures.join(QStringLiteral("；")));
}

void MonthChart::mouseReleaseEvent(QMouseEvent *event) {
    QChartView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QPointF at = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    if (!chart()->plotArea().contains(at))
        return;
    // Category i is centred on x = i.
    const int month = int(std::lround(chart()->mapToValue(at, series).x())) + 1;
    if (month >= 1 && month <= 12)
        emit monthClicked(month);
}

void MonthChart::keyPressEvent(QKeyEvent *event) {
    const int step = event->key() == Qt::Key_Left ? -1 : event->key() == Qt::Key_Right ? 1 : 0;
    if (!step || event->modifiers() != Qt::NoModifier) {
        QChartView::keyPressEvent(event);
        return;
    }
    const int month = shownMonth_ + step;
    if (shownMonth_ && month >= 1 && month <= 12)
        emit monthClicked(month);
}

void MonthChart::focusInEvent(QFocusEvent *event) {
    QChartView::focusInEvent(event);
    // The view draws no focus of its own: a Tab stop nobody sees is a trap.
    chart()->setBackgroundPen(QPen(palette().color(QPalette::Highlight), 2));
}

void MonthChart::focusOutEvent(QFocusEvent *event) {
    QChartView::focusOutEvent(event);
    chart()->setBackgroundPen(unfocusedFrame_);
}
