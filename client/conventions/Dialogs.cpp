#include "Dialogs.h"

#include "WindowConventions.h"

#include <QApplication>

namespace {
bool gRecording = false;
QList<QMessageBox::StandardButton> gAnswers;
QList<Dialogs::Shown> gShown;

QMessageBox::StandardButton firstButton(QMessageBox::StandardButtons buttons) {
    for (int bit = 0; bit < 32; ++bit) {
        auto button = QMessageBox::StandardButton(1u << bit);
        if (buttons.testFlag(button))
            return button;
    }
    return QMessageBox::Ok;
}
} // namespace

QMessageBox::StandardButton Dialogs::message(const QString &text, const QString &caption,
                                             QMessageBox::Icon icon,
                                             QMessageBox::StandardButtons buttons) {
    if (gRecording) {
        gShown.append({text, caption, icon, buttons});
        return gAnswers.isEmpty() ? firstButton(buttons) : gAnswers.takeFirst();
    }
    QMessageBox box(icon, caption, text, buttons);
    box.adjustSize();
    WindowConventions::centreOnScreen(&box, box.width(), box.height());
    return QMessageBox::StandardButton(box.exec());
}

void Dialogs::inform(const QString &text) {
    message(text, QApplication::applicationName());
}

void Dialogs::showError(const QString &text) {
    message(text, QApplication::applicationName(), QMessageBox::Critical);
}

void Dialogs::setRecording(bool on) {
    gRecording = on;
    gAnswers.clear();
    gShown.clear();
}

void Dialogs::setNextAnswer(QMessageBox::StandardButton answer) {
    gAnswers.append(answer);
}

QList<Dialogs::Shown> Dialogs::takeShown() {
    QList<Shown> shown = gShown;
    gShown.clear();
    return shown;
}
