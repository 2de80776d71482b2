#include "application.h"
#include "form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    velmora::describeApplication();
    velmora::installTranslations(app);
    velmora::Form1 window(velmora::defaultResolveOptions());
    window.show();
    return app.exec();
}
