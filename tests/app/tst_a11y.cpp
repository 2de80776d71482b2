// The window as screen readers meet it: its accessibility tree read over the
// real AT-SPI bus by Debian's pyatspi (a11y_tree.py), on a real X server
// (the test runs under dbus-run-session and xvfb-run), while a track is
// paused part way, and once the player has failed with the engine's own
// words in its details.
#include "againstfake.h"
#include "form1.h"
#include "playerwidget.h"
#include "texts.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

using namespace velmora;
using namespace velmora::fake;
using namespace velmora::testing;
using namespace Qt::StringLiterals;

class TestA11y : public QObject
{
    Q_OBJECT
private slots:
    void readsWhatTheScreenShows()
    {
        FakeResolver fake;
        QVERIFY(fake.start());
        fake.setAudio(tracks::TestTone, silentWav(30));
        Form1 window(fakeOptions(fake));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.Text1->setText(playPage(tracks::TestTone));
        QTest::mouseClick(window.Command1, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(window.W1->engine()->position() > 1000, 10000);
        window.W1->engine()->setPaused(true); // the time holds still while it is read
        const QString paused = texts::holding(texts::kPaused, u"Test Tone"_s);
        QTRY_COMPARE(window.W1->statusText(), paused);
        QVERIFY(tree(paused, 30));

        fake.setAudio(tracks::TestTone, QByteArray(64 * 1024, char(0xA5))); // in no known format
        window.W1->setUrl(fake.songUrl(tracks::TestTone).toString());
        QTRY_VERIFY_WITH_TIMEOUT(window.W1->statusText().startsWith(texts::kCannotPlay), 10000);
        QVERIFY(tree(window.W1->statusText(), 0));
    }

private:
    // a11y_tree.py's verdict on this process's tree; its findings are printed.
    static bool tree(const QString &status, int length)
    {
        QProcess reader;
        reader.setProcessChannelMode(QProcess::ForwardedChannels);
        QSignalSpy ended(&reader, &QProcess::finished);
        // Waited for in the event loop: this process answers the reader.
        reader.start(u"/usr/bin/python3"_s,
                     {QStringLiteral(VELMORA_A11Y_TREE), QCoreApplication::applicationName(),
                      status, QString::number(length)});
        return ended.wait(60000) && reader.exitCode() == 0;
    }
};

QTEST_MAIN(TestA11y)
#include "tst_a11y.moc"
