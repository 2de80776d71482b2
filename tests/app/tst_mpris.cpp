// The desktop's media controls, driven by the real playerctl over the session
// bus (the test runs under dbus-run-session) against the real window; and a
// link from a browser, through xdg-open and the built desktop entry.
#include "againstfake.h"
#include "form1.h"
#include "mpris.h"
#include "playerwidget.h"
#include "singleinstance.h"
#include "texts.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

using namespace velmora;
using namespace velmora::testing;
using namespace Qt::StringLiterals;

class TestMpris : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_fake.start()); }

    void playerctlReachesThePlayer()
    {
        m_fake.setAudio(fake::tracks::TwoDigit, silentWav(30));
        Form1 window(fakeOptions(m_fake));
        window.show();
        QVERIFY((new Mpris(window.W1, &window))->publish());
        QCOMPARE(playerctl({u"status"_s}), u"Stopped"_s);

        // Open resolves a play page as a click would.
        QCOMPARE(playerctl({u"open"_s, playPage(fake::tracks::TwoDigit)}), QString());
        QTRY_COMPARE(window.Text2->text(), m_fake.songUrl(fake::tracks::TwoDigit).toString());
        QTRY_COMPARE(playerctl({u"status"_s}), u"Playing"_s);
        QTRY_COMPARE(playerctl({u"metadata"_s, u"--format"_s,
                                u"{{title}}|{{xesam:url}}|{{mpris:length}}"_s}),
                     u"%1|%2|30000000"_s.arg(QLatin1String(fake::tracks::TwoDigitName),
                                             m_fake.songUrl(fake::tracks::TwoDigit).toString()));

        QTRY_VERIFY_WITH_TIMEOUT(window.W1->engine()->position() > 0, 10000);
        window.W1->setNotice(texts::kSaving.toString());
        playerctl({u"play-pause"_s}); // does what the button does, the notice going too
        QTRY_COMPARE(window.W1->engine()->state(), PlayState::Paused);
        QCOMPARE(playerctl({u"status"_s}), u"Paused"_s);
        QCOMPARE(window.W1->statusText(),
                 texts::holding(texts::kPaused, QLatin1String(fake::tracks::TwoDigitName)));
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
        QTRY_COMPARE(window.W1->engine()->state(), PlayState::Playing);
        playerctl({u"stop"_s});
        QTRY_COMPARE(window.W1->engine()->state(), PlayState::Stopped);
        QCOMPARE(playerctl({u"status"_s}), u"Stopped"_s);
        playerctl({u"play"_s}); // from the start again
        QTRY_COMPARE(window.W1->engine()->state(), PlayState::Playing);
        m_fake.setAudio(fake::tracks::TwoDigit, {});

        // The service's "not_find" is no title.
        playerctl({u"open"_s, playPage(fake::tracks::NotFindWithUrl)});
        QTRY_COMPARE(playerctl({u"metadata"_s, u"--format"_s, u"{{title}}|{{xesam:url}}"_s}),
                     u"|"_s + m_fake.songUrl(fake::tracks::Demo).toString());
    }

    // The desktop entry, its Exec pointed at the built program, is installed in a
    // data folder of the test's own and registered as a package would; xdg-open
    // starts it on a link as the bookmarklet makes one, and it hands the link to
    // the window already open.
    void browserLinkReachesTheWindow()
    {
        QTemporaryDir home, runtime;
        QVERIFY(QDir(home.path()).mkpath(u"data/applications"_s));
        QFile entry(QStringLiteral(VELMORA_DESKTOP_FILE));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QFile installed(home.filePath(u"data/applications/"_s + QFileInfo(entry).fileName()));
        QVERIFY(installed.open(QIODevice::WriteOnly));
        installed.write(entry.readAll().replace(
            "\nExec=velmora ", "\nExec=" + programUnderTest("VELMORA_WINDOW").toUtf8() + ' '));
        installed.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_DATA_HOME"_s, home.filePath(u"data"_s));
        environment.insert(u"XDG_CONFIG_HOME"_s, home.path());
        environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        // xdg-open hands links on only in a graphical session; the program
        // itself stays offscreen.
        if (!environment.contains(u"DISPLAY"_s))
            environment.insert(u"WAYLAND_DISPLAY"_s, u"velmora-test"_s);
        QVERIFY(runProgram(u"update-desktop-database"_s, {home.filePath(u"data/applications"_s)},
                           environment));

        m_fake.setAudio(fake::tracks::TestTone, silentWav(30));
        Form1 window(fakeOptions(m_fake));
        window.show();
        QVERIFY((new Mpris(window.W1, &window))->publish());
        SingleInstance instance(runtime.filePath(u"velmora.socket"_s));
        QCOMPARE(instance.start({}), SingleInstance::Role::Window);
        connect(&instance, &SingleInstance::received, &window, &Form1::openAddress);
        const QString link =
            u"velmora:"_s + QUrl::toPercentEncoding(playPage(fake::tracks::TestTone));
        QVERIFY(runProgram(u"xdg-open"_s, {link}, environment));
        QTRY_COMPARE_WITH_TIMEOUT(playerctl({u"metadata"_s, u"xesam:url"_s}),
                                  m_fake.songUrl(fake::tracks::TestTone).toString(), 10000);
        m_fake.setAudio(fake::tracks::TestTone, {});
    }

private:
    static QString playerctl(const QStringList &arguments)
    {
        return runProgram(u"playerctl"_s, QStringList{u"--player=velmora"_s} + arguments)
            .value_or(u"(no answer)"_s);
    }

    fake::FakeResolver m_fake;
};

QTEST_MAIN(TestMpris)
#include "tst_mpris.moc"
