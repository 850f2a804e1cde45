#include "FlowChart.h"

#include "BusinessFlow.h"

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

FlowChart::FlowChart(QWidget *parent) : QWidget(parent) {
    setMinimumSize(kColumnLeft[2] + kNodeWidth + 1, kRowTop[4] + kNodeHeight + 1);
    setAccessibleName(QStringLiteral("业务流程"));
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

void FlowChart::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 90, 60), 1.5));
    for (const auto &[from, to] : BusinessFlow::arrows()) {
        const auto ends = arrowEnds(nodeRect(from), nodeRect(to));
        drawArrow(painter, ends.first, ends.second);
    }
    for (int step = 0; step < BusinessFlow::kSteps; ++step) {
        const QRect box = nodeRect(step);
        painter.setPen(QColor(120, 150, 120));
        painter.setBrush(kNodeColour);
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        const QStringList &lines = BusinessFlow::steps().at(step).chartLines;
        painter.setFont(fittingFont(lines, box.width() - 6));
        painter.setPen(palette().color(QPalette::Text));
        const int lineHeight = box.height() / 3;
        for (int line = 0; line < lines.size(); ++line)
            painter.drawText(
                QRect(box.left(), box.top() + line * lineHeight, box.width(), lineHeight),
                Qt::AlignCenter, lines.at(line));
    }
}

void FlowChart::mouseDoubleClickEvent(QMouseEvent *event) {
    const int step = stepAt(event->position().toPoint());
    if (step >= 0)
        emit stepPicked(step);
}
