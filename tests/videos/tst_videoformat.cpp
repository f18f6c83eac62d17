// Text rules of the video pages: title decoding, status and modification
// texts, paging figures, embed code and the signed requests.
#include "library/embedcode.h"
#include "library/videoformat.h"
#include "library/videorecord.h"
#include "library/videorequests.h"
#include "net/api.h"

#include <QApplication>
#include <QFontMetrics>
#include <QUrlQuery>
#include <QtTest>

class TstVideoFormat final : public QObject
{
    Q_OBJECT

private slots:
    void decodeTitle_data();
    void decodeTitle();
    void statusText_data();
    void statusText();
    void modificationText_data();
    void modificationText();
    void paging_data();
    void paging();
    void pageItemWidth_data();
    void pageItemWidth();
    void countTexts();

    void flashAndVid();
    void objectCode();
    void scriptCode();
    void emptySizesLeaveEmptyQuotes();
    void codeTypeNames();
    void headerElidesLongTitle();
    void nextCopyWithoutIndexKeepsCode();

    void answerParsing_data();
    void answerParsing();
    void recordReadsStringsOnly();
    void searchOrderByName();

    void listRequest();
    void searchRequestEncodesKeyword();
    void deleteRequest();
    void editRequest_data();
    void editRequest();
    void coverRequest();
};

void TstVideoFormat::decodeTitle_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("shown");
    QTest::newRow("all four") << "Tom &amp; Jerry&#039;s &#040;1&#041;" << "Tom & Jerry's (1)";
    QTest::newRow("amp last") << "&amp;#040;" << "&#040;";
    QTest::newRow("repeated") << "&#040;&#040;a&#041;&#041;" << "((a))";
    QTest::newRow("case sensitive") << "&AMP; &Amp;" << "&AMP; &Amp;";
    QTest::newRow("plain") << QString::fromUtf8("中文 title") << QString::fromUtf8("中文 title");
    QTest::newRow("empty") << "" << "";
}

void TstVideoFormat::decodeTitle()
{
    QFETCH(QString, raw);
    QFETCH(QString, shown);
    QCOMPARE(videoformat::decodeTitle(raw), shown);
}

void TstVideoFormat::statusText_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("text");
    QTest::newRow("5") << "5" << QString::fromUtf8("上传中");
    QTest::newRow("60") << "60" << QString::fromUtf8("已发布");
    QTest::newRow("61") << "61" << QString::fromUtf8("已发布");
    QTest::newRow("10") << "10" << QString::fromUtf8("等待编码");
    QTest::newRow("20") << "20" << QString::fromUtf8("正在编码");
    QTest::newRow("50") << "50" << QString::fromUtf8("等待审核");
    QTest::newRow("51") << "51" << QString::fromUtf8("审核不通过");
    QTest::newRow("-1") << "-1" << QString::fromUtf8("已删除");
    QTest::newRow("7") << "7" << QString::fromUtf8("文件损坏或其它");
    QTest::newRow("padded") << " 5" << QString::fromUtf8("文件损坏或其它");
    QTest::newRow("empty") << "" << QString::fromUtf8("文件损坏或其它");
}

void TstVideoFormat::statusText()
{
    QFETCH(QString, status);
    QFETCH(QString, text);
    QCOMPARE(videoformat::statusText(status), text);
}

void TstVideoFormat::modificationText_data()
{
    QTest::addColumn<QString>("ptime");
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("text");
    QTest::newRow("ms, UTC+8") << "1553673909000" << QByteArray("Asia/Shanghai") << "2019-3-27 16:05:09";
    QTest::newRow("ms digits ignored") << "1553673909123" << QByteArray("Asia/Shanghai")
                                       << "2019-3-27 16:05:09";
    QTest::newRow("UTC") << "1553673909123" << QByteArray("UTC") << "2019-3-27 08:05:09";
    QTest::newRow("seconds only") << "1553673909" << QByteArray("UTC") << "2019-3-27 08:05:09";
    QTest::newRow("two-digit month") << "1702252800000" << QByteArray("UTC") << "2023-12-11 00:00:00";
    QTest::newRow("not a number") << "abc" << QByteArray("UTC") << "1970-1-1 00:00:00";
}

