// Reading the resolver's answer: number text, field lookup, the decision.
#include "answer.h"

#include <QTest>

using velmora::LooseValue;
using enum velmora::Resolution::Outcome;
using Field = std::optional<LooseValue>; // nullopt: the lookup fails

class TestAnswer : public QObject
{
    Q_OBJECT
private slots:
    void numberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("integer below 1e21") << 1e20 << "100000000000000000000";
        QTest::newRow("1e21 in exponent form") << 1e21 << "1e+21";
        QTest::newRow("shortest digits") << 0.1 << "0.1";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("negative, below 1e-6 exponent form") << -1.5e-7 << "-1.5e-7";
    }

    void numberText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(velmora::numberToText(value), text);
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<Field>("field"); // of Rendata.songURL
        QTest::newRow("text") << R"({"Rendata":{"songURL":"a.mp3"}})"
                              << Field(LooseValue::text("a.mp3"));
        QTest::newRow("number") << R"({"Rendata":{"songURL":1}})" << Field(LooseValue::number(1));
        QTest::newRow("true") << R"({"Rendata":{"songURL":true}})"
                              << Field(LooseValue::boolean(true));
        QTest::newRow("null") << R"({"Rendata":{"songURL":null}})" << Field(LooseValue::null());
        QTest::newRow("spaces, last missing") << "\r\n{ \"Rendata\" :\t{} }\n"
                                              << Field(LooseValue());
        QTest::newRow("member of a string") << R"({"Rendata":"abcdefg"})" << Field(LooseValue());
        QTest::newRow("Rendata null") << R"({"Rendata":null})" << Field();
        QTest::newRow("empty") << "" << Field();
        QTest::newRow("HTML") << "<html><body>500 Internal Server Error</body></html>" << Field();
    }

    void lookup()
    {
        QFETCH(QString, json);
        QFETCH(Field, field);
        const velmora::JsonField found =
            velmora::GetJsonField(QStringLiteral("Rendata.songURL"), json);
        QCOMPARE(found.ok() ? Field(found.value) : std::nullopt, field);
    }

    void decide_data()
    {
        QTest::addColumn<QString>("rendata"); // the members of Rendata
        QTest::addColumn<velmora::Resolution::Outcome>("outcome");
        QTest::newRow("six play, not_find") << R"("songURL":"ab.mp3","tname":"not_find")" << Play;
        QTest::newRow("five, no name") << R"("songURL":"a.mp3")" << RequestError;
        QTest::newRow("NOT_FIND") << R"("songURL":"","tname":"NOT_FIND")" << RequestError;
        QTest::newRow("null name") << R"("songURL":"","tname":null)" << RequestError;
        QTest::newRow("empty name") << R"("songURL":"","tname":"")" << RequestError;
        QTest::newRow("number by its text") << R"("songURL":1234567)" << Play;
        QTest::newRow("null, not_find") << R"("songURL":null,"tname":"not_find")" << NotFound;
        QTest::newRow("object, not_find") << R"("songURL":{"u":1},"tname":"not_find")" << NotFound;
        QTest::newRow("array, not_find") << R"("songURL":[1,2,3],"tname":"not_find")" << NotFound;
    }

    void decide()
    {
        QFETCH(QString, rendata);
        QFETCH(velmora::Resolution::Outcome, outcome);
        const auto r = velmora::decideAnswer(QString(R"({"Rendata":{%1}})").arg(rendata));
        QCOMPARE(r.outcome, outcome);
        QCOMPARE(r.error.isEmpty(), outcome != RequestError);
        QVERIFY2(!r.error.contains(u"\"\""), qPrintable(r.error)); // a name that is none
    }

    void webAudio_data()
    {
        QTest::addColumn<QString>("songUrl");
        QTest::addColumn<bool>("web");
        QTest::newRow("http") << "http://127.0.0.1:8080/a.mp3?sig=x y" << true;
        QTest::newRow("https") << "https://cdn.example/a.mp3" << true;
        QTest::newRow("file: URL") << "file:///etc/passwd" << false;
        QTest::newRow("local path") << "/home/user/a.mp3" << false;
        QTest::newRow("Windows path") << "C:/Users/a.mp3" << false;
        QTest::newRow("no host") << "http:///a.mp3" << false;
        QTest::newRow("other scheme") << "ftp://host/a.mp3" << false;
        // What a media engine would open as well, were it asked.
        QTest::newRow("edl") << "edl://http://host/a.mp3,0,10" << false;
        QTest::newRow("lavfi device") << "av://lavfi:sine=frequency=440" << false;
        QTest::newRow("lavf on a file") << "lavf://file:/etc/passwd" << false;
        QTest::newRow("relative") << "media/a.mp3" << false;
        QTest::newRow("trailing space") << "http://host/a.mp3 " << false;
    }

    void webAudio()
    {
        QFETCH(QString, songUrl);
        QFETCH(bool, web);
        QCOMPARE(velmora::webAudioUrl(songUrl).has_value(), web);
    }
};

QTEST_APPLESS_MAIN(TestAnswer)
#include "tst_answer.moc"
