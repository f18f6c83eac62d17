#include <QtTest>
class T : public QObject { Q_OBJECT private slots: void todo() { QFAIL("not written"); } };
QTEST_APPLESS_MAIN(T)
#include "tst_vexdump_posix.moc"
