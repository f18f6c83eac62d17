// The add-category dialog: request building, answer evaluation, the form, and
// the exchange with the local service.

#include "library/addcatadialog.h"

#include "devservice/devservice.h"
#include "eventloopwatch.h"
#include "net/api.h"
#include "net/releasedthreads.h"
#include "net/transferlimits.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

namespace {

const char kSeed[] = R"({
  "accounts": [
    {"userId": "1001", "email": "owner@example.com", "password": "pw", "secretKey": "key1001",
     "packageType": "企业版", "uploadType": "0", "leftDay": 30, "remainBytes": 10737418240, "cataid": 1}
  ],
  "categories": [
    {"cataid": 5, "parentid": 1, "cataname": "课程", "owner": "1001"}
  ]
})";

QString sha1Upper(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().toUpper());
}

} // namespace

class TestAddCata final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void requestEncodesNameAndSignsRawName();
    void answer_data();
    void answer();
    void form();
    void counterStopsAtForty();
    void exchange_data();
    void exchange();
    void successEmitsResultAndCloses();
    void successWithoutIdClosesWithEmptyId();
    void unreachableServiceShowsNetworkText();
    void silentServiceEndsWithinTheLimit();
    void closingWhilePendingDropsTheAnswer();

private:
    AddCataDialog *openDialog(const QString &parentId = QStringLiteral("5"));

    devsvc::DevService m_service;
};

void TestAddCata::initTestCase()
{
    const devsvc::OpResult seeded = m_service.seed(QByteArray(kSeed));
    QVERIFY2(seeded.ok, qPrintable(seeded.error));
    QVERIFY2(m_service.start(), qPrintable(m_service.errorString()));
    qputenv("ZAVIX_SERVICE_URL", m_service.baseUrl().toUtf8());
}

void TestAddCata::init()
{
    qputenv("ZAVIX_SERVICE_URL", m_service.baseUrl().toUtf8());
    resetTransferLimitsForTest();
    m_service.releaseStalls();
    m_service.clearFaults();
    m_service.setClockOffsetMs(0);
    m_service.clearRequestLog();
}

AddCataDialog *TestAddCata::openDialog(const QString &parentId)
{
    auto *dialog = new AddCataDialog(nullptr, QStringLiteral("1001"), QStringLiteral("key1001"), parentId,
                                     QStringLiteral("课程"));
    dialog->show();
    return dialog;
}

void TestAddCata::requestEncodesNameAndSignsRawName()
{
    const QString name = QStringLiteral("my 中文 a+b&c");
    const AddCataRequest r =
        buildAddCataRequest(QStringLiteral("http://127.0.0.1:1"), QStringLiteral("77"), QStringLiteral("secret"),
                            QStringLiteral("5"), name, 1553650000123);
    QCOMPARE(r.url, QByteArrayLiteral("http://127.0.0.1:1/v2/video/77/addCata/"));
    const QString signedText = QStringLiteral("cataname=my 中文 a+b&c&parentid=5&ptime=1553650000123secret");
    QCOMPARE(r.signedText, signedText);
    const QByteArray expectedBody = QByteArrayLiteral("cataname=my+%E4%B8%AD%E6%96%87+a%2Bb%26c&parentid=5"
                                                      "&ptime=1553650000123&sign=")
        + sha1Upper(signedText).toLatin1();
    QCOMPARE(r.body, expectedBody);
}

void TestAddCata::answer_data()
{
    QTest::addColumn<bool>("transferOk");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("cataid");
    QTest::addColumn<QString>("tip");

    QTest::newRow("success") << true << R"({"code":200,"status":"success","data":{"cataid":123}})" << true << "123"
                             << "";
    QTest::newRow("success, id as double") << true << R"({"code":200,"data":{"cataid":1234567890123.0}})" << true
                                           << "1234567890123" << "";
    QTest::newRow("transfer failed") << false << "" << false << "" << "http 请求错误，请检查网络。";
    QTest::newRow("not JSON") << true << "<html>" << false << "" << "创建目录错误";
    QTest::newRow("time stamp") << true << R"({"code":400,"message":"ptime is too old."})" << false << ""
                                << "请检查系统时间";
    QTest::newRow("server message") << true << R"({"code":400,"message":"cataname is exist."})" << false << ""
                                    << "cataname is exist.";
    // Code 200 without a usable id is still a success: the category exists.
    QTest::newRow("success without id") << true << R"({"code":200,"data":{}})" << true << "" << "";
    QTest::newRow("success, id null") << true << R"({"code":200,"data":{"cataid":null}})" << true << "" << "";
    QTest::newRow("success, id a text") << true << R"({"code":200,"data":{"cataid":"12"}})" << true << "" << "";
    QTest::newRow("success, id zero") << true << R"({"code":200,"data":{"cataid":0}})" << true << "" << "";
    QTest::newRow("success, id negative") << true << R"({"code":200,"data":{"cataid":-3}})" << true << "" << "";
    QTest::newRow("success, id too large") << true << R"({"code":200,"data":{"cataid":1e300}})" << true << "" << "";
    QTest::newRow("success, no data") << true << R"({"code":200,"status":"success"})" << true << "" << "";
}

