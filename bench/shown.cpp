// What app/main.cpp does, line for line, up to the window on the screen:
// then one line "shown" on standard output, and the program quits. The
// start-up benchmark times process start to that line.
//
// With --marks first, it goes on instead and says when each stage of a
// start with an address was reached, as "mark STAGE SECONDS" lines on
// CLOCK_MONOTONIC (the clock bench/first_sound.py reads): main, shown,
// resolved (the result box filled) and loaded (the engine has the file
// open), until it is ended.
#include "application.h"
#include "form1.h"
#include "playerwidget.h"

#ifdef VELMORA_EARLY_FONTS
#include "fontsearly.h"
#endif
#ifdef VELMORA_GLIBC_HEAP
#include "playbackmemory.h"
#endif

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QWindow>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

void Mark(const char *stage)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::printf("mark %s %.6f\n", stage, double(now.tv_sec) + double(now.tv_nsec) / 1e9);
    std::fflush(stdout);
}

// Reports the first expose of a window once the event loop is back, so
// that the painting the expose sets off is done by then; with marks, also
// follows the window's stages from its first show on.
class Watch : public QObject
{
public:
    Watch(bool marks, QObject *parent) : QObject(parent), m_marks(marks) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (auto *window = qobject_cast<velmora::Form1 *>(watched);
            window && m_marks && event->type() == QEvent::Show && !m_following) {
            m_following = true; // before the address given at start is resolved
            connect(window->Text2, &QLineEdit::textChanged, this, [] { Mark("resolved"); });
            connect(window->W1->engine(), &velmora::MpvEngine::statusChanged, this,
                    [](velmora::PlayStatus status) {
                        if (status == velmora::PlayStatus::Loaded)
                            Mark("loaded");
                    });
        }
        if (!m_seen && event->type() == QEvent::Expose && watched->isWindowType() &&
            static_cast<QWindow *>(watched)->isExposed()) {
            m_seen = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_marks)
                        return Mark("shown");
                    std::fputs("shown\n", stdout);
                    std::fflush(stdout);
                    QCoreApplication::quit();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool m_marks;
    bool m_seen = false;
    bool m_following = false;
};

} // namespace

int main(int argc, char *argv[])
{
    const bool marks = argc > 1 && std::strcmp(argv[1], "--marks") == 0;
    if (marks) {
        Mark("main");
        --argc, ++argv; // the rest as the program takes it
        argv[0] = argv[-1];
    }
#ifdef VELMORA_GLIBC_HEAP
    velmora::keepPlaybackMemory(); // as the program does
#endif
#ifdef VELMORA_EARLY_FONTS
    velmora::loadFontConfigurationEarly();
#endif
    QApplication app(argc, argv);
    Watch watch(marks, &app);
    app.installEventFilter(&watch);
    return velmora::runWindow(app);
}
