// One window per user: the real velmora, started a second time, hands its
// address to the running one and ends.
#include "againstfake.h"
#include "singleinstance.h"

#include <QTemporaryDir>

using namespace velmora::testing;
using namespace Qt::StringLiterals;

// Where a start looks for the window's socket: its runtime folder on Linux,
// its temporary one on Windows.
static void insertRuntimeFolder(QProcessEnvironment &environment, const QString &folder)
{
    for (const QString &variable : {u"XDG_RUNTIME_DIR"_s, u"TEMP"_s, u"TMP"_s})
        environment.insert(variable, folder);
}

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void secondStartHandsOver_data()
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

    void secondStartHandsOver()
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
        velmora::SingleInstance first(name);
        QCOMPARE(first.start({}), velmora::SingleInstance::Role::Window);
        QSignalSpy got(&first, &velmora::SingleInstance::received);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        insertRuntimeFolder(environment, runtime.path());
        QVERIFY(runProgram(programUnderTest("VELMORA_WINDOW"), arguments, environment));
        QTRY_COMPARE(got.size(), 1);
        QCOMPARE(got.first().first().toString(), received);
    }

    // Two starts at the same moment: one is the window, the other hands its
    // text over and ends, whatever the timing, round after round of windows
    // that crash; the last one's place is taken by a start of its own.
    void startsAtOnceMakeOneWindow()
    {
        QTemporaryDir runtime;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        insertRuntimeFolder(environment, runtime.path());
        for (int round = 0; round < 5; ++round) {
            QProcess starts[2];
            for (QProcess &start : starts) {
                start.setProcessEnvironment(environment);
                start.start(programUnderTest("VELMORA_WINDOW"), {u"text"_s});
            }
            const auto ended = [&](int i) {
                return starts[i].state() == QProcess::NotRunning;
            };
            QVERIFY(QTest::qWaitFor([&] { return ended(0) || ended(1); }, 10000));
            QProcess &window = starts[ended(0) ? 1 : 0];
            QCOMPARE(starts[ended(0) ? 0 : 1].exitCode(), 0);
            QCOMPARE(window.state(), QProcess::Running);
            // As a crash: the lock and the socket stay behind for the next round.
            window.kill();
            QVERIFY(window.waitForFinished());
            if (round == 4) {
                window.start(programUnderTest("VELMORA_WINDOW"), {});
                // A start under Wine takes a while, timed by the clock: QTRY's
                // count of its waits ran out early there.
                QVERIFY(QTest::qWaitFor(
                    [&] {
                        return velmora::SingleInstance::handOver(
                            {}, runtime.filePath(u"velmora.socket"_s));
                    },
                    60000));
                window.kill();
                QVERIFY(window.waitForFinished());
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
