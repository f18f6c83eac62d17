// The geometry rules of the frameless main window.

#include "app/shell/framelessgeometry.h"

#include <QtTest>

using namespace frameless;

class TestFramelessGeometry final : public QObject
{
    Q_OBJECT

private slots:
    void dragAreaInsetsLeftTopRight();
    void handleAt_data();
    void handleAt();
    void cursorForHandle_data();
    void cursorForHandle();
    void resized_data();
    void resized();
    void restoredTopLeftKeepsPressUnderPointer_data();
    void restoredTopLeftKeepsPressUnderPointer();
};

void TestFramelessGeometry::dragAreaInsetsLeftTopRight()
{
    QCOMPARE(dragArea(QRect(0, 0, 1280, 60)), QRect(5, 5, 1270, 55));
    QCOMPARE(dragArea(QRect(10, 20, 100, 60)), QRect(15, 25, 90, 55));
    // The drag area never reaches into the resize bands of a window whose
    // title spans the whole width.
    const HandleRects rects = handleRects(QSize(1280, 720));
    const QRect area = dragArea(QRect(0, 0, 1280, 60));
    for (const QRect &r : rects)
        QVERIFY(!r.intersects(area));
}

void TestFramelessGeometry::handleAt_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<int>("handle");
    QTest::newRow("top-left corner") << QPoint(0, 0) << 1;
    QTest::newRow("top-left inner corner") << QPoint(4, 4) << 1;
    QTest::newRow("top band start") << QPoint(5, 0) << 2;
    QTest::newRow("top band end") << QPoint(1274, 4) << 2;
    QTest::newRow("top-right") << QPoint(1275, 0) << 3;
    QTest::newRow("top-right inner") << QPoint(1279, 4) << 3;
    QTest::newRow("right band") << QPoint(1277, 360) << 4;
    QTest::newRow("bottom-right") << QPoint(1279, 719) << 5;
    QTest::newRow("bottom band") << QPoint(640, 716) << 6;
    QTest::newRow("bottom-left") << QPoint(0, 719) << 7;
    QTest::newRow("left band") << QPoint(2, 300) << 8;
    QTest::newRow("left band last row") << QPoint(0, 714) << 8;
    QTest::newRow("inside") << QPoint(5, 5) << 0;
    QTest::newRow("centre") << QPoint(640, 360) << 0;
    QTest::newRow("outside") << QPoint(1280, 360) << 0;
    QTest::newRow("negative") << QPoint(-1, 10) << 0;
}

void TestFramelessGeometry::handleAt()
{
    QFETCH(QPoint, point);
    QFETCH(int, handle);
    QCOMPARE(frameless::handleAt(handleRects(QSize(1280, 720)), point), handle);
}

void TestFramelessGeometry::cursorForHandle_data()
{
    QTest::addColumn<int>("handle");
    QTest::addColumn<int>("shape");
    QTest::newRow("none") << 0 << int(Qt::ArrowCursor);
    QTest::newRow("1") << 1 << int(Qt::SizeFDiagCursor);
    QTest::newRow("2") << 2 << int(Qt::SizeVerCursor);
    QTest::newRow("3") << 3 << int(Qt::SizeBDiagCursor);
    QTest::newRow("4") << 4 << int(Qt::SizeHorCursor);
    QTest::newRow("5") << 5 << int(Qt::SizeFDiagCursor);
    QTest::newRow("6") << 6 << int(Qt::SizeVerCursor);
    QTest::newRow("7") << 7 << int(Qt::SizeBDiagCursor);
    QTest::newRow("8") << 8 << int(Qt::SizeHorCursor);
    QTest::newRow("out of range") << 9 << int(Qt::ArrowCursor);
}

void TestFramelessGeometry::cursorForHandle()
{
    QFETCH(int, handle);
    QFETCH(int, shape);
    QCOMPARE(int(frameless::cursorForHandle(handle)), shape);
}