void TestAddCata::answer()
{
    QFETCH(bool, transferOk);
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, cataid);
    QFETCH(QString, tip);
    const AddCataOutcome outcome = evaluateAddCataAnswer(transferOk, text);
    QCOMPARE(outcome.ok, ok);
    QCOMPARE(outcome.cataid, cataid);
    QCOMPARE(outcome.tip, tip);
}

void TestAddCata::form()
{
    const QString longName = QStringLiteral("一个很长很长很长很长很长很长很长很长很长很长很长很长很长的目录名称<b>x</b>");
    AddCataDialog dialog(nullptr, QStringLiteral("1001"), QStringLiteral("key1001"), QStringLiteral("5"), longName);
    QCOMPARE(dialog.objectName(), QStringLiteral("AddCataDialog"));
    QVERIFY(dialog.testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(dialog.size(), QSize(522, 260));
    QCOMPARE(dialog.findChild<QLabel *>("titleLabel")->text(), QStringLiteral("新建目录"));
    auto *parentLbl = dialog.findChild<QLabel *>("currentCataCotentLbl");
    QCOMPARE(parentLbl->textFormat(), Qt::PlainText);
    QVERIFY(parentLbl->text().endsWith(QChar(0x2026)));
    QVERIFY(parentLbl->fontMetrics().horizontalAdvance(parentLbl->text()) <= 220);
    QVERIFY(parentLbl->toolTip().contains(longName.toHtmlEscaped()));
    auto *edit = dialog.findChild<QLineEdit *>("addCataEdit");
    QCOMPARE(edit->placeholderText(), QStringLiteral("请输入将要添加的目录名称"));
    QCOMPARE(dialog.findChild<QLabel *>("currentNumLbl")->text(), QStringLiteral("0/40"));
    QVERIFY(dialog.findChild<QLabel *>("tipsLbl")->text().isEmpty());
    dialog.setAttribute(Qt::WA_DeleteOnClose, false); // on the stack here
}

void TestAddCata::counterStopsAtForty()
{
    QPointer<AddCataDialog> dialog = openDialog();
    auto *edit = dialog->findChild<QLineEdit *>("addCataEdit");
    auto *counter = dialog->findChild<QLabel *>("currentNumLbl");
    edit->insert(QStringLiteral("中文"));
    QCOMPARE(counter->text(), QStringLiteral("2/40"));
    QTest::keyClicks(edit, QString(39, QLatin1Char('x')));
    QCOMPARE(edit->text().size(), 40);
    QCOMPARE(counter->text(), QStringLiteral("40/40"));
    dialog->close();
}

void TestAddCata::exchange_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parentId");
    QTest::addColumn<QString>("fault"); // "", "clock", "500", "garbage"
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QString>("tip");

    QTest::newRow("empty name") << "" << "5" << "" << false << "您的输入为空";
    QTest::newRow("blanks only") << "   \t " << "5" << "" << false << "您的输入为空";
    QTest::newRow("time stamp rejected") << "新目录" << "5" << "clock" << true << "请检查系统时间";
    QTest::newRow("server refuses") << "新目录" << "424242" << "" << true << "parent cata is not exist.";
    QTest::newRow("HTTP 500") << "新目录" << "5" << "500" << true << "http 请求错误，请检查网络。";
    QTest::newRow("not JSON") << "新目录" << "5" << "garbage" << true << "创建目录错误";
}

void TestAddCata::exchange()
{
    QFETCH(QString, name);
    QFETCH(QString, parentId);
    QFETCH(QString, fault);
    QFETCH(bool, sent);
    QFETCH(QString, tip);

    const QString route = QStringLiteral("/v2/video/1001/addCata/?");
    if (fault == QLatin1String("clock"))
        m_service.setClockOffsetMs(qint64(10) * 3600 * 1000);
    else if (fault == QLatin1String("500"))
        m_service.answerNext(route, 500, QByteArrayLiteral(R"({"code":500})"));
    else if (fault == QLatin1String("garbage"))
        m_service.answerNext(route, 200, QByteArrayLiteral("<html>maintenance</html>"));

    QPointer<AddCataDialog> dialog = openDialog(parentId);
    QSignalSpy result(dialog.data(), &AddCataDialog::Result);
    dialog->findChild<QLineEdit *>("addCataEdit")->setText(name);
    dialog->findChild<QPushButton *>("addBtn")->click();

    QTRY_COMPARE(dialog->findChild<QLabel *>("tipsLbl")->text(), tip);
    QTRY_VERIFY(dialog->findChild<QPushButton *>("addBtn")->isEnabled());
    QCOMPARE(m_service.requests(route).size(), sent ? 1 : 0);
    QCOMPARE(result.count(), 0);
    QVERIFY(dialog->isVisible()); // stays open with the name kept
    QCOMPARE(dialog->findChild<QLineEdit *>("addCataEdit")->text(), name);
    dialog->close();
    QTRY_VERIFY(!dialog);
}

