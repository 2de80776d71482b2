#pragma once

// What the window and command-line tests share: play-page addresses on the
// built-in site host, options pointing at a fake resolver, the message box a
// click leaves open, and the program under test.
#include "fakeresolver.h"
#include "resolve.h"
#include "settings.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <QVariant>

#include <optional>
#include <tuple>

namespace velmora::testing {

using namespace std::chrono_literals;

inline QString playPage(const QVariant &id) // a number or any text
{
    return QStringLiteral("http://%1/play/%2.html")
        .arg(QLatin1String(settings::kSiteHost), id.toString());
}

inline ResolveOptions fakeOptions(const fake::FakeResolver &fake,
                                  std::chrono::milliseconds idle = 1500ms,
                                  std::chrono::milliseconds total = 3s)
{
    ResolveOptions options;
    options.resolverHost = fake.resolverHost();
    options.fetch.ssl = fake::FakeResolver::clientSslConfiguration();
    options.fetch.idleTimeout = idle;
    options.fetch.totalTimeout = total;
    return options;
}

// True when `text` is Chinese once addresses, host and member names, numbers,
// quoted answer texts and protocol words have been taken out: no other Latin
// word is left.
inline bool readsChinese(QString text)
{
    static const QRegularExpression aside(QStringLiteral(
        R"(\b[a-z]+://\S*|[\w-]+(\.[\w-]+)+|[0-9.:]+|“[^”]*”|\b(HTTP|TLS|SSL|JSON|Rendata)\b)"));
    static const QRegularExpression latinWord(QStringLiteral("[A-Za-z]{2,}"));
    return !text.remove(aside).contains(latinWord);
}

// Whether a title bar has room for the box's title: drawn larger and bold,
// between the window's icon and buttons, and centred on some desktops.
bool titleFits(const QMessageBox *box);

struct Box
{
    QString title, text, detail;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons; // every visible button's text, details shown
    bool closedByEnter = false;
    bool titleFits = false;
};

// The modal window once one of type T is open, waited for; null if none came.
template <typename T> T *modal(int timeoutMs = 5000)
{
    T *open = nullptr;
    std::ignore = QTest::qWaitFor(
        [&] { return (open = qobject_cast<T *>(QApplication::activeModalWidget())); }, timeoutMs);
    return open;
}

// Waits for the open message box, shows its details where it has some, reads
// it, and closes it with Enter.
std::optional<Box> closeBox(int timeoutMs = 10000);

// Silence, as a WAV file (8-bit mono, `rate` samples a second, so as many
// bytes) that plays for `seconds`: long enough to outlast whatever a test
// does meanwhile.
QByteArray silentWav(quint32 seconds, quint32 rate = 8000);

// The fake resolver's name where with-test-host.sh maps it to 127.0.0.1: a
// client sends a request for it through a proxy, as it never does for a
// loopback address. testHostResolves() is false where no mapping could be made.
inline constexpr char kTestHost[] = "resolver.velmora.test";
bool testHostResolves();

// A loopback port that nothing listens on: one just given back.
quint16 closedPort();

// A program's standard output once it ended with status 0, waited for in
// the event loop: this process may be what it talks to.
std::optional<QString>
runProgram(const QString &program, const QStringList &arguments,
           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

// Whether this test runs under Wine: a Windows build tested on Linux, where
// some of Windows' own parts do less than Windows does.
bool runsUnderWine();

// The program a test drives, named by the environment variable `variable`:
// the caller's own where one is set, else the one built here, which ctest
// lists after it (velmora_test_program() in tests/CMakeLists.txt).
inline QString programUnderTest(const char *variable)
{
    return qEnvironmentVariable(variable).section(u';', 0, 0);
}

} // namespace velmora::testing
