// The window driven as a user would, against the fake resolver over TLS.
#include "fakeresolver.h"
#include "form1.h"
#include "layout.h"
#include "playerwidget.h"
#include "resolvecommand.h"
#include "settings.h"

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace velmora;
using namespace velmora::fake;
using namespace std::chrono_literals;

namespace {

enum class Expect { Play, NotFound, RequestError, BadAddress };

struct Box
{
    QString title, text, detail;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

QString playPage(const QString &id)
{
    return QStringLiteral("http://%1/play/%2.html").arg(settings::kSiteHost, id);
}

} // namespace

Q_DECLARE_METATYPE(Expect)

struct PaintCounter : QObject
{
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

class TestForm1 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void textsAndFonts();
    void focusAndTabOrder();

    void badAddress_data();
    void badAddress();
    void outcomes_data();
    void outcomes();
    void playsRealAudio();
    void staysResponsiveWhileWaiting();
    void closingWhileWaitingAborts();

private:
    void makeWindow(const ResolveOptions &options);
    ResolveOptions fakeOptions() const;
    void click(const QString &input);
    Box dismissBox();

    FakeResolver m_fake;
    std::unique_ptr<Form1> m_window;
};

void TestForm1::initTestCase()
{
    QVERIFY(m_fake.start());
    m_fake.setTrickleInterval(50ms);
}

ResolveOptions TestForm1::fakeOptions() const
{
    ResolveOptions options;
    options.resolverHost = m_fake.resolverHost();
    options.fetch.ssl = FakeResolver::clientSslConfiguration();
    options.fetch.idleTimeout = 1500ms;
    options.fetch.totalTimeout = 3s;
    return options;
}

void TestForm1::makeWindow(const ResolveOptions &options)
{
    m_window = std::make_unique<Form1>(options);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestForm1::init()
{
    makeWindow(fakeOptions());
}

void TestForm1::cleanup()
{
    m_window.reset();
}

void TestForm1::click(const QString &input)
{
    m_window->Text1->clear();
    // Typed where keys can say it, pasted otherwise (QTest types Latin-1 only).
    if (std::all_of(input.begin(), input.end(), [](QChar c) { return c.unicode() < 0x80; }))
        QTest::keyClicks(m_window->Text1, input);
    else
        m_window->Text1->insert(input);
    QTest::mouseClick(m_window->Command1, Qt::LeftButton);
}

// Waits for the window's message box, reads it and presses OK.
Box TestForm1::dismissBox()
{
    QMessageBox *box = nullptr;
    [&] {
        QTRY_VERIFY_WITH_TIMEOUT(
            box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()), 10000);
    }();
    if (!box)
        return {};
    const Box seen{box->windowTitle(), box->text(), box->detailedText(), box->icon()};
    // The click is not over while the box is open.
    if (m_window->resolveCommand()->isBusy())
        box->button(QMessageBox::Ok)->click();
    return seen;
}

void TestForm1::layout_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("twipsRect");
    const auto rect = [](layout::Twips t) {
        return QRect(t.left, t.top, t.width, t.height);
    };
    QTest::newRow("Label1") << "Label1" << rect({234, 234, 2119, 364});
    QTest::newRow("Text1") << "Text1" << rect({234, 702, 5395, 403});
    QTest::newRow("Label2") << "Label2" << rect({585, 1287, 4693, 247});
    QTest::newRow("Command1") << "Command1" << rect({1404, 1755, 2821, 715});
    QTest::newRow("Text2") << "Text2" << rect({234, 2808, 5395, 390});
    QTest::newRow("W1") << "W1" << rect({0, 3276, 5863, 832});
    QTest::newRow("Command2") << "Command2" << rect({8190, 2574, 1417, 832});
}

