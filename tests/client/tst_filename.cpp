#include "filename.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestFileName : public QObject
{
    Q_OBJECT
private slots:
    void trackFileName_data();
    void trackFileName();
    void audioExtension_data();
    void audioExtension();
};

void TestFileName::trackFileName_data()
{
    QTest::addColumn<QString>("trackName");
    QTest::addColumn<QString>("fileName");
    const QString chinese = QString(100, QChar(0x66F2)); // 3 bytes each in UTF-8
    QTest::newRow("Chinese kept") << u"夜曲 (DJ版) – Ünïcode"_s << u"夜曲 (DJ版) – Ünïcode"_s;
    QTest::newRow("forbidden characters") << u"a\\b/c:d*e?f\"g<h>i|j"_s << u"a_b_c_d_e_f_g_h_i_j"_s;
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
    QTest::newRow("surrogate pair not split") << QString(199, u'x') + u"😀"_s << QString(199, u'x');
}

void TestFileName::trackFileName()
{
    QFETCH(QString, trackName);
    QFETCH(QString, fileName);
    const QString name = velmora::trackFileName(trackName, u"169309"_s);
    QCOMPARE(name, fileName);
    QVERIFY(name.toUtf8().size() <= velmora::kMaxFileNameBytes);
}

void TestFileName::audioExtension_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("firstBytes");
    QTest::addColumn<QString>("extension");
    const QString bare = u"http://h/get?id=1"_s;
    QTest::newRow("path") << u"http://h/a/b.MP3?x=.wav"_s << QByteArray("audio/ogg") << QByteArray()
                          << u"mp3"_s;
    QTest::newRow("unknown path, type")
        << u"http://h/play.php"_s << QByteArray("audio/x-m4a; x=1") << QByteArray() << u"m4a"_s;
    QTest::newRow("x-wav") << bare << QByteArray("audio/x-wav") << QByteArray() << u"wav"_s;
    QTest::newRow("ID3") << bare << QByteArray("application/octet-stream") << QByteArray("ID3\x04")
                         << u"mp3"_s;
    QTest::newRow("MPEG frame") << bare << QByteArray() << QByteArray("\xff\xfb\x90\x00")
                                << u"mp3"_s;
    QTest::newRow("ADTS is not MPEG audio")
        << bare << QByteArray() << QByteArray("\xff\xf1\x50\x80") << QString();
    QTest::newRow("RIFF") << bare << QByteArray() << QByteArray("RIFF....WAVE") << u"wav"_s;
    QTest::newRow("fLaC") << bare << QByteArray() << QByteArray("fLaC") << u"flac"_s;
    QTest::newRow("OggS") << bare << QByteArray() << QByteArray("OggS") << u"ogg"_s;
    QTest::newRow("ftyp") << bare << QByteArray()
                          << QByteArray("\0\0\0\x20"
                                        "ftypM4A ",
                                        12)
                          << u"m4a"_s;
    QTest::newRow("nothing tells")
        << bare << QByteArray("text/plain") << QByteArray("hello") << QString();
}

void TestFileName::audioExtension()
{
    QFETCH(QString, url);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, firstBytes);
    QFETCH(QString, extension);
    QCOMPARE(velmora::audioExtension(QUrl(url), contentType, firstBytes), extension);
}

QTEST_APPLESS_MAIN(TestFileName)
#include "tst_filename.moc"
