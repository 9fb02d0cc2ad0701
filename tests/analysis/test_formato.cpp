#include <QtTest>
class T : public QObject { Q_OBJECT private slots: void a() {} };
QTEST_APPLESS_MAIN(T)
#include "test_formato.moc"