void TstVideoFormat::modificationText()
{
    QFETCH(QString, ptime);
    QFETCH(QByteArray, zone);
    QFETCH(QString, text);
    QCOMPARE(videoformat::modificationText(ptime, QTimeZone(zone)), text);
}

void TstVideoFormat::paging_data()
{
    QTest::addColumn<QString>("total");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("listWidth");
    QTest::newRow("45") << "45" << 3 << 66;
    QTest::newRow("40") << "40" << 2 << 44;
    QTest::newRow("41") << "41" << 3 << 66;
    QTest::newRow("20") << "20" << 1 << 22;
    QTest::newRow("1") << "1" << 1 << 22;
    QTest::newRow("0") << "0" << 1 << 22;
    QTest::newRow("not a number") << "many" << 1 << 22;
    QTest::newRow("negative") << "-40" << 1 << 22;
    QTest::newRow("180") << "180" << 9 << 198;
    QTest::newRow("181") << "181" << 10 << 240;
    QTest::newRow("huge is capped") << "2000000000" << videoformat::kMaxPageCount << 240;
}

void TstVideoFormat::paging()
{
    QFETCH(QString, total);
    QFETCH(int, pages);
    QFETCH(int, listWidth);
    QCOMPARE(videoformat::pageCount(total), pages);
    QCOMPARE(videoformat::pageListWidth(pages), listWidth);
}

void TstVideoFormat::pageItemWidth_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("width");
    QTest::newRow("1") << 1 << 20;
    QTest::newRow("9") << 9 << 20;
    QTest::newRow("10") << 10 << 25;
    QTest::newRow("99") << 99 << 25;
    QTest::newRow("100") << 100 << 30;
    QTest::newRow("999") << 999 << 30;
    QTest::newRow("1000") << 1000 << 40;
    QTest::newRow("9999") << 9999 << 40;
    QTest::newRow("10000") << 10000 << 60;
}

void TstVideoFormat::pageItemWidth()
{
    QFETCH(int, page);
    QFETCH(int, width);
    QCOMPARE(videoformat::pageItemWidth(page), width);
}

void TstVideoFormat::countTexts()
{
    QCOMPARE(videoformat::pageCountText(3), QString::fromUtf8("共3页，跳到："));
    QCOMPARE(videoformat::fileCountText(0),
             QString::fromUtf8("(文件数量:<font color = #26a0f5>0</font>/20个)"));
    QCOMPARE(videoformat::fileCountText(17),
             QString::fromUtf8("(文件数量:<font color = #26a0f5>17</font>/20个)"));
}

void TstVideoFormat::flashAndVid()
{
    QCOMPARE(embedcode::buildCode(embedcode::KindVid, "abc", "600", "400", "player.test"),
             QString("abc"));
    QCOMPARE(embedcode::buildCode(embedcode::KindFlash, "abc", "600", "400", "player.test"),
             QString("http://player.test/videos/player.swf?vid=abc"));
    QCOMPARE(embedcode::buildCode(7, "abc", "600", "400", "player.test"), QString());
}

void TstVideoFormat::objectCode()
{
    const QString expected = QStringLiteral(
        "<OBJECT classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" width=\"600\" height=\"400\" "
        "id=\"zavixplayerabc\"><PARAM NAME=movie VALUE=\"http://p.test:81/videos/player.swf\" />"
        "<param name=\"allowscriptaccess\" value=\"always\" /><param name=\"wmode\" "
        "value=\"Transparent\" /><param name=\"flashvars\" value=\"vid=abc\" /><param "
        "name=\"allowFullScreen\" value=\"true\" /><EMBED src=\"http://p.test:81/videos/player.swf\" "
        "width=\"600\" height=\"400\"  TYPE=\"application/x-shockwave-flash\" "
        "allowscriptaccess=\"always\" wmode=\"Transparent\" name=\"zavixplayerabc\" "
        "allowFullScreen=\"true\" flashvars=\"vid=abc\"></EMBED></OBJECT>");
    const QString code = embedcode::buildCode(embedcode::KindHtml, "abc", "600", "400", "p.test:81");
    QCOMPARE(code, expected);
    QVERIFY(!code.contains('\n'));
}