void TestForm1::layout()
{
    QFETCH(QString, control);
    QFETCH(QRect, twipsRect);
    const QHash<QString, QWidget *> controls{
        {"Label1", m_window->Label1},     {"Text1", m_window->Text1}, {"Label2", m_window->Label2},
        {"Command1", m_window->Command1}, {"Text2", m_window->Text2}, {"W1", m_window->W1},
        {"Command2", m_window->Command2}};
    QWidget *widget = controls.value(control);
    QVERIFY(widget);
    const auto px = [](int twips) {
        return qRound(twips / 15.0);
    };
    QCOMPARE(widget->geometry(), QRect(px(twipsRect.x()), px(twipsRect.y()), px(twipsRect.width()),
                                       px(twipsRect.height())));
    QVERIFY(widget->isVisible());
    QVERIFY(widget->isEnabled());
    QCOMPARE(m_window->size(), QSize(392, 282));
    QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
}

void TestForm1::textsAndFonts()
{
    QCOMPARE(m_window->windowTitle(), QString::fromUtf8("Velmora音乐网链接解析"));
    QCOMPARE(m_window->Label1->text(), QString::fromUtf8("请输入音乐试听地址："));
    QCOMPARE(m_window->Label2->text(),
             QString::fromUtf8("示例链接：") + playPage(QStringLiteral("169309")));
    QCOMPARE(m_window->Label2->textFormat(), Qt::PlainText);
    QCOMPARE(m_window->Command1->text(), QString::fromUtf8("点击解析"));
    QCOMPARE(m_window->Command2->text(), "Command2");
    QVERIFY(m_window->Text1->text().isEmpty());
    QVERIFY(m_window->Text2->text().isEmpty());
    QVERIFY(m_window->Text2->isReadOnly());
    QVERIFY(!m_window->windowIcon().isNull());

    const struct
    {
        QWidget *w;
        double pt;
    } designed[] = {{m_window->Label1, 10.47}, {m_window->Text1, 10.47}, {m_window->Text2, 9.17}};
    for (const auto &[widget, pt] : designed) {
        QCOMPARE(widget->font().families().value(0), QString::fromUtf8("微软雅黑"));
        QCOMPARE(widget->font().pointSizeF(), pt);
    }
    // Whatever face is picked, the Chinese texts have glyphs in it.
    const QFontMetrics metrics(m_window->Label1->font());
    for (const QChar c : QString::fromUtf8("请输入音乐试听地址：示例链接点击解析"))
        QVERIFY2(metrics.inFont(c), qPrintable(QFontInfo(m_window->Label1->font()).family()));
    QCOMPARE(m_window->Command1->font(), m_window->font());
    QCOMPARE(m_window->Label2->font(), m_window->font());
}

void TestForm1::focusAndTabOrder()
{
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(QApplication::focusWidget(), m_window->Command1);
    QVERIFY(!m_window->Command1->isDefault());
    QVERIFY(!m_window->Command1->autoDefault());
    QCOMPARE(m_window->Label1->focusPolicy(), Qt::NoFocus);
    QCOMPARE(m_window->Label2->focusPolicy(), Qt::NoFocus);

    const QList<QWidget *> order{m_window->Text1, m_window->Command2, m_window->Text2};
    for (QWidget *expected : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(m_window->W1->isAncestorOf(QApplication::focusWidget()));

    // Command2 does nothing; Enter and Escape in the input box do not resolve.
    const auto before = m_fake.received().size();
    m_window->Command2->click();
    m_window->Text1->setFocus();
    QTest::keyClicks(m_window->Text1, playPage(QString::number(tracks::Demo)));
    QTest::keyClick(m_window->Text1, Qt::Key_Return);
    QTest::keyClick(m_window->Text1, Qt::Key_Escape);
    QVERIFY(m_window->Command1->isEnabled());
    QVERIFY(!m_window->resolveCommand()->isBusy());
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(m_fake.received().size(), before);
}

void TestForm1::badAddress_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("empty") << "";
    QTest::newRow("bare number") << "169309";
    QTest::newRow("other site") << "http://www.example.com/play/169309.html";
    QTest::newRow("one digit") << playPage("7");
    QTest::newRow("full-width digits") << playPage(QString::fromUtf8("１６９３０９"));
}

