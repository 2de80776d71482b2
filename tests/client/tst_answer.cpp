// Reading the resolver's answer: number text, field lookup, the decision.
#include "answer.h"

#include <QTest>

#include <limits>

using velmora::LooseValue;
using velmora::Resolution;
using Kind = LooseValue::Kind;

Q_DECLARE_METATYPE(velmora::LooseValue)
Q_DECLARE_METATYPE(velmora::Resolution::Outcome)

class TestAnswer : public QObject
{
    Q_OBJECT
private slots:
    void numberText_data();
    void numberText();
    void textForm_data();
    void textForm();
    void lookup_data();
    void lookup();
    void decide_data();
    void decide();
    void webAudio_data();
    void webAudio();
};

void TestAnswer::numberText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("integer") << 100.0 << "100";
    QTest::newRow("tenth") << 0.1 << "0.1";
    QTest::newRow("fraction") << 123.456 << "123.456";
    QTest::newRow("negative") << -42.5 << "-42.5";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("below 1e21 plain") << 1e20 << "100000000000000000000";
    QTest::newRow("1e21 exponent") << 1e21 << "1e+21";
    QTest::newRow("big with digits") << 1.5e300 << "1.5e+300";
    QTest::newRow("1e-6 plain") << 1e-6 << "0.000001";
    QTest::newRow("1e-7 exponent") << 1e-7 << "1e-7";
    QTest::newRow("small negative") << -5e-8 << "-5e-8";
    QTest::newRow("shortest digits") << 0.1 + 0.2 << "0.30000000000000004";
    QTest::newRow("2^53") << 9007199254740992.0 << "9007199254740992";
    QTest::newRow("seven digits") << 1234567.0 << "1234567";
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << "Infinity";
}

void TestAnswer::numberText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(velmora::numberToText(value), text);
}

void TestAnswer::textForm_data()
{
    QTest::addColumn<LooseValue>("value");
    QTest::addColumn<bool>("hasText");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << LooseValue() << true << "";
    QTest::newRow("text") << LooseValue::text("abc") << true << "abc";
    QTest::newRow("number") << LooseValue::number(12345) << true << "12345";
    QTest::newRow("true") << LooseValue::boolean(true) << true << "true";
    QTest::newRow("false") << LooseValue::boolean(false) << true << "false";
    QTest::newRow("null") << LooseValue::null() << false << "";
    QTest::newRow("compound") << LooseValue::compound() << false << "";
}

void TestAnswer::textForm()
{
    QFETCH(LooseValue, value);
    QFETCH(bool, hasText);
    QFETCH(QString, text);
    QCOMPARE(value.textForm().has_value(), hasText);
    if (hasText)
        QCOMPARE(*value.textForm(), text);
}

void TestAnswer::lookup_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("json");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<LooseValue>("value");

    const auto ok = [](const char *name, const char *path, const char *json, LooseValue v) {
        QTest::newRow(name) << QString::fromUtf8(path) << QString::fromUtf8(json) << true << v;
    };
    const auto error = [](const char *name, const char *path, const char *json) {
        QTest::newRow(name) << QString::fromUtf8(path) << QString::fromUtf8(json) << false
                            << LooseValue();
    };

    ok("string", "Rendata.songURL", R"({"Rendata":{"songURL":"http://a/b.mp3"}})",
       LooseValue::text("http://a/b.mp3"));
    ok("escaped slash", "Rendata.songURL", R"({"Rendata":{"songURL":"http:\/\/a\/b.mp3"}})",
       LooseValue::text("http://a/b.mp3"));
    ok("unicode escape", "Rendata.tname", R"({"Rendata":{"tname":"\u6b4c\u66f2"}})",
       LooseValue::text(QString::fromUtf8("歌曲")));
    ok("number", "Rendata.songURL", R"({"Rendata":{"songURL":1234567}})",
       LooseValue::number(1234567));
    ok("boolean", "Rendata.songURL", R"({"Rendata":{"songURL":true}})", LooseValue::boolean(true));
    ok("null last", "Rendata.songURL", R"({"Rendata":{"songURL":null}})", LooseValue::null());
    ok("missing last", "Rendata.songURL", R"({"Rendata":{"tname":"x"}})", LooseValue());
    ok("object last", "Rendata.songURL", R"({"Rendata":{"songURL":{"a":1}}})",
       LooseValue::compound());
    ok("array last", "Rendata.songURL", R"({"Rendata":{"songURL":["a"]}})", LooseValue::compound());
    ok("string before last", "Rendata.songURL", R"({"Rendata":"abc"})", LooseValue());
    ok("number before last", "Rendata.songURL", R"({"Rendata":5})", LooseValue());
    ok("boolean before last", "Rendata.songURL", R"({"Rendata":false})", LooseValue());
    ok("white space", "Rendata.tname", "\n { \"Rendata\" :\r\n\t{ \"tname\" : \"not_find\" } }\n",
       LooseValue::text("not_find"));
    ok("duplicate key last wins", "Rendata.tname",
       R"({"Rendata":{"tname":"first","tname":"second"}})", LooseValue::text("second"));
    ok("case differs in last", "Rendata.songurl", R"({"Rendata":{"songURL":"http://a/b"}})",
       LooseValue());
    ok("deeper path", "a.b.c", R"({"a":{"b":{"c":"deep"}}})", LooseValue::text("deep"));

    error("missing before last", "Rendata.songURL", R"({"code":0})");
    error("null before last", "Rendata.songURL", R"({"Rendata":null})");
    error("case differs before last", "rendata.songURL", R"({"Rendata":{"songURL":"x"}})");
    error("two levels missing", "a.b.c", R"({"a":{}})");
    error("empty text", "Rendata.songURL", "");
    error("only spaces", "Rendata.songURL", "   ");
    error("html page", "Rendata.songURL", "<html><body>500 Internal Server Error</body></html>");
    error("cut short", "Rendata.songURL", R"({"Rendata":{"songURL":"htt)");
    error("single quotes are script, not JSON", "Rendata.songURL", "{'Rendata':{'songURL':'x'}}");
    error("code is never run", "Rendata.songURL", R"((function(){return {Rendata:{}}})())");
    error("array has no members", "Rendata.songURL", R"([{"Rendata":{"songURL":"x"}}])");
}