void TstVideoFormat::scriptCode()
{
    const QString code = embedcode::buildCode(embedcode::KindJs, "abc", "600", "400", "p.test");
    const QStringList lines = code.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines.at(0), QString("<script src='//p.test/script/zavixplayer.min.js'></script>"));
    QCOMPARE(lines.at(1), QString("<div id='zvx_abc'></div>"));
    QCOMPARE(lines.at(2), QString("<script>"));
    QCOMPARE(lines.at(3), QString("var player = zavixObject('#zvx_abc').videoPlayer({"));
    QCOMPARE(lines.at(4), QString("    'width':'600',"));
    QCOMPARE(lines.at(5), QString("  'height':'400',"));
    QCOMPARE(lines.at(6), QString("'vid' : 'abc'"));
    QCOMPARE(lines.at(7), QString("});"));
    QCOMPARE(lines.at(8), QString("</script>"));
    QVERIFY(!code.endsWith('\n'));
    // no bare line feed or carriage return outside the CR LF pairs
    QCOMPARE(code.count('\n'), 8);
    QCOMPARE(code.count('\r'), 8);
}

void TstVideoFormat::emptySizesLeaveEmptyQuotes()
{
    const QString html = embedcode::buildCode(embedcode::KindHtml, "v1", "", "", "p");
    QCOMPARE(html.count(QStringLiteral("width=\"\" height=\"\"")), 2);
    QVERIFY(!html.contains("[width]") && !html.contains("[height]"));
    const QString js = embedcode::buildCode(embedcode::KindJs, "v1", "", "", "p");
    QVERIFY(js.contains(QStringLiteral("\r\n    'width':'',\r\n  'height':'',\r\n")));
}

void TstVideoFormat::codeTypeNames()
{
    using embedcode::Page;
    QCOMPARE(embedcode::codeTypeName(0, Page::Manage), QString("Vid"));
    QCOMPARE(embedcode::codeTypeName(0, Page::Search), QString("VID"));
    for (Page page : {Page::Manage, Page::Search}) {
        QCOMPARE(embedcode::codeTypeName(1, page), QString("Flash"));
        QCOMPARE(embedcode::codeTypeName(2, page), QString("Html"));
        QCOMPARE(embedcode::codeTypeName(3, page), QString("Js"));
        QCOMPARE(embedcode::codeTypeName(-1, page), QString());
    }
}

void TstVideoFormat::headerElidesLongTitle()
{
    const QFontMetrics metrics(QApplication::font());
    QCOMPARE(embedcode::codeHeader("short", "v9", metrics), QString::fromUtf8("标题:short\r\nv9"));
    const QString longTitle(400, QLatin1Char('W'));
    const QString header = embedcode::codeHeader(longTitle, "v9", metrics);
    QVERIFY(header.endsWith(QStringLiteral("\r\nv9")));
    const QString shown = header.section(QStringLiteral("\r\n"), 0, 0).mid(3);
    QVERIFY(shown.endsWith(QChar(0x2026)));
    QVERIFY(metrics.horizontalAdvance(shown) <= 260);
}

void TstVideoFormat::nextCopyWithoutIndexKeepsCode()
{
    const QFontMetrics metrics(QApplication::font());
    embedcode::CopyInput first{embedcode::KindFlash, "a1", "first", "1", "2"};
    const embedcode::CopiedCode one = embedcode::nextCopy({}, first, embedcode::Page::Search, "p", metrics);
    QCOMPARE(one.type, QString("Flash"));
    QCOMPARE(one.code, QString("http://p/videos/player.swf?vid=a1"));

    embedcode::CopyInput second{-1, "b2", "second", "1", "2"};
    const embedcode::CopiedCode two = embedcode::nextCopy(one, second, embedcode::Page::Search, "p", metrics);
    QCOMPARE(two.type, one.type);
    QCOMPARE(two.code, one.code);
    QCOMPARE(two.header, QString::fromUtf8("标题:second\r\nb2"));
}

