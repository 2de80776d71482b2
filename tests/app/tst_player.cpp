#include "againstfake.h"
#include "playercontrols.h"
#include "playerwidget.h"
#include "texts.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QNetworkProxy>
#include <QScopeGuard>
#include <QSlider>
#include <QTextDocument>
#include <QToolButton>

using namespace velmora;
using namespace velmora::fake;
using namespace velmora::testing;
using namespace Qt::StringLiterals;

class TestPlayer : public QObject
{
    Q_OBJECT
    FakeResolver m_fake;
    QString m_long, m_noise; // 30 s of silence; bytes in no known format, nor text
    const quint16 m_closedPort = closedPort();

private slots:
    void initTestCase()
    {
        QVERIFY(m_fake.start());
        m_fake.setAudio(tracks::TestTone, silentWav(30));
        m_fake.setAudio(tracks::TwoDigit, QByteArray(64 * 1024, char(0xA5)));
        m_long = m_fake.songUrl(tracks::TestTone).toString();
        m_noise = m_fake.songUrl(tracks::TwoDigit).toString();
        QVERIFY(m_closedPort);
    }

    void startsIdleAndClampsVolume()
    {
        PlayerWidget w;
        QVERIFY(w.volume() == 50 && w.controls()->volume() == 50 && !w.isMuted());
        QCOMPARE(w.statusText(), texts::kReady.toString());
        // The full interface fits the strip at the bottom of the window.
        QVERIFY(w.minimumSizeHint().width() <= 391 && w.minimumSizeHint().height() <= 55);
        const int percentAndKept[][2] = {{-20, 0}, {37, 37}, {250, 100}};
        for (const auto &[percent, kept] : percentAndKept) {
            w.setVolume(percent);
            QVERIFY2(w.volume() == kept && w.controls()->volume() == kept,
                     qPrintable(QString::number(percent)));
        }
    }

