#pragma once
// A field of member names joined by "|" with a check list of all members
// beneath it: opening the field's drop-down shows or hides the check list,
// every tick rebuilds the field from the ticked names in list order, and a
// double-click on the list ticks all (or unticks all when all are ticked).
// What is typed into the field stays until the next tick.

#include <QObject>
#include <QStringList>

class QComboBox;
class QListWidget;
class QWidget;

class NamePicker : public QObject {
    Q_OBJECT
public:
    // The field goes into the parent's layout; the list, `listHeight` high,
    // lies just under it, over whatever is below, while it is shown. The
    // focus goes to `focusAfter` whenever the list is shown or hidden.
    NamePicker(QWidget *parent, int listHeight);
    void setFocusAfterToggle(QWidget *widget) { focusAfter_ = widget; }

    QComboBox *field;
    QListWidget *list;

    QString text() const;
    void setText(const QString &names);
    // Replaces the list; the names equal to `ticked` are ticked. The field keeps its text.
    void setNames(const QStringList &names, const QString &ticked);

public slots:
    void toggleList();
    void toggleAll();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void rebuildText();
    void placeList();
    int listHeight_;
    QWidget *focusAfter_ = nullptr;
};
