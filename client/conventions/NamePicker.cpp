#include "NamePicker.h"

#include <QComboBox>
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

NamePicker::NamePicker(QWidget *parent, const QRect &fieldGeometry, const QRect &listGeometry)
    : QObject(parent) {
    field = new ToggleBox([this] { toggleList(); }, parent);
    field->setGeometry(fieldGeometry);
    list = new QListWidget(parent);
    list->setGeometry(listGeometry);
    list->hide();
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

void NamePicker::toggleList() {
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
