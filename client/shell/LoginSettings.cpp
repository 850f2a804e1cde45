#include "shell/LoginSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {
QString gTestPath;
QString gSystemPath = QStringLiteral("/etc/solvane/Server.ini");
const QString kLoginSection = QStringLiteral("DataBase");
const QString kServerSection = QStringLiteral("Server");
const QString kDefaultHost = QStringLiteral("127.0.0.1");

// The member's own file first; a key it lacks comes from the administrator's
// file for every desktop.
QString read(const QString &section, const QString &key) {
    const QString name = section + QLatin1Char('/') + key;
    const QSettings own(LoginSettings::path(), QSettings::IniFormat);
    if (own.contains(name))
        return own.value(name).toString();
    if (gSystemPath.isEmpty() || !QFileInfo::exists(gSystemPath))
        return {};
    const QSettings system(gSystemPath, QSettings::IniFormat);
    return system.value(name).toString();
}
// The file holds the last login's password: it is the member's alone
// (0600), made so before anything is written into it, also when it was
// there already. The settings are written through a copy that takes the
// file's permissions.
void keepToOwner(const QString &path) {
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QFile file(path);
    if (!file.exists()) {
        file.open(QIODevice::WriteOnly, ownerOnly);
        file.close();
    }
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (file.permissions() & others)
        file.setPermissions(ownerOnly);
}
} // namespace

QString LoginSettings::path() {
    if (!gTestPath.isEmpty())
        return gTestPath;
    const QString besideProgram = QCoreApplication::applicationDirPath() + "/Server.ini";
    const QFileInfo folder(QCoreApplication::applicationDirPath());
    if (folder.isWritable() || QFileInfo(besideProgram).isWritable())
        return besideProgram;
    const QString config =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/solvane";
    QDir().mkpath(config);
    return config + "/Server.ini";
}

void LoginSettings::setPathForTesting(const QString &path) {
    gTestPath = path;
}

QString LoginSettings::systemPath() {
    return gSystemPath;
}

void LoginSettings::setSystemPath(const QString &path) {
    gSystemPath = path;
}

QString LoginSettings::savedUserName() {
    return read(kLoginSection, "LoginUseName").trimmed();
}
QString LoginSettings::savedPassword() {
    return read(kLoginSection, "LoginPassWord").trimmed();
}

void LoginSettings::writeLogin(const QString &userName, const QString &password) {
    keepToOwner(path());
    QSettings ini(path(), QSettings::IniFormat);
    // A member who logs in as last time leaves the file as it is: writing it
    // waits for the disk.
    if (ini.value(kLoginSection + "/LoginUseName").toString() == userName &&
        ini.value(kLoginSection + "/LoginPassWord").toString() == password)
        return;
    ini.setValue(kLoginSection + "/LoginUseName", userName);
    ini.setValue(kLoginSection + "/LoginPassWord", password);
    ini.sync();
}

bool LoginSettings::desktopNotices() {
    return QSettings(path(), QSettings::IniFormat).value("Desktop/Notices", true).toBool();
}

void LoginSettings::setDesktopNotices(bool on) {
    keepToOwner(path());
    QSettings ini(path(), QSettings::IniFormat);
    ini.setValue("Desktop/Notices", on);
    ini.sync();
}

QString LoginSettings::internalHost() {
    const QString host = read(kServerSection, "InternalHost").trimmed();
    return host.isEmpty() ? kDefaultHost : host;
}

QString LoginSettings::internetHost() {
    const QString host = read(kServerSection, "InternetHost").trimmed();
    return host.isEmpty() ? kDefaultHost : host;
}

int LoginSettings::port() {
    bool ok = false;
    const int value = read(kServerSection, "Port").toInt(&ok);
    return ok && value > 0 && value < 65536 ? value : 10003;
}

bool LoginSettings::tls() {
    return read(kServerSection, "Tls").trimmed() == QLatin1String("1");
}

QString LoginSettings::caFile() {
    return read(kServerSection, "CaFile").trimmed();
}
