#include "statistics/CountLabel.h"

#include <QAccessibleWidget>

namespace {

class CountAccessible : public QAccessibleWidget {
public:
    explicit CountAccessible(CountLabel *label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value)
            return static_cast<const QLabel *>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface *countAccessible(const QString &, QObject *object) {
    auto *label = qobject_cast<CountLabel *>(object);
    return label ? new CountAccessible(label) : nullptr;
}

} // namespace

CountLabel::CountLabel(const QString &caption, QWidget *parent)
    : QLabel(QStringLiteral("0"), parent) {
    static const bool installed = (QAccessible::installFactory(countAccessible), true);
    Q_UNUSED(installed);
    setAccessibleName(caption);
}

void CountLabel::setCount(int count) {
    setText(QString::number(count));
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}
