#include "tasks/FlowChart.h"

#include "tasks/BusinessFlow.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

const QColor FlowChart::kNodeColour(192, 220, 192);

namespace {
const int kColumnLeft[] = {0, 192, 384};
const int kRowTop[] = {17, 96, 177, 257, 334};

// Where an arrow between two boxes leaves and enters: the middles of the
// sides that face each other.
QPair<QPointF, QPointF> arrowEnds(const QRectF &from, const QRectF &to) {
    const QPointF d = to.center() - from.center();
    if (std::abs(d.x()) > std::abs(d.y()) * 2)
        return d.x() > 0 ? qMakePair(QPointF(from.right(), from.center().y()),
                                     QPointF(to.left(), to.center().y()))
                         : qMakePair(QPointF(from.left(), from.center().y()),
                                     QPointF(to.right(), to.center().y()));
    return d.y() > 0 ? qMakePair(QPointF(from.center().x(), from.bottom()),
                                 QPointF(to.center().x(), to.top()))
                     : qMakePair(QPointF(from.center().x(), from.top()),
                                 QPointF(to.center().x(), to.bottom()));
}

// Tahoma at 12 pixels, smaller where a line would not fit the box.
QFont fittingFont(const QStringList &lines, int width) {
    QFont font(QStringLiteral("Tahoma"));
    for (int pixels = 12;; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        bool fits = true;
        for (const QString &line : lines)
            fits = fits && metrics.horizontalAdvance(line) <= width;
        if (fits || pixels <= 9)
            return font;
    }
}

void drawArrow(QPainter &painter, QPointF from, QPointF to) {
    painter.drawLine(from, to);
    const double angle = std::atan2(to.y() - from.y(), to.x() - from.x());
    const double spread = 0.45, length = 9;
    QPainterPath head(to);
    head.lineTo(to - QPointF(std::cos(angle - spread), std::sin(angle - spread)) * length);
    head.lineTo(to - QPointF(std::cos(angle + spread), std::sin(angle + spread)) * length);
    head.closeSubpath();
    painter.fillPath(head, painter.pen().color());
}
} // namespace

// One step of the chart: a button that a double-click, Enter or Space presses
// (a single click only gives it the focus), painted as the chart's box.
class FlowStep : public QAbstractButton {
public:
    FlowStep(int step, FlowChart *chart) : QAbstractButton(chart), step_(step), chart_(chart) {
        const QStringList &lines = BusinessFlow::steps().at(step).chartLines;
        setText(lines.join(QLatin1Char('\n')));
        setAccessibleDescription(QStringLiteral("双击或按回车键，按此步骤派发任务"));
        setFont(fittingFont(lines, FlowChart::kNodeWidth - 6));
        setGeometry(chart->nodeRect(step));
        setFocusPolicy(Qt::NoFocus);
        connect(this, &QAbstractButton::clicked, chart,
                [chart, step] { emit chart->stepPicked(step); });
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        const QRect box = rect();
        painter.setPen(QColor(120, 150, 120));
        painter.setBrush(FlowChart::kNodeColour);
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        if (hasFocus()) {
            painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(box.adjusted(1, 1, -2, -2));
        }
        painter.setPen(palette().color(QPalette::Text));
        const QStringList lines = text().split(QLatin1Char('\n'));
        const int lineHeight = box.height() / 3;
        for (int line = 0; line < lines.size(); ++line)
            painter.drawText(QRect(0, line * lineHeight, box.width(), lineHeight), Qt::AlignCenter,
                             lines.at(line));
    }
    void mousePressEvent(QMouseEvent *event) override {
        setFocus(Qt::MouseFocusReason);
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent *event) override { event->accept(); }
    void mouseDoubleClickEvent(QMouseEvent *event) override {
        event->accept();
        click();
    }
    void keyPressEvent(QKeyEvent *event) override {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            click();
            return;
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            chart_->focusStep(chart_->neighbour(step_, Qt::Key(event->key())));
            return;
        default:
            QAbstractButton::keyPressEvent(event); // Space presses
        }
    }
    void focusInEvent(QFocusEvent *event) override {
        chart_->becomeCurrent(step_);
        QAbstractButton::focusInEvent(event);
    }

private:
    int step_;
    FlowChart *chart_;
};

FlowChart::FlowChart(QWidget *parent) : QWidget(parent) {
    setFixedSize(kColumnLeft[2] + kNodeWidth + 1, kRowTop[4] + kNodeHeight + 1);
    setAccessibleName(QStringLiteral("业务流程"));
    for (int step = 0; step < BusinessFlow::kSteps; ++step)
        steps_ << new FlowStep(step, this);
    steps_.first()->setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(steps_.first());
}

QRect FlowChart::nodeRect(int step) const {
    const auto &node = BusinessFlow::steps().at(step);
    return QRect(kColumnLeft[node.column], kRowTop[node.row], kNodeWidth, kNodeHeight);
}

int FlowChart::stepAt(const QPoint &point) const {
    for (int step = 0; step < BusinessFlow::kSteps; ++step)
        if (nodeRect(step).contains(point))
            return step;
    return -1;
}

QAbstractButton *FlowChart::stepButton(int step) const {
    return steps_.value(step);
}

void FlowChart::focusStep(int step) {
    if (step < 0 || step >= steps_.size())
        return;
    becomeCurrent(step);
    steps_[step]->setFocus(Qt::OtherFocusReason);
}

// Only the current step is a Tab stop: Tab enters the chart there and leaves it.
void FlowChart::becomeCurrent(int step) {
    if (step == current_)
        return;
    steps_[current_]->setFocusPolicy(Qt::NoFocus);
    current_ = step;
    steps_[current_]->setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(steps_[current_]);
}

int FlowChart::neighbour(int step, Qt::Key direction) const {
    const QPoint from = nodeRect(step).center();
    int best = step;
    double bestDistance = 0;
    for (int other = 0; other < steps_.size(); ++other) {
        const QPoint d = nodeRect(other).center() - from;
        // Ahead in that direction, and more ahead than aside.
        double ahead = 0, aside = 0;
        switch (direction) {
        case Qt::Key_Right:
            ahead = d.x(), aside = d.y();
            break;
        case Qt::Key_Left:
            ahead = -d.x(), aside = d.y();
            break;
        case Qt::Key_Down:
            ahead = d.y(), aside = d.x();
            break;
        case Qt::Key_Up:
            ahead = -d.y(), aside = d.x();
            break;
        default:
            return step;
        }
        if (ahead <= 0 || std::abs(aside) > ahead * 2)
            continue;
        const double distance = ahead + 2 * std::abs(aside);
        if (best == step || distance < bestDistance) {
            best = other;
            bestDistance = distance;
        }
    }
    return best;
}

void FlowChart::paintEvent(QPaintEvent *) {
    // The arrows; the steps paint their own boxes over them.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 90, 60), 1.5));
    for (const auto &[from, to] : BusinessFlow::arrows()) {
        const auto ends = arrowEnds(nodeRect(from), nodeRect(to));
        drawArrow(painter, ends.first, ends.second);
    }
}

void FlowChart::mouseDoubleClickEvent(QMouseEvent *event) {
    const int step = stepAt(event->position().toPoint());
    if (step >= 0)
        emit stepPicked(step);
}
