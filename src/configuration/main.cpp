// Configuration: records the player profile that the game needs before it starts.

#include "frmconfig.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Configuration"));
    // config.dat goes beside the program, where the game looks for it.
    configuration::frmconfig form(QCoreApplication::applicationDirPath());
    form.greet();
    form.show();
    form.activateWindow();
    return QApplication::exec();
}