    void retriesThenObeysTheControls()
    {
        PlayerWidget w;
        auto *play = w.findChild<QToolButton *>(u"playButton"_s);
        const QList<QAction *> menu = w.controls()->actions(); // play, stop, mute, copy, save, …
        w.setUrl(m_noise);                                     // auto-start: no play() call
        QTRY_VERIFY(w.statusText().startsWith(texts::kCannotPlay));
        m_fake.setAudio(tracks::TwoDigit, silentWav(30));
        QTest::mouseClick(play, Qt::LeftButton);          // tries again
        QTRY_COMPARE(w.statusText(), texts::playing({})); // no name given
        QTRY_VERIFY(w.engine()->position() > 0);
        QCOMPARE(w.controls()->contextMenuPolicy(), Qt::ActionsContextMenu);
        QStringList menuTexts;
        for (const QAction *action : menu)
            menuTexts << action->text();
        QCOMPARE(menuTexts,
                 (QStringList{texts::kPause.toString(), texts::kStop.toString(),
                              texts::kMute.toString(), texts::kCopyAddress.toString(),
                              texts::kSaveMenu.toString(), texts::kShowDetails.toString()}));

        QTest::mouseClick(play, Qt::LeftButton); // pauses
        QTRY_COMPARE(w.statusText(), texts::holding(texts::kPaused, {}));
        QCOMPARE(menu[0]->text(), texts::kPlay.toString());
        menu[0]->trigger();
        QTRY_COMPARE(w.statusText(), texts::playing({}));
        QTest::mouseClick(w.findChild<QToolButton *>(u"muteButton"_s), Qt::LeftButton);
        QVERIFY(w.isMuted() && w.controls()->isMuted() && menu[2]->isChecked());
        menu[2]->trigger();
        QVERIFY(!w.isMuted());
        QTest::keyClick(w.findChild<QSlider *>(u"volumeSlider"_s), Qt::Key_PageDown);
        QCOMPARE(w.volume(), 40);
        menu[3]->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), m_noise);

        menu[1]->trigger();
        QTRY_COMPARE(w.statusText(), texts::holding(texts::kStopped, {}));
        w.setUrl(QString());
        QCOMPARE(w.statusText(), texts::kReady.toString());
        QVERIFY(!menu[3]->isEnabled() && !menu[4]->isEnabled()); // nothing to copy or save
        m_fake.setAudio(tracks::TwoDigit, QByteArray(64 * 1024, char(0xA5)));
    }

    void positionBarWaitsForTheUser()
    {
        PlayerControls controls;
        auto *bar = controls.findChild<QSlider *>(u"positionSlider"_s);
        auto *time = controls.findChild<QLabel *>(u"timeLabel"_s);
        QSignalSpy seeks(&controls, &PlayerControls::seek);
        controls.setDuration(10000);
        QCOMPARE(bar->maximum(), 10); // seconds, as a screen reader says them
        bar->setSliderDown(true);
        bar->setValue(7);           // the user drags...
        controls.setPosition(4000); // ...while playback goes on
        QCOMPARE(time->text(), u"0:07 / 0:10"_s);
        QCOMPARE(time->accessibleName(), texts::playTime(u"0:07"_s, u"0:10"_s));
        bar->setSliderDown(false);
        QCOMPARE(seeks, QList<QVariantList>{{7000}}); // once, where the user let go

        controls.setPosition(3723000); // playback's own updates are no seeks
        QCOMPARE(bar->value(), 10);
        QCOMPARE(time->text(), u"1:02:03 / 0:10"_s);
        QCOMPARE(seeks.size(), 1);

        // A click jumps where it is, as in every player, once; not a page toward it.
        controls.setDuration(100000);
        controls.resize(400, 50);
        controls.show();
        QTest::mouseClick(bar, Qt::LeftButton, {}, {bar->width() * 3 / 4, bar->height() / 2});
        QCOMPARE(seeks.size(), 2);
        QVERIFY2(qAbs(seeks[1][0].toLongLong() - 75000) <= 5000,
                 qPrintable(seeks[1][0].toString()));
    }

    // A session changes state thousands of times; each change taking a new
    // icon would leave new pixmaps in Qt's cache every time.
    void statesReuseTheirIcons()
    {
        PlayerControls controls;
        QSet<qint64> icons;
        for (int i = 0; i < 6; ++i) {
            controls.setState(i % 2 ? PlayState::Playing : PlayState::Paused);
            controls.setMuted(i % 2);
            controls.setSaving(i % 2);
            for (const QToolButton *button : controls.findChildren<QToolButton *>())
                icons << button->icon().cacheKey();
        }
        QCOMPARE(icons.size(), 7); // stop, and two states of play, mute and save
    }

    // Every byte, from the first: where the server answers byte ranges, and
    // where it says it does and sends the whole file instead.
    void playsToItsEnd_data()
    {
        QTest::addColumn<int>("track");
        QTest::newRow("ranges answered") << tracks::Demo;
        QTest::newRow("ranges ignored") << tracks::IgnoresRanges;
    }

    void playsToItsEnd()
    {
        QFETCH(int, track);
        // Longer than mpv's first read (some 230 kB), which a seek back to
        // the start would have to ask for again: a stream that went on from
        // there would end at 0.6 s.
        m_fake.setAudio(track, silentWav(3, 96'000));
        const auto restore = qScopeGuard([&] { m_fake.setAudio(track, {}); });
        PlayerWidget w;
        w.setUrl(m_fake.songUrl(track).toString());
        QTRY_COMPARE_WITH_TIMEOUT(w.engine()->status(), PlayStatus::Ended, 10'000);
        // The last position told lags the end by what the sound server holds.
        QVERIFY2(w.engine()->position() > 2000,
                 qPrintable(QString::number(w.engine()->position())));
    }

    void reportsFailuresInStatusLine_data()
    {
        // Addresses that are not web audio never reach the stream: the fault
        // table has them. These fail in the stream.
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("cause");
        QTest::newRow("404") << m_fake.mediaBase().toString() + u"/media/missing.wav"_s
                             << texts::kUnreadable.toString();
        QTest::newRow("undecodable") << m_noise << texts::kUnsupported.toString();
        QTest::newRow("refused port")
            << u"http://127.0.0.1:%1/a.mp3"_s.arg(m_closedPort) << texts::kNetwork.toString();
        // The fake's certificate is signed by a CA this player was not given.
        QTest::newRow("certificate of an unknown CA")
            << m_fake.resolverBase().toString() + u"/save/%1.mp3"_s.arg(tracks::SaveWhole)
            << texts::kNetwork.toString();
        // Which ffmpeg cannot go through, and going round it is no answer.
        QTest::newRow("behind a SOCKS proxy")
            << u"http://%1/a.mp3"_s.arg(QLatin1String(kTestHost)) << texts::kNetwork.toString();
    }

    void reportsFailuresInStatusLine()
    {
        QFETCH(QString, url);
        QFETCH(QString, cause);
        if (runsUnderWine() && QTest::currentDataTag() == "certificate of an unknown CA"_L1)
            QSKIP("Wine's Schannel takes any certificate");
        if (runsUnderWine() && QTest::currentDataTag() == "refused port"_L1)
            QSKIP("Wine tells FFmpeg of a refused connection only at its network time-out");
        const bool socks = url.contains(QLatin1String(kTestHost));
        if (socks)
            QNetworkProxy::setApplicationProxy({QNetworkProxy::Socks5Proxy, u"127.0.0.1"_s, 1});
        const auto direct = qScopeGuard([] { QNetworkProxy::setApplicationProxy({}); });
        PlayerWidget w;
        w.show();
        w.setUrl(url);
        w.play(); // as the window does after setting the address
        QTRY_COMPARE(w.statusText(), texts::cannotPlay(cause));
        QTRY_COMPARE(w.engine()->state(), PlayState::Stopped);
        QCOMPARE(w.url(), url);
        for (const QWidget *window : QApplication::topLevelWidgets())
            QVERIFY2(window == &w || !window->isVisible(), "a dialog opened");
        // The tooltip says it in Chinese; the engine's words wait under 显示详情.
        QTextDocument tip;
        tip.setHtml(w.findChild<QLabel *>(u"statusLabel"_s)->toolTip());
        QCOMPARE(tip.toPlainText(), w.statusText());
        w.findChild<QAction *>(u"detailsAction"_s)->trigger();
        QMessageBox *box = nullptr;
        QTRY_VERIFY(box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
        QVERIFY(box->text() == w.statusText() && !box->detailedText().isEmpty());
        QVERIFY2(!socks || box->detailedText().contains(u"SOCKS"_s),
                 qPrintable(box->detailedText()));
        QVERIFY(QTest::qWaitForWindowExposed(box) && titleFits(box));
        box->close();
        w.setUrl(m_long); // the player stays usable for the next address
        QTRY_COMPARE(w.statusText(), texts::playing({}));
    }
};

QTEST_MAIN(TestPlayer)
#include "tst_player.moc"
