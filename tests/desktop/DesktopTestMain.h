#pragma once
// The main of a desktop test: the test object runs in an application with
// Qt's own texts in Chinese; under openbox, on an X display the test starts
// and stops itself, with a panel along the bottom of the screen.

#include "desktop/OpenboxSession.h"
#include "desktop/XvfbDisplay.h"
#include "seams/QtChinese.h"

#include <QApplication>
#include <QtTest>

#include <cstdio>

template <class Test> int runInApplication(int argc, char **argv) {
    QApplication app(argc, argv);
    QtChinese::install();
    QTEST_SET_MAIN_SOURCE_PATH
    Test test;
    return QTest::qExec(&test, argc, argv);
}

template <class Test> int runUnderOpenbox(int argc, char **argv, const QSize &screen, int panel) {
    XvfbDisplay display;
    if (!display.start(screen, QRect(0, 0, screen.width(), screen.height() - panel))) {
        std::fprintf(stderr, "%s\n", qPrintable(display.errorText()));
        return 1;
    }
    OpenboxSession windowManager;
    if (!windowManager.start(display.name(), panel)) {
        std::fprintf(stderr, "%s\n", qPrintable(windowManager.errorText()));
        return 1;
    }
    qputenv("DISPLAY", display.name().toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    const int status = runInApplication<Test>(argc, argv);
    windowManager.stop();
    display.stop();
    return status;
}
