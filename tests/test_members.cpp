// The member management window against a real server.

#include "ClientApp.h"
#include "Dialogs.h"
#include "ShellFixture.h"
#include "TForm1.h"
#include "TForm2.h"
#include "TForm3.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

namespace {

const QList<QStringList> kMembers = {
    {"TB58", "pw", "Mareth"}, {"vqk", "q", "Quenby"}, {"kestra", "k", "Kestra"}};

QStringList gridColumn(QTableView *grid, int column) {
    QStringList values;
    for (int row = 0; row < grid->model()->rowCount(); ++row)
        values << grid->model()->index(row, column).data().toString();
    return values;
}

} // namespace

class TestMembers : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void privilegedMemberSeesAllAndAdds_data();
    void privilegedMemberSeesAllAndAdds();
    void ordinaryMemberSeesOwnRowOnly();
    void changeOfOwnLoginIsWhatTheNextLoginChecks();
    void refusedChangeStaysInUpData();
    void refusedAddStaysInAddSilently();
    void modeSurvivesClosingAndReopening();

private:
    void logInAndOpen(const QString &user, const QString &password);
    bool canLogIn(const QString &user, const QString &password);
    void checkMode(const QString &mode, int height, int buttonTop, bool panelShown);

    ShellFixture fixture_;
    std::unique_ptr<ClientApp> app_;
    TForm3 *form_ = nullptr;
};

void TestMembers::init() {
    QVERIFY2(fixture_.start(kMembers), qPrintable(fixture_.server().errorText()));
    app_ = std::make_unique<ClientApp>();
    form_ = app_->Form3;
}

void TestMembers::cleanup() {
    app_.reset();
    fixture_.stop();
    QCOMPARE(Dialogs::takeShown().size(), 0);
}

void TestMembers::logInAndOpen(const QString &user, const QString &password) {
    QVERIFY(ShellFixture::logIn(*app_, user, password));
    app_->Form1->N2Click();
    QVERIFY(form_->isVisible());
    QVERIFY(!app_->Form1->isEnabled());
}

bool TestMembers::canLogIn(const QString &user, const QString &password) {
    ClientApp other;
    const bool loggedIn = ShellFixture::logIn(other, user, password);
    Dialogs::takeShown();
    return loggedIn;
}

void TestMembers::checkMode(const QString &mode, int height, int buttonTop, bool panelShown) {
    QCOMPARE(MemberWindowMode(), mode);
    QCOMPARE(form_->height(), height);
    QCOMPARE(form_->mAdd->y(), buttonTop);
    QCOMPARE(form_->mUpdate->y(), buttonTop);
    QCOMPARE(form_->Panel1->isVisible(), panelShown);
}

void TestMembers::privilegedMemberSeesAllAndAdds_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::newRow("stored in capitals") << "TB58" << "pw";
    QTest::newRow("lower case") << "vqk" << "q";
}

void TestMembers::privilegedMemberSeesAllAndAdds() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    logInAndOpen(user, password);
    QVERIFY(form_->mAdd->isEnabled());
    QCOMPARE(gridColumn(form_->LoginGrid, 0), (QStringList{"TB58", "vqk", "kestra"}));
    auto *model = form_->LoginGrid->model();
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), "用户名");
    QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), "姓名");
    QCOMPARE(form_->LoginGrid->columnWidth(2), 273);
    checkMode("Show", 232, 159, false);

    form_->mAddClick();
    checkMode("Add", 263, 186, true);
    QVERIFY(form_->Edit1->text().isEmpty() && form_->Edit3->text().isEmpty());
    QVERIFY(!form_->mUpdate->isEnabled());

    form_->Edit1->setText(" jorun ");
    form_->Edit2->setText("j");
    form_->Edit3->setText("Jorun");
    form_->mAddClick();
    checkMode("Show", 232, 159, false);
    QVERIFY(form_->mUpdate->isEnabled());
    QCOMPARE(gridColumn(form_->LoginGrid, 0), (QStringList{"TB58", "vqk", "kestra", "jorun"}));
    QVERIFY(canLogIn("jorun", "j"));

    form_->close();
    QVERIFY(app_->Form1->isEnabled());
}

void TestMembers::ordinaryMemberSeesOwnRowOnly() {
    logInAndOpen("kestra", "k");
    QCOMPARE(gridColumn(form_->LoginGrid, 0), QStringList{"kestra"});
    QCOMPARE(gridColumn(form_->LoginGrid, 1), QStringList{"k"});
    QVERIFY(!form_->mAdd->isEnabled());
    QVERIFY(form_->mUpdate->isEnabled());
}

void TestMembers::changeOfOwnLoginIsWhatTheNextLoginChecks() {
    logInAndOpen("kestra", "k");
    form_->mUpdateClick();
    checkMode("UpData", 263, 186, true);
    QCOMPARE(form_->Edit1->text(), "kestra");
    QCOMPARE(form_->Edit2->text(), "k");
    QCOMPARE(form_->Edit3->text(), "Kestra");
    QVERIFY(!form_->mAdd->isEnabled());

    form_->Edit1->setText("kestra2");
    form_->Edit2->setText(" new ");
    form_->mUpdateClick();
    checkMode("Show", 232, 159, false);
    // The window still shows who logged in; the grid, filtered by that name, is empty.
    QCOMPARE(form_->Edit1->text(), "kestra");
    QCOMPARE(form_->LoginGrid->model()->rowCount(), 0);
    QVERIFY(!form_->mAdd->isEnabled());
    QVERIFY(canLogIn("kestra2", "new"));
    QVERIFY(!canLogIn("kestra", "k"));
}

void TestMembers::refusedChangeStaysInUpData() {
    logInAndOpen("kestra", "k");
    form_->mUpdateClick();
    form_->Edit1->setText("TB58"); // taken by another member
    form_->mUpdateClick();
    const auto shown = Dialogs::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, "修改数据出错！");
    checkMode("UpData", 263, 186, true);
    QCOMPARE(gridColumn(form_->LoginGrid, 0), QStringList{"kestra"});
    QVERIFY(canLogIn("kestra", "k"));
}

void TestMembers::refusedAddStaysInAddSilently() {
    logInAndOpen("vqk", "q");
    form_->mAddClick();
    form_->Edit1->setText("KESTRA"); // login names are unique whatever the case
    form_->Edit2->setText("x");
    form_->Edit3->setText("Other");
    form_->mAddClick();
    QCOMPARE(Dialogs::takeShown().size(), 0);
    checkMode("Add", 263, 186, true);
    QCOMPARE(form_->Edit1->text(), "KESTRA");
    QCOMPARE(form_->LoginGrid->model()->rowCount(), 3);
}

void TestMembers::modeSurvivesClosingAndReopening() {
    logInAndOpen("vqk", "q");
    form_->mAddClick();
    form_->close();
    QVERIFY(app_->Form1->isEnabled());
    app_->Form1->N2Click();
    checkMode("Add", 263, 186, true);
    QCOMPARE(form_->Edit1->text(), "vqk");
    QCOMPARE(form_->Edit2->text(), "q");
    QCOMPARE(form_->Edit3->text(), "Quenby");
    QVERIFY(!form_->mUpdate->isEnabled());

    // A server gone away: the window cannot fill, the main window stays usable.
    form_->close();
    fixture_.stop();
    app_->Form1->N2Click();
    const auto shown = Dialogs::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, "Invalid data packet");
    QVERIFY(app_->Form1->isEnabled());
    QVERIFY(!form_->isVisible());
}

QTEST_MAIN(TestMembers)
#include "test_members.moc"
