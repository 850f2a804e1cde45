// stub
#include <QtTest>
class TestDataAccess : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestDataAccess)
#include "test_dataaccess.moc"