void TstVideoFormat::answerParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parsed");
    QTest::addColumn<bool>("succeeded");
    QTest::addColumn<int>("videos");
    QTest::addColumn<int>("pages");
    QTest::addColumn<bool>("timeRejected");
    QTest::newRow("transfer error") << "error" << false << false << 0 << 1 << false;
    QTest::newRow("array document") << "[1,2]" << false << false << 0 << 1 << false;
    QTest::newRow("ok") << R"({"status":"200","message":"45","data":[{"vid":"a"},{"vid":"b"}]})"
                        << true << true << 2 << 3 << false;
    QTest::newRow("empty data") << R"({"status":"200","message":"0","data":[]})" << true << true << 0 << 1
                                << false;
    QTest::newRow("data not array") << R"({"status":"200","message":"5","data":{}})" << true << false << 0
                                    << 1 << false;
    QTest::newRow("numeric status") << R"({"status":200,"message":"5","data":[]})" << true << false << 0
                                    << 1 << false;
    QTest::newRow("time") << R"({"code":400,"status":"400","message":"ptime is too old."})" << true << false
                          << 0 << 1 << true;
}

void TstVideoFormat::answerParsing()
{
    QFETCH(QString, text);
    QFETCH(bool, parsed);
    QFETCH(bool, succeeded);
    QFETCH(int, videos);
    QFETCH(int, pages);
    QFETCH(bool, timeRejected);
    const VideoListAnswer answer = VideoListAnswer::parse(text);
    QCOMPARE(answer.parsed, parsed);
    QCOMPARE(answer.succeeded(), succeeded);
    QCOMPARE(answer.videos.size(), videos);
    QCOMPARE(answer.pageCount, pages);
    QCOMPARE(answer.timeRejected(), timeRejected);
}

