#include "filename.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestFileName : public QObject
{
    Q_OBJECT
private slots:
    void trackFileName_data()
    {
        QTest::addColumn<QString>("trackName");
        QTest::addColumn<QString>("fileName");
        const QString chinese = QString(100, QChar(0x66F2)); // 3 bytes each in UTF-8
        QTest::newRow("Chinese kept") << u"夜曲 (DJ版) – Ünïcode"_s << u"夜曲 (DJ版) – Ünïcode"_s;
        QTest::newRow("forbidden characters")
            << u"a\\b/c:d*e?f\"g<h>i|j"_s << u"a_b_c_d_e_f_g_h_i_j"_s;
        QTest::newRow("controls") << u"a\tb\nc\x7f"
                                     "d\u009be"_s
                                  << u"a_b_c_d_e"_s;
        QTest::newRow("beyond the BMP") << u"𠀿曲 😀 mix"_s << u"𠀿曲 😀 mix"_s;
        QTest::newRow("bidirectional controls dropped")
            << u"a\u202egnp.mp3\u2066b\u2069"_s << u"agnp.mp3b"_s;
        QTest::newRow("trailing dots and spaces") << u" name. . "_s << u" name"_s;
        QTest::newRow("reserved name") << u"CON"_s << u"_CON"_s;
        QTest::newRow("reserved, any case and extension") << u"nul.txt"_s << u"_nul.txt"_s;
        QTest::newRow("COM1") << u"com1"_s << u"_com1"_s;
        QTest::newRow("not a reserved name") << u"CONSOLE"_s << u"CONSOLE"_s;
        QTest::newRow("not_find") << u"not_find"_s << u"169309"_s;
        QTest::newRow("no name") << QString() << u"169309"_s;
        QTest::newRow("only dots") << u"..."_s << u"169309"_s;
        QTest::newRow("cut on a character") << chinese << chinese.left(66);
        QTest::newRow("surrogate pair not split")
            << QString(199, u'x') + u"😀"_s << QString(199, u'x');
    }

    void trackFileName()
    {
        QFETCH(QString, trackName);
        QFETCH(QString, fileName);
        const QString name = velmora::trackFileName(trackName, u"169309"_s);
        QCOMPARE(name, fileName);
        QVERIFY(name.toUtf8().size() <= velmora::kMaxFileNameBytes);
    }

    void audioExtension_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("firstBytes");
        QTest::addColumn<QString>("extension");
        const auto row = [](const char *name, const char *url, const QByteArray &contentType,
                            const QByteArray &firstBytes, const char *extension) {
            QTest::newRow(name) << QString::fromUtf8(url) << contentType << firstBytes
                                << QString::fromUtf8(extension);
        };
        const char *bare = "http://h/get?id=1";
        row("path", "http://h/a/b.MP3?x=.wav", "audio/ogg", {}, "mp3");
        row("unknown path, type", "http://h/play.php", "audio/x-m4a; x=1", {}, "m4a");
        row("x-wav", bare, "audio/x-wav", {}, "wav");
        row("ID3", bare, "application/octet-stream", "ID3\x04", "mp3");
        row("MPEG frame", bare, {}, "\xff\xfb\x90\x00"_ba, "mp3");
        row("ADTS is not MPEG audio", bare, {}, "\xff\xf1\x50\x80"_ba, "");
        row("RIFF", bare, {}, "RIFF....WAVE", "wav");
        row("fLaC", bare, {}, "fLaC", "flac");
        row("OggS", bare, {}, "OggS", "ogg");
        row("ftyp", bare, {}, "\0\0\0 ftypM4A "_ba, "m4a"); // a box of 0x20 bytes
        row("nothing tells", bare, "text/plain", "hello", "");
    }

    void audioExtension()
    {
        QFETCH(QString, url);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, firstBytes);
        QFETCH(QString, extension);
        QCOMPARE(velmora::audioExtension(QUrl(url), contentType, firstBytes), extension);
    }
};

QTEST_APPLESS_MAIN(TestFileName)
#include "tst_filename.moc"
