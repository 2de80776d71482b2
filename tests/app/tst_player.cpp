#include "playercontrols.h"
#include "playerwidget.h"
#include "texts.h"

#include <QAction>
#include <QApplication>
#include <QAudioOutput>
#include <QClipboard>
#include <QDataStream>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

// Two seconds of a 440 Hz tone, 16-bit mono PCM in a WAV container.
QByteArray makeToneWav()
{
    constexpr quint32 kRate = 22050, kSamples = 2 * kRate;
    QByteArray wav;
    QDataStream out(&wav, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4), out << quint32(36 + 2 * kSamples);
    out.writeRawData("WAVEfmt ", 8), out << quint32(16) << quint16(1) << quint16(1);
    out << kRate << quint32(2 * kRate) << quint16(2) << quint16(16);
    out.writeRawData("data", 4), out << quint32(2 * kSamples);
    for (quint32 i = 0; i < kSamples; ++i)
        out << qint16(8000 * std::sin(2 * std::numbers::pi * 440 * i / kRate));
    return wav;
}

bool noDialogShown(const QWidget *player)
{
    const auto windows = QApplication::topLevelWidgets();
    return !QApplication::activeModalWidget() &&
           std::all_of(windows.begin(), windows.end(),
                       [player](QWidget *w) { return w == player || !w->isVisible(); });
}

} // namespace

class TestPlayer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void startsWithStoredSettings();
    void clampsVolume_data();
    void clampsVolume();
    void playsAndObeysTheControls();
    void positionBarWaitsForTheUser();
    void reportsFailuresInStatusLine_data();
    void reportsFailuresInStatusLine();
    void retriesFailedAddressOnPlay();

private:
    QString address(const QString &path) const
    {
        return u"http://127.0.0.1:%1%2"_s.arg(m_port).arg(path);
    }

    QHttpServer m_server;
    quint16 m_port = 0;
    int m_flakyRequests = 0;
};

void TestPlayer::initTestCase()
{
    const QByteArray tone = makeToneWav();
    m_server.route("/tone.wav", [tone] { return QHttpServerResponse("audio/wav", tone); });
    m_server.route("/noise.wav", [] { // no known format, and not text either
        return QHttpServerResponse("audio/wav", QByteArray(64 * 1024, char(0xA5)));
    });
    m_server.route("/flaky.wav", [this, tone] { // fails once, then serves the tone
        if (m_flakyRequests++ == 0)
            return QHttpServerResponse(QHttpServerResponse::StatusCode::ServiceUnavailable);
        return QHttpServerResponse("audio/wav", tone);
    });
    m_port = m_server.listen(QHostAddress::LocalHost);
    QVERIFY(m_port != 0);
}

void TestPlayer::startsWithStoredSettings()
{
    PlayerWidget w;
    QCOMPARE(w.volume(), 50);
    QCOMPARE(w.controls()->volume(), 50);
    QVERIFY(!w.isMuted() && w.mediaPlayer()->source().isEmpty());
    QVERIFY(w.mediaPlayer()->loops() == 1 && w.mediaPlayer()->playbackRate() == 1.0);
    QCOMPARE(w.statusText(), texts::kReady.toString());
    // The full interface fits the strip at the bottom of the window.
    QVERIFY(w.minimumSizeHint().width() <= 391 && w.minimumSizeHint().height() <= 55);
}

void TestPlayer::clampsVolume_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("expected");
    QTest::newRow("below silence") << -20 << 0;
    QTest::newRow("part way") << 37 << 37;
    QTest::newRow("full") << 100 << 100;
    QTest::newRow("beyond full") << 250 << 100;
}

void TestPlayer::clampsVolume()
{
    QFETCH(int, percent);
    QFETCH(int, expected);
    PlayerWidget w;
    w.setVolume(percent);
    QCOMPARE(w.volume(), expected);
    QCOMPARE(w.audioOutput()->volume(), float(expected) / 100.0f); // linear
    QCOMPARE(w.controls()->volume(), expected);
}