void TestForm1::badAddress()
{
    QFETCH(QString, input);
    m_window->Text2->setText("kept");
    const auto before = m_fake.received().size();
    click(input);
    QVERIFY(m_window->Command1->isEnabled());
    const Box box = dismissBox();
    QCOMPARE(box.text, QString::fromUtf8("输入的网址有误！"));
    QCOMPARE(box.title, QString::fromUtf8("地址不准确"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QTRY_VERIFY(!m_window->resolveCommand()->isBusy());
    QVERIFY(m_window->Command1->isEnabled());
    QCOMPARE(m_window->Text2->text(), "kept");
    QCOMPARE(m_window->Text1->text(), input);
    QVERIFY(m_window->W1->url().isEmpty());
    QCOMPARE(m_fake.received().size(), before);
}

void TestForm1::outcomes_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<Expect>("expect");
    QTest::addColumn<QString>("songUrl");
    QTest::addColumn<QString>("detail");
    const auto row = [this](const char *name, int track, Expect e, QString url = {},
                            QString detail = {}) {
        QTest::newRow(name) << QStringLiteral("  %1  ").arg(playPage(QString::number(track))) << e
                            << url << detail;
    };
    const QString demoUrl = m_fake.songUrl(tracks::Demo).toString();
    row("example track", tracks::Demo, Expect::Play, demoUrl);
    row("two-digit id", tracks::TwoDigit, Expect::Play,
        m_fake.songUrl(tracks::TwoDigit).toString());
    row("six characters", tracks::SixCharUrl, Expect::Play, "ab.mp3");
    row("number address", tracks::NumberUrl, Expect::Play, "1234567");
    row("long address despite not_find", tracks::NotFindWithUrl, Expect::Play, demoUrl);
    row("unknown track", tracks::Unknown, Expect::NotFound);
    row("five characters", tracks::FiveCharUrl, Expect::RequestError, {}, "other");
    row("NOT_FIND", tracks::UpperNotFind, Expect::RequestError, {}, "NOT_FIND");
    row("null name", tracks::NullName, Expect::RequestError);
    row("no name", tracks::NoName, Expect::RequestError);
    row("500 page", tracks::ServerError, Expect::RequestError, {}, "HTTP 500");
    // Every fault mode, through both front ends, is in the fault table test.
    row("stall", tracks::Stall, Expect::RequestError, {}, "timed out");
}

void TestForm1::outcomes()
{
    QFETCH(QString, input);
    QFETCH(Expect, expect);
    QFETCH(QString, songUrl);
    QFETCH(QString, detail);
    m_window->Text2->setText("earlier");
    QCOMPARE(m_window->W1->volume(), PlayerWidget::kInitialVolume);

    click(input);
    QVERIFY(!m_window->Command1->isEnabled()); // disabled while the request waits
    QCOMPARE(m_window->cursor().shape(), Qt::BusyCursor);

    if (expect == Expect::Play) {
        QTRY_VERIFY_WITH_TIMEOUT(m_window->Command1->isEnabled(), 10000);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(m_window->Text2->text(), songUrl);
        QCOMPARE(m_window->W1->url(), songUrl);
        QCOMPARE(m_window->W1->volume(), 100);
        if (!songUrl.startsWith(u"http")) {
            // Not an address the player can take: it says so, the address stays shown.
            QTRY_VERIFY(m_window->W1->statusText().startsWith(playerstatus::kCannotPlay));
            QCOMPARE(m_window->Text2->text(), songUrl);
        }
    } else {
        const Box box = dismissBox();
        QVERIFY(!box.text.isEmpty());
        if (expect == Expect::NotFound) {
            QCOMPARE(box.text, QString::fromUtf8("歌曲信息未找到!"));
            QCOMPARE(box.title, QString::fromUtf8("未找到歌曲"));
            QCOMPARE(box.icon, QMessageBox::Information);
        } else {
            QCOMPARE(box.text, QString::fromUtf8("数据请求错误!"));
            QCOMPARE(box.title, QString::fromUtf8("数据错误"));
            QCOMPARE(box.icon, QMessageBox::Critical);
            QVERIFY2(box.detail.contains(detail, Qt::CaseInsensitive), qPrintable(box.detail));
        }
        QTRY_VERIFY(m_window->Command1->isEnabled());
        QCOMPARE(m_window->Text2->text(), "earlier"); // no-audio path leaves the result alone
        QVERIFY(m_window->W1->url().isEmpty());
        QCOMPARE(m_window->W1->volume(), PlayerWidget::kInitialVolume);
    }
    QCOMPARE(m_window->cursor().shape(), Qt::ArrowCursor);
    QVERIFY(m_fake.received().last().signatureOk);
}

void TestForm1::playsRealAudio()
{
    click(playPage(QString::number(tracks::Demo)));
    QMediaPlayer *player = m_window->W1->mediaPlayer();
    QTRY_COMPARE_WITH_TIMEOUT(player->playbackState(), QMediaPlayer::PlayingState, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(player->position() > 0, 10000);
    QCOMPARE(m_window->W1->volume(), 100);
}

void TestForm1::staysResponsiveWhileWaiting()
{
    const QString first = playPage(QString::number(tracks::Stall));
    click(first);
    QVERIFY(!m_window->Command1->isEnabled());
    QTRY_COMPARE(m_fake.received().size() > 0 && m_fake.received().last().url.query().startsWith(
                                                     QStringLiteral("id=%1&").arg(tracks::Stall)),
                 true);
    const auto sent = m_fake.received().size();

    // The event loop runs: timers fire and the window repaints.
    QTimer timer;
    QSignalSpy tick(&timer, &QTimer::timeout);
    timer.start(10);
    QVERIFY(tick.wait());
    PaintCounter paints;
    m_window->Text2->installEventFilter(&paints);
    m_window->Text2->update();
    QTRY_VERIFY(paints.count > 0);
    m_window->Text1->setFocus();
    QTest::keyClicks(m_window->Text1, "x"); // typing works while waiting
    QVERIFY(m_window->Text1->text().endsWith(u'x'));

    // A second click does nothing; the edit does not touch the request in flight.
    QTest::mouseClick(m_window->Command1, Qt::LeftButton);
    m_window->Command1->click();
    QCOMPARE(m_fake.received().size(), sent);
    QVERIFY(m_window->resolveCommand()->request()->requestAddress().contains(
        QStringLiteral("id=%1&").arg(tracks::Stall)));

    QCOMPARE(dismissBox().text, QString::fromUtf8("数据请求错误!"));
    QTRY_VERIFY(m_window->Command1->isEnabled());

    // The next click reads the new text.
    click(playPage(QString::number(tracks::Demo)));
    QTRY_VERIFY_WITH_TIMEOUT(m_window->Command1->isEnabled(), 10000);
    QCOMPARE(m_window->Text2->text(), m_fake.songUrl(tracks::Demo).toString());
}

void TestForm1::closingWhileWaitingAborts()
{
    click(playPage(QString::number(tracks::Stall)));
    QPointer<TrackResolve> request = m_window->resolveCommand()->request();
    QVERIFY(request);
    m_window->close();
    m_window.reset();
    QVERIFY(!request); // gone with the window: nothing can answer into it
    QVERIFY(!QApplication::activeModalWidget());
    const auto tops = QApplication::topLevelWidgets();
    QVERIFY(std::none_of(tops.begin(), tops.end(),
                         [](QWidget *w) { return qobject_cast<QMessageBox *>(w); }));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