void TestAddCata::successEmitsResultAndCloses()
{
    QPointer<AddCataDialog> dialog = openDialog();
    QSignalSpy result(dialog.data(), &AddCataDialog::Result);
    dialog->findChild<QLineEdit *>("addCataEdit")->setText(QStringLiteral("  第二章 练习  "));
    dialog->findChild<QPushButton *>("addBtn")->click();
    QTRY_COMPARE(result.count(), 1);
    QCOMPARE(result.at(0).at(0).toString(), QStringLiteral("第二章 练习"));
    const QString id = result.at(0).at(1).toString();
    QVERIFY2(id.toLongLong() > 5, qPrintable(id));
    QTRY_VERIFY(!dialog); // deleted once closed
    QCOMPARE(m_service.requests(QStringLiteral("/v2/video/1001/addCata/?")).size(), 1);
}

void TestAddCata::successWithoutIdClosesWithEmptyId()
{
    m_service.answerNext(QStringLiteral("/v2/video/1001/addCata/?"), 200,
                         QByteArrayLiteral(R"({"code":200,"status":"success","message":"","data":{}})"));
    QPointer<AddCataDialog> dialog = openDialog();
    QSignalSpy result(dialog.data(), &AddCataDialog::Result);
    dialog->findChild<QLineEdit *>("addCataEdit")->setText(QStringLiteral("无编号"));
    dialog->findChild<QPushButton *>("addBtn")->click();
    QTRY_COMPARE(result.count(), 1);
    QCOMPARE(result.at(0).at(0).toString(), QStringLiteral("无编号"));
    QCOMPARE(result.at(0).at(1).toString(), QString());
    QTRY_VERIFY(!dialog);
}

void TestAddCata::unreachableServiceShowsNetworkText()
{
    // A port on this machine where nothing listens.
    devsvc::DevService probe;
    QVERIFY(probe.start());
    const quint16 port = probe.port();
    probe.stop();
    qputenv("ZAVIX_SERVICE_URL", QByteArray("http://127.0.0.1:") + QByteArray::number(port));

    QPointer<AddCataDialog> dialog = openDialog();
    dialog->findChild<QLineEdit *>("addCataEdit")->setText(QStringLiteral("x"));
    dialog->findChild<QPushButton *>("addBtn")->click();
    QTRY_COMPARE(dialog->findChild<QLabel *>("tipsLbl")->text(), QStringLiteral("http 请求错误，请检查网络。"));
    dialog->close();
}

void TestAddCata::silentServiceEndsWithinTheLimit()
{
    // The service takes the request and never answers: the dialog keeps
    // working, and after the limit (shortened here) it shows the network
    // text with the name kept, ready for another try.
    TransferLimits limits;
    limits.addCategoryMs = 1500;
    setTransferLimitsForTest(limits);
    const QString route = QStringLiteral("/v2/video/1001/addCata/?");
    m_service.stallNext(route);
    QPointer<AddCataDialog> dialog = openDialog();
    QSignalSpy result(dialog.data(), &AddCataDialog::Result);
    auto *add = dialog->findChild<QPushButton *>("addBtn");
    auto *tips = dialog->findChild<QLabel *>("tipsLbl");
    dialog->findChild<QLineEdit *>("addCataEdit")->setText(QStringLiteral("新目录"));

    EventLoopWatch watch;
    QElapsedTimer timer;
    timer.start();
    add->click();
    QVERIFY(!add->isEnabled()); // one request at a time
    QTRY_COMPARE(m_service.stalledCount(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(tips->text(), QStringLiteral("http 请求错误，请检查网络。"), 6000);
    QVERIFY2(timer.elapsed() >= 1400, qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(watch.longestGapMs() < 100, qPrintable(watch.describe()));
    QVERIFY(add->isEnabled());
    QCOMPARE(result.count(), 0);
    QCOMPARE(dialog->findChild<QLineEdit *>("addCataEdit")->text(), QStringLiteral("新目录"));

    // Once the service answers again, a second press adds the category.
    m_service.releaseStalls();
    add->click();
    QTRY_COMPARE(result.count(), 1);
    QTRY_VERIFY(!dialog);
}

void TestAddCata::closingWhilePendingDropsTheAnswer()
{
    const QString route = QStringLiteral("/v2/video/1001/addCata/?");
    m_service.stallNext(route);
    QPointer<AddCataDialog> dialog = openDialog();
    QSignalSpy result(dialog.data(), &AddCataDialog::Result);
    dialog->findChild<QLineEdit *>("addCataEdit")->setText(QStringLiteral("x"));
    dialog->findChild<QPushButton *>("addBtn")->click();
    QTRY_COMPARE(m_service.stalledCount(), 1);

    EventLoopWatch watch;
    dialog->close();
    QTRY_VERIFY(!dialog); // deleted without waiting for the request
    QVERIFY2(watch.longestGapMs() < 100, qPrintable(watch.describe()));
    m_service.releaseStalls();
    QTRY_COMPARE(releasedThreadCount(), 0);
    QCOMPARE(result.count(), 0);
}

QTEST_MAIN(TestAddCata)
#include "tst_addcata.moc"