void TestPlayer::playsAndObeysTheControls()
{
    PlayerWidget w;
    auto *play = w.findChild<QToolButton *>(u"playButton"_s);
    QMediaPlayer *player = w.mediaPlayer();
    w.setUrl(address(u"/tone.wav"_s)); // auto-start: no play() call
    QTRY_COMPARE(w.statusText(), texts::kPlaying.toString());
    QTRY_VERIFY(w.findChild<QSlider *>(u"positionSlider"_s)->value() > 0);
    QCOMPARE(w.controls()->duration(), 2000);

    QTest::mouseClick(w.findChild<QToolButton *>(u"stopButton"_s), Qt::LeftButton);
    QTRY_COMPARE(player->playbackState(), QMediaPlayer::StoppedState);
    QCOMPARE(w.statusText(), texts::kStopped.toString());
    w.play();
    QTRY_VERIFY(player->position() > 0);
    QTest::mouseClick(play, Qt::LeftButton); // shows "pause" while playing
    QTRY_COMPARE(player->playbackState(), QMediaPlayer::PausedState);
    QCOMPARE(w.statusText(), texts::kPaused.toString());
    const qint64 pausedAt = player->position();
    QTest::mouseClick(play, Qt::LeftButton);
    QTRY_VERIFY(player->position() > pausedAt);
    QTRY_COMPARE(w.statusText(), texts::kPlaying.toString());

    QTest::mouseClick(w.findChild<QToolButton *>(u"muteButton"_s), Qt::LeftButton);
    QVERIFY(w.isMuted() && w.controls()->isMuted());

    // The context menu does the same, in Chinese, and copies the address.
    const auto action = [&w](const QString &name) {
        return w.findChild<QAction *>(name);
    };
    QCOMPARE(w.controls()->contextMenuPolicy(), Qt::ActionsContextMenu);
    QStringList menu;
    for (const QAction *a : w.controls()->actions())
        menu << a->text();
    QCOMPARE(menu, (QStringList{u"暂停"_s, u"停止"_s, u"静音"_s, u"复制音频地址"_s}));
    QVERIFY(action(u"muteAction"_s)->isChecked());
    action(u"muteAction"_s)->trigger();
    QVERIFY(!w.isMuted());
    action(u"playAction"_s)->trigger();
    QTRY_COMPARE(player->playbackState(), QMediaPlayer::PausedState);
    QCOMPARE(action(u"playAction"_s)->text(), u"播放"_s);
    action(u"playAction"_s)->trigger();
    QTRY_COMPARE(player->playbackState(), QMediaPlayer::PlayingState);
    action(u"copyAction"_s)->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), address(u"/tone.wav"_s));
    action(u"stopAction"_s)->trigger();
    QTRY_COMPARE(player->playbackState(), QMediaPlayer::StoppedState);
    w.play();
    action(u"muteAction"_s)->trigger();
    QTest::keyClick(w.findChild<QSlider *>(u"volumeSlider"_s), Qt::Key_PageDown);
    QCOMPARE(w.volume(), 40);

    w.setUrl(QString());
    QVERIFY(player->source().isEmpty() && player->playbackState() == QMediaPlayer::StoppedState);
    QCOMPARE(w.statusText(), texts::kReady.toString());
    QVERIFY(!action(u"copyAction"_s)->isEnabled());
}

void TestPlayer::positionBarWaitsForTheUser()
{
    PlayerControls controls;
    auto *bar = controls.findChild<QSlider *>(u"positionSlider"_s);
    auto *time = controls.findChild<QLabel *>(u"timeLabel"_s);
    QSignalSpy seeks(&controls, &PlayerControls::seek);
    controls.setDuration(10000);
    controls.setPosition(1000);
    QCOMPARE(bar->value(), 1000);
    QCOMPARE(time->text(), u"0:01 / 0:10"_s);

    bar->setSliderDown(true);
    controls.setPosition(4000); // playback goes on while the user holds the bar
    QCOMPARE(bar->value(), 1000);
    bar->setValue(7000); // the user drags
    QCOMPARE(time->text(), u"0:07 / 0:10"_s);
    QCOMPARE(seeks.count(), 0);
    bar->setSliderDown(false);
    QCOMPARE(seeks.count(), 1);
    QCOMPARE(seeks.at(0).at(0).toLongLong(), 7000);

    controls.setPosition(3723000); // playback's own updates are no seeks
    QCOMPARE(bar->value(), 10000);
    QCOMPARE(time->text(), u"1:02:03 / 0:10"_s);
    QCOMPARE(seeks.count(), 1);
}

void TestPlayer::reportsFailuresInStatusLine_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("rejectedAtOnce");
    QTest::newRow("404") << address(u"/missing.wav"_s) << false;
    QTest::newRow("undecodable") << address(u"/noise.wav"_s) << false;
    QTest::newRow("no scheme") << u"song 123.mp3"_s << true;
    QTest::newRow("no host") << u"http:///a.wav"_s << true;
    QTest::newRow("local file")
        << QUrl::fromLocalFile(QCoreApplication::applicationFilePath()).toString() << true;
    QTest::newRow("bare local path") << QCoreApplication::applicationFilePath() << true;
    QTest::newRow("other scheme") << u"ftp://127.0.0.1/a.wav"_s << true;
    QTest::newRow("surrounding space") << u" "_s + address(u"/tone.wav"_s) << true;
}

void TestPlayer::reportsFailuresInStatusLine()
{
    QFETCH(QString, url);
    QFETCH(bool, rejectedAtOnce);
    PlayerWidget w;
    w.show();
    w.setUrl(url);
    w.play(); // as the window does after setting the address
    if (rejectedAtOnce)
        QCOMPARE(w.statusText(), texts::cannotPlay(texts::kBadAudioAddress));
    QTRY_VERIFY2(w.statusText().startsWith(texts::kCannotPlay), qPrintable(w.statusText()));
    QTRY_COMPARE(w.mediaPlayer()->playbackState(), QMediaPlayer::StoppedState);
    QCOMPARE(w.url(), url);
    QVERIFY(noDialogShown(&w));

    // The player stays usable for the next address.
    w.setUrl(address(u"/tone.wav"_s));
    QTRY_COMPARE(w.statusText(), texts::kPlaying.toString());
}

void TestPlayer::retriesFailedAddressOnPlay()
{
    PlayerWidget w;
    w.setUrl(address(u"/flaky.wav"_s));
    QTRY_VERIFY(w.statusText().startsWith(texts::kCannotPlay));
    QTest::mouseClick(w.findChild<QToolButton *>(u"playButton"_s), Qt::LeftButton);
    QTRY_COMPARE(w.statusText(), texts::kPlaying.toString());
    QTRY_VERIFY(w.mediaPlayer()->position() > 0);
}

QTEST_MAIN(TestPlayer)
#include "tst_player.moc"
