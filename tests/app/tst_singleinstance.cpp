// One window per user: the real velmora, started a second time, hands its
// address to the running one and ends.
#include "singleinstance.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void secondStartHandsOver_data();
    void secondStartHandsOver();
};

void TestSingleInstance::secondStartHandsOver_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("received");
    QTest::addColumn<bool>("staleSocket"); // a crash left the socket behind
    QTest::newRow("address") << QStringList{u"http://www.velmora.cn/play/10.html"_s}
                             << u"http://www.velmora.cn/play/10.html"_s << false;
    QTest::newRow("text in two arguments")
        << QStringList{u"see"_s, u"play/10.html"_s} << u"see play/10.html"_s << false;
    QTest::newRow("nothing: only raise") << QStringList{} << QString() << true;
}

void TestSingleInstance::secondStartHandsOver()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, received);
    QFETCH(bool, staleSocket);
    QTemporaryDir runtime;
    const QString name = runtime.filePath(u"velmora.socket"_s);
    if (staleSocket) {
        QFile stale(name);
        QVERIFY(stale.open(QIODevice::WriteOnly));
    }
    velmora::SingleInstance first;
    QVERIFY(first.listen(name));
    QSignalSpy got(&first, &velmora::SingleInstance::received);

    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
    second.setProcessEnvironment(environment);
    QSignalSpy ended(&second, &QProcess::finished);
    second.start(QStringLiteral(VELMORA_EXE), arguments);
    QVERIFY(ended.wait(10000));
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE(got.size(), 1);
    QCOMPARE(got.first().first().toString(), received);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
