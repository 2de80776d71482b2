// The desktop's media controls, driven by the real playerctl over the session
// bus (the test runs under dbus-run-session) against the real window.
#include "againstfake.h"
#include "form1.h"
#include "mpris.h"
#include "playerwidget.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

using namespace velmora;
using namespace velmora::testing;
using namespace Qt::StringLiterals;

class TestMpris : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void playerctlReachesThePlayer();

private:
    QString playerctl(const QStringList &arguments);

    fake::FakeResolver m_fake;
};

void TestMpris::initTestCase()
{
    QVERIFY(m_fake.start());
}

// playerctl's output, waited for in the event loop: this process answers it.
QString TestMpris::playerctl(const QStringList &arguments)
{
    QProcess process;
    QSignalSpy ended(&process, &QProcess::finished);
    process.start(u"playerctl"_s, QStringList{u"--player=velmora"_s} + arguments);
    if (!ended.wait(10000))
        return u"(no answer)"_s;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

void TestMpris::playerctlReachesThePlayer()
{
    m_fake.setAudio(fake::tracks::TwoDigit, silentWav(30));
    Form1 window(fakeOptions(m_fake));
    window.show();
    QVERIFY((new Mpris(&window))->publish());
    QCOMPARE(playerctl({u"status"_s}), u"Stopped"_s);

    // Open resolves a play page as a click would.
    QCOMPARE(playerctl({u"open"_s, playPage(fake::tracks::TwoDigit)}), QString());
    QTRY_COMPARE(window.Text2->text(), m_fake.songUrl(fake::tracks::TwoDigit).toString());
    QTRY_COMPARE(playerctl({u"status"_s}), u"Playing"_s);
    QTRY_COMPARE(
        playerctl({u"metadata"_s, u"--format"_s, u"{{title}}|{{xesam:url}}|{{mpris:length}}"_s}),
        u"Two Digit|%1|30000000"_s.arg(m_fake.songUrl(fake::tracks::TwoDigit).toString()));

    QTRY_VERIFY_WITH_TIMEOUT(window.W1->engine()->position() > 0, 10000);
    playerctl({u"play-pause"_s});
    QTRY_COMPARE(window.W1->engine()->state(), MpvEngine::State::Paused);
    QCOMPARE(playerctl({u"status"_s}), u"Paused"_s);
    playerctl({u"position"_s, u"20"_s}); // SetPosition
    QTRY_VERIFY_WITH_TIMEOUT(window.W1->engine()->position() >= 20000, 10000);
    playerctl({u"position"_s, u"5-"_s}); // Seek, backwards
    QTRY_VERIFY_WITH_TIMEOUT(window.W1->engine()->position() < 16000, 10000);
    const double position = playerctl({u"position"_s}).toDouble();
    QVERIFY(position >= 14.5);
    QVERIFY(qAbs(position * 1000 - window.W1->engine()->position()) < 100);
    playerctl({u"volume"_s, u"0.3"_s});
    QTRY_COMPARE(window.W1->volume(), 30);
    QCOMPARE(playerctl({u"volume"_s}).toDouble(), 0.3);
    playerctl({u"play-pause"_s});
    QTRY_COMPARE(window.W1->engine()->state(), MpvEngine::State::Playing);
    playerctl({u"stop"_s});
    QTRY_COMPARE(window.W1->engine()->state(), MpvEngine::State::Stopped);
    QCOMPARE(playerctl({u"status"_s}), u"Stopped"_s);
    m_fake.setAudio(fake::tracks::TwoDigit, {});
}

QTEST_MAIN(TestMpris)
#include "tst_mpris.moc"
