#include "seams/Dialogs.h"

#include "widgets/WindowConventions.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QWidget>

namespace {
bool gRecording = false;
QList<QMessageBox::StandardButton> gAnswers;
QList<Dialogs::Shown> gShown;
QStringList gFileNames;
QStringList gFileFilters;
QStringList gFileFolders;

QMessageBox::StandardButton firstButton(QMessageBox::StandardButtons buttons) {
    for (int bit = 0; bit < 32; ++bit) {
        auto button = QMessageBox::StandardButton(1u << bit);
        if (buttons.testFlag(button))
            return button;
    }
    return QMessageBox::Ok;
}
} // namespace

QWidget *Dialogs::ownerWindow() {
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    // A disabled window has a child window open in front of it, which the
    // window system may not have activated yet (a Wayland compositor decides
    // that itself): the box goes with the window the member can use.
    if (QWidget *active = QApplication::activeWindow(); active && active->isEnabled())
        return active;
    // Without a window manager (or before it has said) no window is active:
    // the window the focus was left in, else the shown window the member can use.
    if (QWidget *focus = QApplication::focusWidget(); focus && focus->window()->isEnabled())
        return focus->window();
    QWidget *owner = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->isMinimized() ||
            window->windowType() == Qt::Popup || window->windowType() == Qt::ToolTip)
            continue;
        if (!owner || (window->isEnabled() && !owner->isEnabled()))
            owner = window;
    }
    return owner;
}

QString Dialogs::documentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

QMessageBox::StandardButton Dialogs::message(const QString &text, const QString &caption,
                                             QMessageBox::Icon icon,
                                             QMessageBox::StandardButtons buttons) {
    if (gRecording) {
        gShown.append({text, caption, icon, buttons});
        return gAnswers.isEmpty() ? firstButton(buttons) : gAnswers.takeFirst();
    }
    // Texts break lines with a bare carriage return; a Qt box breaks on "\n".
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // A box of the window it speaks for: the window system keeps it in front
    // of that window (WM_TRANSIENT_FOR, a Wayland parent).
    QMessageBox box(icon, caption, shown, buttons, ownerWindow());
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
    gFileNames.clear();
    gFileFilters.clear();
    gFileFolders.clear();
}

void Dialogs::setNextAnswer(QMessageBox::StandardButton answer) {
    gAnswers.append(answer);
}

QList<Dialogs::Shown> Dialogs::takeShown() {
    QList<Shown> shown = gShown;
    gShown.clear();
    return shown;
}

QString Dialogs::saveFileName(const QString &caption, const QString &filter, const QString &folder,
                              const QString &suffix) {
    // A folder that is not there would open elsewhere with its name typed in
    // as the file's.
    const QString start = QFileInfo(folder).isDir() ? folder : QDir::homePath();
    QString chosen;
    if (gRecording) {
        gFileFilters.append(filter);
        gFileFolders.append(start);
        chosen = gFileNames.isEmpty() ? QString() : gFileNames.takeFirst();
    } else {
        QFileDialog dialog(ownerWindow(), caption, start, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(suffix);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().first();
    }
    // The same for a name typed into the native dialog, or given by a test.
    if (!chosen.isEmpty() && !suffix.isEmpty() && QFileInfo(chosen).suffix().isEmpty())
        chosen += (chosen.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral(".")) + suffix;
    return chosen;
}

void Dialogs::setNextFileName(const QString &fileName) {
    gFileNames.append(fileName);
}

QStringList Dialogs::takeFileFolders() {
    QStringList folders = gFileFolders;
    gFileFolders.clear();
    return folders;
}

QStringList Dialogs::takeFileFilters() {
    QStringList filters = gFileFilters;
    gFileFilters.clear();
    return filters;
}
