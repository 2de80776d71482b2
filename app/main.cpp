#include "application.h"
#include "form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    velmora::DescribeApplication();
    velmora::Form1 window(velmora::BuiltInResolveOptions());
    window.show();
    return app.exec();
}
