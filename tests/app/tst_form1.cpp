// The window driven as a user would, against the fake resolver over TLS.
#include "againstfake.h"
#include "application.h"
#include "form1.h"
#include "playerwidget.h"
#include "resolvecommand.h"
#include "savecommand.h"
#include "texts.h"

#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolButton>

#include <memory>

using namespace velmora;
using namespace velmora::fake;
using namespace velmora::testing;
using namespace Qt::StringLiterals;

class TestForm1 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Qt's own dialogs, which a test can drive, where Windows' would show.
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        QStandardPaths::setTestModeEnabled(true); // the remembered folder stays out of ~/.config
        describeApplication();                    // where the program keeps it
        QSettings().clear();                      // and an earlier run's goes
        installTranslations(*qApp);
        QVERIFY(m_fake.start());
    }

    void init()
    {
        m_window = std::make_unique<Form1>(fakeOptions(m_fake));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    void cleanup() { m_window.reset(); }

    void startsAsDesigned()
    {
        for (QWidget *widget : m_window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QVERIFY(widget->isVisible() && widget->isEnabled());
        QVERIFY(m_window->Text1->text().isEmpty() && m_window->Text2->text().isEmpty());
        QVERIFY(m_window->windowIcon().availableSizes().contains(QSize(48, 48)));
        // Whatever face is picked, the Chinese texts have glyphs in it.
        for (const QChar c : m_window->Label1->text() + m_window->Command1->text())
            QVERIFY(QFontMetrics(m_window->Label1->font()).inFont(c));

        // Focus on the button; Tab goes round the designed order; labels never.
        QCOMPARE(QApplication::focusWidget(), m_window->Command1);
        for (QWidget *next : {(QWidget *)m_window->Text1, (QWidget *)m_window->Command2,
                              (QWidget *)m_window->Text2}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(m_window->W1->isAncestorOf(QApplication::focusWidget()));

        // Neither Command2 nor Enter or Escape in the input box resolves.
        const auto before = m_fake.received().size();
        m_window->Command2->click();
        m_window->Text1->setText(playPage(tracks::Demo));
        QTest::keyClick(m_window->Text1, Qt::Key_Return);
        QTest::keyClick(m_window->Text1, Qt::Key_Escape);
        QVERIFY(!m_window->resolveCommand()->isBusy() && !QApplication::activeModalWidget());
        QCOMPARE(m_fake.received().size(), before);
    }

    void badAddress_data()
    {
        QTest::addColumn<QString>("input");
        // Which texts hold a usable id is the request's table; these show the
        // window asks it.
        QTest::newRow("empty, at start") << "";
        QTest::newRow("one digit") << playPage(7);
    }

    void badAddress()
    {
        QFETCH(QString, input);
        const auto before = m_fake.received().size();
        m_window->Text1->setText(input);
        m_window->Text2->setText("kept");
        // From the keyboard: the focus starts on the button.
        QTest::keyClick(m_window->Command1, Qt::Key_Space);
        QVERIFY(m_window->Command1->isEnabled());
        const std::optional<Box> box = closeBox();
        QVERIFY(box);
        QCOMPARE(box->text, texts::kBadAddress.toString());
        QCOMPARE(box->title, texts::kBadAddressTitle.toString());
        QCOMPARE(box->icon, QMessageBox::Critical);
        QVERIFY2(box->closedByEnter && box->titleFits && readsChinese(box->buttons.join(u' ')),
                 qPrintable(box->buttons.join(u' ')));
        QTRY_VERIFY(!m_window->resolveCommand()->isBusy());
        QCOMPARE(m_window->Text1->text(), input);
        QCOMPARE(m_window->Text2->text(), "kept");
        QVERIFY(m_window->W1->url().isEmpty());
        QCOMPARE(m_fake.received().size(), before);
    }

    // A track plays on through later clicks that find nothing, and every later
    // success turns the volume up to full again.
    void laterClicksKeepTheirPromises()
    {
        click(playPage(tracks::Demo));
        QTRY_VERIFY_WITH_TIMEOUT(m_window->Command1->isEnabled(), 10000);
        m_window->W1->setVolume(30);
        m_fake.setAudio(tracks::TwoDigit, silentWav(30));
        click(playPage(tracks::TwoDigit));
        QTRY_VERIFY_WITH_TIMEOUT(m_window->Command1->isEnabled(), 10000);
        const QString playing = m_fake.songUrl(tracks::TwoDigit).toString();
        QCOMPARE(m_window->W1->volume(), 100);

        for (const int track : {tracks::Unknown, tracks::ServerError}) {
            click(playPage(track));
            QVERIFY(closeBox()->titleFits);
            QTRY_VERIFY(m_window->Command1->isEnabled());
            QCOMPARE(m_window->Text2->text(), playing);
            QCOMPARE(m_window->W1->url(), playing);
            QCOMPARE(m_window->W1->engine()->state(), PlayState::Playing);
        }
        // The status line names the track that 播放 plays, stopped as well.
        QTest::mouseClick(m_window->W1->findChild<QToolButton *>(u"stopButton"_s), Qt::LeftButton);
        QTRY_COMPARE(m_window->W1->statusText(),
                     texts::holding(texts::kStopped, QLatin1String(tracks::TwoDigitName)));
        m_fake.setAudio(tracks::TwoDigit, {});
        m_window->close(); // no save runs: nothing to ask
        QVERIFY(!m_window->isVisible() && !QApplication::activeModalWidget());
    }

    // The save button asks where, in Chinese, with the track's name, saves the
    // file whole beside the playback, and remembers the folder.
    void savesWhatPlays()
    {
        QTemporaryDir folder;
        QVERIFY(
            !m_window->W1->findChild<QToolButton *>(u"saveButton"_s)->isEnabled()); // nothing yet
        QFileDialog *dialog = askWhere(tracks::Demo);
        QVERIFY(dialog);
        const QFileInfo suggested(dialog->selectedFiles().value(0));
        QCOMPARE(suggested.fileName(), QLatin1String(tracks::DemoName) + u".mp3"_s);
        const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
        QCOMPARE(suggested.absolutePath(), QFileInfo(music).isDir() ? music : QDir::homePath());
        QStringList buttons;
        for (const QPushButton *b : dialog->findChildren<QPushButton *>())
            buttons << (b->isVisible() ? b->text() : QString());
        QVERIFY2(readsChinese(buttons.join(u' ')), qPrintable(buttons.join(u' ')));
        QSignalSpy saved(m_window->saveCommand(), &SaveCommand::finished);
        QVERIFY(saveTo(dialog, folder.filePath(u"demo.mp3"_s)) && saved.wait(10000));
        QFile file(folder.filePath(u"demo.mp3"_s)), tone(u":/velmora-fake/media/tone.mp3"_s);
        QVERIFY(file.open(QIODevice::ReadOnly) && tone.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), tone.readAll());
        QCOMPARE(m_window->W1->statusText(), texts::kSaved.toString() + u"demo.mp3"_s);
        // For a while: then the line says again what plays, or has played.
        QTRY_VERIFY_WITH_TIMEOUT(
            m_window->W1->statusText().endsWith(QLatin1String(tracks::DemoName)), 10000);
        QCOMPARE(m_window->W1->url(), m_fake.songUrl(tracks::Demo).toString());
        QVERIFY(dialog = askWhere());
        QCOMPARE(QFileInfo(dialog->selectedFiles().value(0)).absolutePath(), folder.path());
        dialog->reject();
    }

    // A save in flight says how far it is; closing the window asks first, and
    // then stops it and keeps the part file for next time, with nothing under
    // the final name.
    void closingCancelsASave()
    {
        QTemporaryDir folder;
        const QString target = folder.filePath(u"slow.mp3"_s);
        m_fake.setTrickleInterval(20ms);
        auto *button = m_window->W1->findChild<QToolButton *>(u"saveButton"_s);
        QCOMPARE(button->toolTip(), texts::kSave.toString());
        QVERIFY(saveTo(askWhere(tracks::SaveSlow), target));
        QTRY_VERIFY(m_window->W1->statusText().contains(u"% "_s));
        QVERIFY(m_window->W1->statusText().startsWith(texts::kSaving));
        QCOMPARE(button->toolTip(), texts::kCancelSave.toString());
        m_window->close();
        QMessageBox *box = modal<QMessageBox>();
        QVERIFY(box && box->text() == texts::kCloseWhileSaving &&
                box->icon() == QMessageBox::Question);
        QVERIFY(QTest::qWaitForWindowExposed(box) && titleFits(box));
        const QString answers =
            box->button(QMessageBox::Yes)->text() + box->button(QMessageBox::No)->text();
        QVERIFY2(readsChinese(answers), qPrintable(answers));
        QTest::keyClick(box, Qt::Key_Return); // the default: no
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY(m_window->isVisible() && m_window->saveCommand()->isSaving());
        m_window->close();
        QVERIFY(box = modal<QMessageBox>());
        box->button(QMessageBox::Yes)->click();
        QTRY_VERIFY(!m_window->isVisible());
        QVERIFY(QFileInfo(target + u".part"_s).size() > 0);
        QVERIFY(!QFileInfo::exists(target));
    }

    // A save that fails says which track's it was, as another may play by then.
    // One whose connection drops says which try it is on, while it waits and
    // after, and still ends whole. (How each transfer fault is tried again is
    // tst_cli's save table.)
    void saveSaysHowItGoes()
    {
        QTemporaryDir folder;
        QSignalSpy saved(m_window->saveCommand(), &SaveCommand::finished);
        QVERIFY(saveTo(askWhere(tracks::SaveHtml), folder.filePath(u"page.mp3"_s)));
        QVERIFY(saved.wait(10000));
        const QString status = m_window->W1->statusText();
        QVERIFY2(status.contains(u"Save %1"_s.arg(tracks::SaveHtml)), qPrintable(status));

        QVERIFY(saveTo(askWhere(tracks::SaveDrop), folder.filePath(u"drop.mp3"_s)));
        const QString second = texts::saveTry(2, SaveOptions::kRetries + 1);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->W1->statusText().endsWith(second), 10000);
        m_window->close(); // asks: a save runs; the question goes when the save ends
        QTRY_VERIFY(QApplication::activeModalWidget());
        QVERIFY(saved.wait(10000));
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY(m_window->isVisible());
        QFile file(folder.filePath(u"drop.mp3"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), m_fake.savedAudio());
    }

    // A later start with a browser's link, a drop: the address waits in Text1
    // while a click is under way and is resolved when it ends.
    void opensFromOutside()
    {
        click(playPage(tracks::Stall));
        const QPointer<TrackResolve> stalled = m_window->resolveCommand()->request();
        // Controls never enter the input: %00 would leave an unseen NUL.
        m_window->openAddress(u"velmora://"_s + playPage(tracks::TwoDigit) + u"%00%E2%80%AE"_s);
        QCOMPARE(m_window->Text1->text(), playPage(tracks::TwoDigit));
        QVERIFY(!stalled); // given up at once: its answer can never be shown
        QTRY_COMPARE(m_window->Text2->text(), m_fake.songUrl(tracks::TwoDigit).toString());
        QVERIFY(!QApplication::activeModalWidget());

        QMimeData link;
        link.setUrls({QUrl(playPage(tracks::Demo))});
        QDragEnterEvent enter({10, 10}, Qt::CopyAction, &link, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop({10, 10}, Qt::CopyAction, &link, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window.get(), &drop);
        QCOMPARE(m_window->Text1->text(), playPage(tracks::Demo));
        QTRY_COMPARE(m_window->Text2->text(), m_fake.songUrl(tracks::Demo).toString());
    }

    // A play page on the clipboard at start is offered, selected, not resolved.
    void offersTheClipboard()
    {
        QGuiApplication::clipboard()->setText(playPage(tracks::Demo));
        const auto before = m_fake.received().size();
        Form1 window(fakeOptions(m_fake));
        QCOMPARE(window.Text1->text(), playPage(tracks::Demo));
        QCOMPARE(window.Text1->selectedText(), playPage(tracks::Demo));
        QGuiApplication::clipboard()->setText(u"no address"_s);
        QVERIFY(Form1(fakeOptions(m_fake)).Text1->text().isEmpty());
        QCOMPARE(m_fake.received().size(), before);
    }

    // A click finds the resolver's connection open; one the server closed while
    // idle costs the listener nothing: an edit opens it again, and a click
    // without one opens its own.
    void keepsTheConnectionWarm()
    {
        m_window.reset();
        m_fake.setIdleClose(400ms); // longer than the window waits between warm-ups
        const int opened = m_fake.connections(), closed = m_fake.idleCloses();
        init();
        QTRY_COMPARE(m_fake.connections(), opened + 1); // at start, before any click
        QTRY_COMPARE(m_fake.idleCloses(), closed + 1);
        QSignalSpy clicks(m_window->resolveCommand(), &ResolveCommand::finished);
        click(playPage(tracks::Demo));
        QVERIFY(clicks.wait(10000)); // no box: it would hold the click open
        QCOMPARE(m_window->Text2->text(), m_fake.songUrl(tracks::Demo).toString());
        QCOMPARE(m_fake.connections(), opened + 2);
        QTRY_COMPARE(m_fake.idleCloses(), closed + 2);

        m_fake.setIdleClose(5s);
        m_window->Text1->setText(playPage(tracks::Demo).chopped(1));
        QTest::keyClick(m_window->Text1, 'l'); // an edit warms up
        QTRY_COMPARE(m_fake.connections(), opened + 3);
        QTest::mouseClick(m_window->Command1, Qt::LeftButton);
        QVERIFY(clicks.wait(10000));
        if (runsUnderWine())
            QSKIP("under Wine a click opens a connection beside the warm one: not seen elsewhere");
        QCOMPARE(m_fake.connections(), opened + 3);
    }

    // While the answer is awaited the status line says so, a second click does
    // nothing and an edit does not touch the request in flight; Esc gives up on
    // it, and so does closing the window.
    void waitsVisibly()
    {
        click(playPage(tracks::Stall));
        QTRY_VERIFY(!m_fake.received().isEmpty() && m_fake.received().last().url.query().startsWith(
                                                        u"id=%1&"_s.arg(tracks::Stall)));
        const auto sent = m_fake.received().size();
        QCOMPARE(m_window->W1->statusText(), texts::kResolving.toString());
        QTest::keyClicks(m_window->Text1, "x");
        QTest::mouseClick(m_window->Command1, Qt::LeftButton);
        QCOMPARE(m_fake.received().size(), sent);
        const QPointer<TrackResolve> stalled = m_window->resolveCommand()->request();
        QVERIFY(stalled->requestAddress().contains(u"id=%1&"_s.arg(tracks::Stall)));
        QTest::keyClick(m_window->Text1, Qt::Key_Escape);
        QVERIFY(!stalled && m_window->Command1->isEnabled());
        QCOMPARE(m_window->W1->statusText(), texts::kReady.toString());
        QCOMPARE(m_window->cursor().shape(), Qt::ArrowCursor);
        click(playPage(tracks::Stall));
        const QPointer<TrackResolve> again = m_window->resolveCommand()->request();
        QVERIFY(again);
        m_window.reset();
        QVERIFY(!again); // gone with the window: nothing can answer into it
    }

    // A name from the network is shown as it is, never as markup; the status
    // line is cut to its width and keeps the whole text in its tooltip and for
    // screen readers. Controls and bidirectional controls from the network are
    // shown, never obeyed, and a file name drops them; the player gets the
    // address as it is.
    void networkTextStaysText()
    {
        click(playPage(tracks::HtmlName));
        const QString whole = texts::playing(QLatin1String(tracks::HtmlNameText));
        QTRY_COMPARE_WITH_TIMEOUT(m_window->W1->statusText(), whole, 10000);
        const auto *status = m_window->W1->findChild<QLabel *>(u"statusLabel"_s);
        QCOMPARE(status->textFormat(), Qt::PlainText);
        QVERIFY(status->text().endsWith(u'…') && whole.startsWith(status->text().chopped(1)));
        QTextDocument tip;
        tip.setHtml(status->toolTip());
        QCOMPARE(tip.toPlainText(), whole);
        QCOMPARE(status->accessibleDescription(), whole);

        const QString url =
            m_fake.songUrl(tracks::Demo).toString() + QString::fromUtf16(tracks::BidiQuery);
        click(playPage(tracks::BidiControls));
        QTRY_VERIFY_WITH_TIMEOUT(m_window->W1->statusText().contains(u"evil"_s), 10000);
        QCOMPARE(m_window->W1->url(), url);
        static const QRegularExpression unseen(u"[\\x{202a}-\\x{202e}\\x{2066}-\\x{2069}]"_s);
        for (const QString &shown : {m_window->Text2->text(), m_window->W1->statusText()})
            QVERIFY2(!shown.contains(unseen) && shown.contains(u"%E2%80%AE"_s), qPrintable(shown));
        QFileDialog *dialog = askWhere();
        QVERIFY(dialog);
        QCOMPARE(QFileInfo(dialog->selectedFiles().value(0)).fileName(),
                 u"Bidi evil.mp3 mix.mp3"_s);
        dialog->reject();
    }

private:
    void click(const QString &input)
    {
        m_window->Text1->setText(input);
        QTest::mouseClick(m_window->Command1, Qt::LeftButton);
    }

    // Clicks the player's save button, once the track given, if any, has been
    // resolved: the dialog that asks where, or null.
    QFileDialog *askWhere(int track = 0)
    {
        if (track) {
            click(playPage(track));
            if (!QTest::qWaitFor([&] { return m_window->Command1->isEnabled(); }, 10000))
                return nullptr;
        }
        QTest::mouseClick(m_window->W1->findChild<QToolButton *>(u"saveButton"_s), Qt::LeftButton);
        return modal<QFileDialog>();
    }

    // Saves there through the dialog, as its Save button does.
    static bool saveTo(QFileDialog *dialog, const QString &file)
    {
        if (!dialog)
            return false;
        dialog->setDirectory(QFileInfo(file).absolutePath());
        dialog->selectFile(QFileInfo(file).fileName());
        static_cast<QDialog *>(dialog)->accept();
        return true;
    }

    FakeResolver m_fake;
    std::unique_ptr<Form1> m_window;
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
