#pragma once
// Server.ini: the last successful login and the two server addresses. It
// lives beside the executable; where that folder cannot be written (an
// installed program) it lives in the member's configuration folder,
// ~/.config/solvane. What the member's file does not say is read from the
// administrator's file for every desktop, /etc/solvane/Server.ini.

#include <QString>

class LoginSettings {
public:
    static QString path();
    static void setPathForTesting(const QString &path); // empty: back to the normal place
    // The administrator's file; empty: none.
    static QString systemPath();
    static void setSystemPath(const QString &path);

    static QString savedUserName();
    static QString savedPassword();
    static void writeLogin(const QString &userName, const QString &password);

    static QString internalHost(); // "内网"
    static QString internetHost(); // "外网"
    static int port();             // 10003 unless the file says otherwise
    static bool tls();             // Tls=1: HTTPS
    static QString caFile();       // CaFile=: the authorities to check the server against

    // Whether notices for the member show on the desktop while the main
    // window is in the background; on unless the member turned it off.
    static bool desktopNotices();
    static void setDesktopNotices(bool on);
};