void TstVideoFormat::recordReadsStringsOnly()
{
    const auto document = QJsonDocument::fromJson(
        R"({"vid":"v1","title":"a &amp; b","times":12,"status":"61","ptime":"1553673909123",)"
        R"("playerwidth":"600","playerheight":null,"first_image":"http://x/y.jpg","cataname":"C"})");
    const VideoRecord record = VideoRecord::fromJson(document.object());
    QCOMPARE(record.vid, QString("v1"));
    QCOMPARE(record.title, QString("a & b"));
    QCOMPARE(record.times, QString()); // a number is not read
    QCOMPARE(record.playerwidth, QString("600"));
    QCOMPARE(record.playerheight, QString());
    QCOMPARE(record.firstImage, QString("http://x/y.jpg"));
    QCOMPARE(record.cataname, QString("C"));
}

void TstVideoFormat::searchOrderByName()
{
    QVector<VideoRecord> videos(5);
    const char *titles[] = {"b", "a", "b", "B", "a"};
    for (int i = 0; i < 5; ++i)
        videos[i].title = titles[i];
    QCOMPARE(searchRowOrder(videos, false), (QVector<int>{0, 1, 2, 3, 4}));
    // "B" < "a" < "b"; equal titles: later in the answer first
    QCOMPARE(searchRowOrder(videos, true), (QVector<int>{3, 4, 1, 2, 0}));
    QCOMPARE(searchRowOrder({}, true), QVector<int>());
}

void TstVideoFormat::listRequest()
{
    videorequests::ListQuery query{"u7", "1", "1", 1, 1511856000000, "KEY"};
    QCOMPARE(videorequests::listSignText(query),
             QString("cataflag=1&cataid=1&numPerPage=20&pageNum=1&ptime=1511856000000KEY"));
    const QString url = videorequests::listUrl("http://127.0.0.1:9", query);
    QCOMPARE(url, QString("http://127.0.0.1:9/v2/video/u7/list?cataflag=1&cataid=1&numPerPage=20"
                          "&pageNum=1&ptime=1511856000000&sign=")
                      + signParams(videorequests::listSignText(query)));

    // values that look like placeholders are not substituted again
    videorequests::ListQuery odd{"u7", "0", "%3", 2, 5, "%1"};
    QCOMPARE(videorequests::listSignText(odd), QString("cataflag=0&cataid=%3&numPerPage=20&pageNum=2&ptime=5%1"));
}

void TstVideoFormat::searchRequestEncodesKeyword()
{
    videorequests::SearchQuery query{"u7", QString::fromUtf8("猫 & dog"), 3, 42, "K"};
    QCOMPARE(videorequests::searchSignText(query),
             QString::fromUtf8("cataflag=0&cataid=1&keyword=猫 & dog&numPerPage=20&pageNum=3&ptime=42K"));
    const QString url = videorequests::searchUrl("http://h", query);
    QVERIFY(url.startsWith("http://h/v2/video/u7/list?cataflag=0&cataid=1&keyword=%E7%8C%AB+%26+dog"
                           "&numPerPage=20&pageNum=3&ptime=42&sign="));
    QVERIFY(url.endsWith(signParams(videorequests::searchSignText(query))));
}

void TstVideoFormat::deleteRequest()
{
    const QString url = videorequests::deleteUrl("http://h", "u7", "v_1", 99, "K");
    QCOMPARE(url, QString("http://h/v2/video/u7/del-video?ptime=99&sign=")
                      + signParams("ptime=99&vid=v_1K") + "&vid=v_1");
}

void TstVideoFormat::editRequest_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("describ");
    QTest::addColumn<QString>("signText");
    QTest::addColumn<QByteArray>("bodyTail");
    QTest::newRow("title only") << "New name" << "" << ""
                                << "ptime=7&title=New name&vid=vx1S"
                                << QByteArray("&vid=vx1&title=New+name&tag=&describ=");
    QTest::newRow("all") << "t" << "a,b" << QString::fromUtf8("说明")
                         << QString::fromUtf8("describ=说明&ptime=7&tag=a,b&title=t&vid=vx1S")
                         << QByteArray("&vid=vx1&title=t&tag=a%2Cb&describ=%E8%AF%B4%E6%98%8E");
    QTest::newRow("describ only") << "" << "" << "d"
                                  << "describ=d&ptime=7&vid=vx1S"
                                  << QByteArray("&vid=vx1&title=&tag=&describ=d");
}

void TstVideoFormat::editRequest()
{
    QFETCH(QString, title);
    QFETCH(QString, tag);
    QFETCH(QString, describ);
    QFETCH(QString, signText);
    QFETCH(QByteArray, bodyTail);
    const videorequests::VideoInfo info{"vx1", title, tag, describ};
    QCOMPARE(videorequests::editInfoSignText(info, 7, "S"), signText);
    const auto request = videorequests::editInfoRequest("http://h", "u7", info, 7, "S");
    QCOMPARE(request.url, QByteArray("http://h/v2/video/u7/video-info"));
    QCOMPARE(request.body, QByteArray("ptime=7&sign=") + signParams(signText).toLatin1() + bodyTail);
}

void TstVideoFormat::coverRequest()
{
    const auto request = videorequests::coverRequest("http://h", "u7", "vx1", 12, "S");
    QCOMPARE(request.url, QByteArray("http://h/v2/video/u7/uploadCoverImage"));
    QCOMPARE(request.ptime, QByteArray("12"));
    QCOMPARE(request.vids, QByteArray("vx1"));
    QCOMPARE(request.sign, signParams("ptime=12&vids=vx1S").toLatin1());
}

QTEST_MAIN(TstVideoFormat)
#include "tst_videoformat.moc"
