#include "widgets/NamePicker.h"

#include <QComboBox>
#include <QEvent>
#include <QListWidget>

#include <functional>

namespace {

// Opening its drop-down runs the given action instead.
class ToggleBox : public QComboBox {
public:
    ToggleBox(std::function<void()> onDropDown, QWidget *parent)
        : QComboBox(parent), onDropDown_(std::move(onDropDown)) {
        setEditable(true);
        setInsertPolicy(QComboBox::NoInsert);
    }
    void showPopup() override { onDropDown_(); }

private:
    std::function<void()> onDropDown_;
};

} // namespace

NamePicker::NamePicker(QWidget *parent, int listHeight) : QObject(parent), listHeight_(listHeight) {
    field = new ToggleBox([this] { toggleList(); }, parent);
    list = new QListWidget(parent);
    list->setAccessibleName(QStringLiteral("成员"));
    list->hide();
    field->installEventFilter(this);
    list->raise();
    connect(list, &QListWidget::itemChanged, this, &NamePicker::rebuildText);
    connect(list, &QListWidget::itemDoubleClicked, this, &NamePicker::toggleAll);
}

QString NamePicker::text() const {
    return field->currentText();
}

void NamePicker::setText(const QString &names) {
    field->clear();
    field->setEditText(names);
}

void NamePicker::setNames(const QStringList &names, const QString &ticked) {
    const QSignalBlocker quiet(list);
    list->clear();
    for (const QString &name : names) {
        auto *item = new QListWidgetItem(name);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(name == ticked ? Qt::Checked : Qt::Unchecked);
        list->addItem(item);
    }
}

bool NamePicker::eventFilter(QObject *watched, QEvent *event) {
    if (watched == field && (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
        list->isVisible())
        placeList();
    return QObject::eventFilter(watched, event);
}

// Under the field, as wide, wherever the layout has put the field by now.
void NamePicker::placeList() {
    const QPoint under = field->mapTo(list->parentWidget(), QPoint(0, field->height()));
    list->setGeometry(under.x(), under.y(), field->width(), listHeight_);
}

void NamePicker::toggleList() {
    placeList();
    list->raise(); // over whatever was created after it
    if (list->isVisible()) {
        list->hide();
    } else {
        list->show();
        list->setFocus();
    }
    if (focusAfter_)
        focusAfter_->setFocus();
}

void NamePicker::toggleAll() {
    bool allTicked = true;
    for (int i = 0; i < list->count(); ++i)
        allTicked = allTicked && list->item(i)->checkState() == Qt::Checked;
    {
        const QSignalBlocker quiet(list);
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setCheckState(allTicked ? Qt::Unchecked : Qt::Checked);
    }
    rebuildText();
}

void NamePicker::rebuildText() {
    QStringList ticked;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == Qt::Checked)
            ticked << list->item(i)->text();
    field->setEditText(ticked.join(QLatin1Char('|')));
}