void TestFramelessGeometry::resized_data()
{
    QTest::addColumn<int>("handle");
    QTest::addColumn<QRect>("start");
    QTest::addColumn<QPoint>("delta");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<QRect>("expected");

    const QRect minimal(100, 100, 1280, 720);
    const QRect larger(100, 100, 1400, 800);
    QTest::newRow("left inwards at minimum: nothing") << 8 << minimal << QPoint(40, 0) << false << QRect();
    QTest::newRow("left outwards keeps the right edge")
        << 8 << minimal << QPoint(-40, 0) << true << QRect(60, 100, 1320, 720);
    QTest::newRow("left inwards within limits") << 8 << larger << QPoint(50, 7) << true << QRect(150, 100, 1350, 800);
    QTest::newRow("left inwards just to minimum") << 8 << larger << QPoint(120, 0) << true
                                                  << QRect(220, 100, 1280, 800);
    QTest::newRow("left inwards one past minimum") << 8 << larger << QPoint(121, 0) << false << QRect();
    QTest::newRow("right outwards") << 4 << minimal << QPoint(30, 99) << true << QRect(100, 100, 1310, 720);
    QTest::newRow("right inwards at minimum") << 4 << minimal << QPoint(-1, 0) << false << QRect();
    QTest::newRow("top upwards keeps the bottom edge")
        << 2 << minimal << QPoint(5, -20) << true << QRect(100, 80, 1280, 740);
    QTest::newRow("bottom downwards") << 6 << minimal << QPoint(0, 30) << true << QRect(100, 100, 1280, 750);
    QTest::newRow("top-left both edges") << 1 << larger << QPoint(-10, 20) << true << QRect(90, 120, 1410, 780);
    QTest::newRow("top-right") << 3 << larger << QPoint(10, -10) << true << QRect(100, 90, 1410, 810);
    QTest::newRow("bottom-right") << 5 << larger << QPoint(-20, -20) << true << QRect(100, 100, 1380, 780);
    QTest::newRow("bottom-left") << 7 << larger << QPoint(20, 20) << true << QRect(120, 100, 1380, 820);
    QTest::newRow("corner with one axis too small") << 5 << minimal << QPoint(10, -10) << false << QRect();
    QTest::newRow("above the maximum") << 4 << QRect(0, 0, 1900, 720) << QPoint(50, 0) << false << QRect();
    QTest::newRow("no handle") << 0 << minimal << QPoint(10, 10) << false << QRect();
}

void TestFramelessGeometry::resized()
{
    QFETCH(int, handle);
    QFETCH(QRect, start);
    QFETCH(QPoint, delta);
    QFETCH(bool, applied);
    QFETCH(QRect, expected);
    const auto result = resizedGeometry(handle, start, delta, QSize(1280, 720), QSize(1920, 1080));
    QCOMPARE(result.has_value(), applied);
    if (applied) {
        QCOMPARE(*result, expected);
        // The edges the handle does not touch stay exactly where they were.
        if (handle == 8 || handle == 1 || handle == 7)
            QCOMPARE(result->right(), start.right());
        if (handle == 2 || handle == 1 || handle == 3)
            QCOMPARE(result->bottom(), start.bottom());
    }
}

void TestFramelessGeometry::restoredTopLeftKeepsPressUnderPointer_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<int>("maximisedWidth");
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<QPoint>("topLeft");
    QTest::newRow("left part") << QPoint(100, 30) << 1920 << QPoint(110, 35) << QPoint(110 - 66, 5);
    QTest::newRow("right part stays inside") << QPoint(1800, 30) << 1920 << QPoint(1800, 30)
                                             << QPoint(1800 - 1200, 0);
    QTest::newRow("same width") << QPoint(700, 20) << 1280 << QPoint(900, 40) << QPoint(200, 20);
}

void TestFramelessGeometry::restoredTopLeftKeepsPressUnderPointer()
{
    QFETCH(QPoint, press);
    QFETCH(int, maximisedWidth);
    QFETCH(QPoint, pointer);
    QFETCH(QPoint, topLeft);
    const QPoint result = restoredTopLeft(pointer, press, maximisedWidth, 1280);
    QCOMPARE(result, topLeft);
    const int xInWindow = pointer.x() - result.x();
    QVERIFY(xInWindow >= 0 && xInWindow < 1280);
}

QTEST_APPLESS_MAIN(TestFramelessGeometry)
#include "tst_framelessgeometry.moc"
