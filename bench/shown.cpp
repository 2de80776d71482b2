// What app/main.cpp does, line for line, up to the window on the screen:
// then one line "shown" on standard output, and the program quits. The
// start-up benchmark times process start to that line.
#include "application.h"
#include "form1.h"

#include <QApplication>
#include <QEvent>
#include <QWindow>

#include <cstdio>

namespace {

// Reports the first expose of a window once the event loop is back, so
// that the painting the expose sets off is done by then.
class FirstExpose : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_seen && event->type() == QEvent::Expose && watched->isWindowType() &&
            static_cast<QWindow *>(watched)->isExposed()) {
            m_seen = true;
            QMetaObject::invokeMethod(
                this,
                [] {
                    std::fputs("shown\n", stdout);
                    std::fflush(stdout);
                    QCoreApplication::quit();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool m_seen = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FirstExpose firstExpose(&app);
    app.installEventFilter(&firstExpose);
    return velmora::runWindow(app);
}
