#pragma once
// Every modal message box of the client goes through here. In production the
// real box is shown, centred on the screen; a test switches to recording,
// reads what would have been shown and gives the answer.

#include <QList>
#include <QMessageBox>
#include <QString>

class Dialogs {
public:
    struct Shown {
        QString text;
        QString caption;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };

    static QMessageBox::StandardButton
    message(const QString &text, const QString &caption,
            QMessageBox::Icon icon = QMessageBox::NoIcon,
            QMessageBox::StandardButtons buttons = QMessageBox::Ok);

    // A plain box with an OK button under the application's title.
    static void inform(const QString &text);

    // The application's default error box, for errors that escape a handler.
    static void showError(const QString &text);

    // The window a box belongs to: the modal box or the active window (when
    // enabled: a disabled one has a child open in front), else
    // the window holding the focus, else a shown window the member can use.
    static QWidget *ownerWindow();
    // Where a saved file goes first: the member's Documents folder, or the
    // home folder where there is none.
    static QString documentsFolder();

    // A file-save dialog opening in `folder` (the home folder where it is missing); the empty string when the member
    // cancels. A name typed without an extension gets `suffix`.
    static QString saveFileName(const QString &caption, const QString &filter,
                                const QString &folder, const QString &suffix);

    // Test seam.
    static void setRecording(bool on);
    static void setNextAnswer(QMessageBox::StandardButton answer);
    static QList<Shown> takeShown();
    // The next file dialogs' answers (empty: cancelled), and the filters they were asked with.
    static void setNextFileName(const QString &fileName);
    static QStringList takeFileFilters();
    static QStringList takeFileFolders();
};