void TestAnswer::lookup()
{
    QFETCH(QString, path);
    QFETCH(QString, json);
    QFETCH(bool, ok);
    QFETCH(LooseValue, value);
    const velmora::JsonField field = velmora::GetJsonField(path, json);
    QCOMPARE(field.ok(), ok);
    if (ok)
        QCOMPARE(field.value, value);
    else
        QVERIFY(!field.error.isEmpty());
}

void TestAnswer::decide_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<Resolution::Outcome>("outcome");
    QTest::addColumn<QString>("songUrl");
    using O = Resolution::Outcome;
    const auto row = [](const char *name, const char *answer, O outcome, const char *url = "") {
        QTest::newRow(name) << QString::fromUtf8(answer) << outcome << QString::fromUtf8(url);
    };
    row("plays", R"({"Rendata":{"songURL":"http://m/a.mp3","tname":"A"}})", O::Play,
        "http://m/a.mp3");
    row("six characters play", R"({"Rendata":{"songURL":"ab.mp3"}})", O::Play, "ab.mp3");
    row("five characters do not", R"({"Rendata":{"songURL":"a.mp3","tname":"x"}})",
        O::RequestError);
    row("five with not_find", R"({"Rendata":{"songURL":"a.mp3","tname":"not_find"}})", O::NotFound);
    row("number counts by its digits", R"({"Rendata":{"songURL":1234567}})", O::Play, "1234567");
    row("short number", R"({"Rendata":{"songURL":12345,"tname":"not_find"}})", O::NotFound);
    row("long url wins over not_find",
        R"({"Rendata":{"songURL":"http://m/a.mp3","tname":"not_find"}})", O::Play,
        "http://m/a.mp3");
    row("not found", R"({"Rendata":{"songURL":"","tname":"not_find"}})", O::NotFound);
    row("no songURL, not found", R"({"Rendata":{"tname":"not_find"}})", O::NotFound);
    row("other name", R"({"Rendata":{"songURL":"","tname":"sign_error"}})", O::RequestError);
    row("name in other case", R"({"Rendata":{"songURL":"","tname":"NOT_FIND"}})", O::RequestError);
    row("null name", R"({"Rendata":{"songURL":"","tname":null}})", O::RequestError);
    row("no name", R"({"Rendata":{"songURL":""}})", O::RequestError);
    row("null songURL", R"({"Rendata":{"songURL":null,"tname":"not_find"}})", O::NotFound);
    row("object songURL", R"({"Rendata":{"songURL":{"u":"http://m/a.mp3"},"tname":"x"}})",
        O::RequestError);
    row("array songURL", R"({"Rendata":{"songURL":["http://m/a.mp3"],"tname":"not_find"}})",
        O::NotFound);
    row("Rendata null", R"({"Rendata":null})", O::RequestError);
    row("no Rendata", R"({"code":0})", O::RequestError);
    row("not JSON", "<html>404</html>", O::RequestError);
    row("empty", "", O::RequestError);
}

void TestAnswer::decide()
{
    QFETCH(QString, answer);
    QFETCH(Resolution::Outcome, outcome);
    QFETCH(QString, songUrl);
    const Resolution r = velmora::decideAnswer(answer);
    QCOMPARE(r.outcome, outcome);
    QCOMPARE(r.songUrl, songUrl);
    QCOMPARE(r.error.isEmpty(), outcome != Resolution::Outcome::RequestError);
}

void TestAnswer::webAudio_data()
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
    QTest::newRow("relative") << "media/a.mp3" << false;
    QTest::newRow("surrounding space") << " http://host/a.mp3" << false;
}

void TestAnswer::webAudio()
{
    QFETCH(QString, songUrl);
    QFETCH(bool, web);
    QCOMPARE(velmora::webAudioUrl(songUrl).has_value(), web);
}

QTEST_APPLESS_MAIN(TestAnswer)
#include "tst_answer.moc"
