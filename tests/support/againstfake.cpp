#include "againstfake.h"

#include <QPushButton>
#include <QtEndian>

#include <QHostInfo>
#include <QTcpServer>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace velmora::testing {

bool titleFits(const QMessageBox *box)
{
    QFont font = box->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.2);
    return box->width() >= QFontMetrics(font).horizontalAdvance(box->windowTitle()) + 2 * 64;
}

std::optional<Box> closeBox(int timeoutMs)
{
    QMessageBox *box = modal<QMessageBox>(timeoutMs);
    if (!box)
        return std::nullopt;
    Box seen{box->windowTitle(), box->text(), box->detailedText(), box->icon(), {}, false,
             titleFits(box)}; // before the details widen it
    // The details toggle, clicked last, must not take Enter over.
    for (QPushButton *button : box->findChildren<QPushButton *>())
        if (button != box->button(QMessageBox::Ok))
            QTest::mouseClick(button, Qt::LeftButton);
    for (QPushButton *button : box->findChildren<QPushButton *>())
        if (button->isVisible())
            seen.buttons << button->text();
    const QPointer<QMessageBox> open = box;
    if (!QTest::qWaitForWindowActive(box))
        return std::nullopt;
    QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return);
    seen.closedByEnter = QTest::qWaitFor([&] { return !open || !open->isVisible(); }, 2000);
    if (open && open->isVisible())
        open->button(QMessageBox::Ok)->click();
    return seen;
}

QByteArray silentWav(quint32 seconds, quint32 rate)
{
    QByteArray wav = QByteArrayLiteral("RIFF....WAVEfmt ");
    const auto le32 = [&wav](quint32 v) {
        wav.append(reinterpret_cast<const char *>(&v), 4);
    };
    le32(16), wav.append("\x01\x00\x01\x00", 4), le32(rate), le32(rate),
        wav.append("\x01\x00\x08\x00", 4);
    wav += "data", le32(rate * seconds), wav.append(QByteArray(rate * seconds, char(0x80)));
    qToLittleEndian<quint32>(wav.size() - 8, wav.data() + 4);
    return wav;
}

std::optional<QString> runProgram(const QString &program, const QStringList &arguments,
                                  const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    QSignalSpy ended(&process, &QProcess::finished);
    process.start(program, arguments);
    if (!ended.wait(10000) || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

bool runsUnderWine()
{
#ifdef Q_OS_WIN
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

bool testHostResolves()
{
    return QHostInfo::fromName(QLatin1String(kTestHost))
        .addresses()
        .contains(QHostAddress(QHostAddress::LocalHost));
}

quint16 closedPort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

} // namespace velmora::testing
