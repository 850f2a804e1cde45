// The client's Chinese text can be drawn: the set-up installs a font with the
// glyphs, without which a fresh machine shows every caption as empty boxes.

#include "ClientApp.h"
#include "shell/LoginSettings.h"

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTabBar>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace {

bool isCjk(char32_t c) {
    return (c >= 0x3000 && c <= 0x30ff) || (c >= 0x4e00 && c <= 0x9fff) ||
           (c >= 0xff00 && c <= 0xffef);
}

// Every text of a window that has a Chinese character in it, with the
// font the window draws it in.
QList<QPair<QString, QFont>> chineseTexts(QWidget *window) {
    QList<QPair<QString, QFont>> texts = {{window->windowTitle(), window->font()}};
    for (auto *label : window->findChildren<QLabel *>())
        texts.append({label->text(), label->font()});
    for (auto *button : window->findChildren<QAbstractButton *>())
        texts.append({button->text(), button->font()});
    for (auto *tabs : window->findChildren<QTabBar *>())
        for (int i = 0; i < tabs->count(); ++i)
            texts.append({tabs->tabText(i), tabs->font()});
    QList<QPair<QString, QFont>> chinese;
    for (const auto &text : texts) {
        const auto characters = text.first.toUcs4();
        if (std::any_of(characters.begin(), characters.end(), isCjk))
            chinese.append(text);
    }
    return chinese;
}

} // namespace

class TestFonts : public QObject {
    Q_OBJECT
private slots:
    void setUpInstallsAChineseFont();
    void everyChineseCaptionHasItsGlyphs();
};

void TestFonts::setUpInstallsAChineseFont() {
    QFile setup(QStringLiteral(SOLVANE_SOURCE_DIR "/scripts/setup.sh"));
    QVERIFY(setup.open(QIODevice::ReadOnly | QIODevice::Text));
    const auto packages = QRegularExpression(R"(\nPACKAGES=\(([^)]*)\))")
                              .match(QString::fromUtf8(setup.readAll()))
                              .captured(1)
                              .split(QRegularExpression(R"(\s+)"), Qt::SkipEmptyParts);
    QVERIFY(packages.contains("qt6-base-dev"));
    QVERIFY(packages.contains("fonts-noto-cjk"));
}

void TestFonts::everyChineseCaptionHasItsGlyphs() {
    QTemporaryDir settings;
    LoginSettings::setPathForTesting(settings.filePath("Server.ini"));
    ClientApp client;
    int checked = 0;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        for (const auto &[text, font] : chineseTexts(window)) {
            const QFontMetrics metrics(font);
            for (char32_t c : text.toUcs4())
                QVERIFY2(!isCjk(c) || metrics.inFontUcs4(c),
                         qPrintable(QString("%1 in \"%2\"").arg(QString::fromUcs4(&c, 1), text)));
            ++checked;
        }
    }
    QVERIFY(checked > 20);
    LoginSettings::setPathForTesting(QString());
}

QTEST_MAIN(TestFonts)
#include "TestFonts.moc"
