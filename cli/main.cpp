// velmora-resolve: play-page addresses in, direct audio addresses out.
#include "command.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return velmora::cli::runResolveCommand(app);
}
