// The grids' row-number column comes out as wide as Qt's own header makes it.

#include "widgets/RowNumberHeader.h"

#include <QStandardItemModel>
#include <QtTest>

class TestRowNumbers : public QObject {
    Q_OBJECT

private slots:
    void asWideAsQtMakesIt_data();
    void asWideAsQtMakesIt();
    void followsTheFont();
};

void TestRowNumbers::asWideAsQtMakesIt_data() {
    QTest::addColumn<int>("rows");
    for (int rows : {0, 1, 9, 10, 99, 100, 407, 1000, 3315, 12000})
        QTest::addRow("%d rows", rows) << rows;
}

void TestRowNumbers::asWideAsQtMakesIt() {
    QFETCH(int, rows);
    QStandardItemModel model(rows, 1);
    QHeaderView plain(Qt::Vertical);
    RowNumberHeader numbers;
    plain.setModel(&model);
    numbers.setModel(&model);
    QCOMPARE(numbers.sizeHint(), plain.sizeHint());

    // Rows replaced by more rows, of more digits.
    model.setRowCount(rows * 10 + 5);
    QCOMPARE(numbers.sizeHint(), plain.sizeHint());
}

void TestRowNumbers::followsTheFont() {
    QStandardItemModel model(500, 1);
    QHeaderView plain(Qt::Vertical);
    RowNumberHeader numbers;
    plain.setModel(&model);
    numbers.setModel(&model);
    const QSize before = numbers.sizeHint();
    QFont large = numbers.font();
    large.setPointSize(large.pointSize() * 3);
    plain.setFont(large);
    numbers.setFont(large);
    QVERIFY(numbers.sizeHint().width() > before.width());
    QCOMPARE(numbers.sizeHint(), plain.sizeHint());
}

QTEST_MAIN(TestRowNumbers)
#include "TestRowNumbers.moc"
