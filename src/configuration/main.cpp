// Configuration: records the player profile that the game needs before it starts.

#include "frmconfig.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

#include "platform/data_folder.h"
#include "platform/qt/screen_reader_ready.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Configuration"));
    // config.dat goes to the player's data folder, where the game looks for it; the folder is
    // made ready exactly as the game does, whichever of the two starts first.
    const std::filesystem::path data = zorvan::defaultDataFolder();
    try {
        zorvan::prepareDataFolder(QCoreApplication::applicationDirPath().toStdString(), data);
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("Configuration"), QString::fromStdString(e.what()));
        return 1;
    }
    configuration::frmconfig form(QString::fromStdString(data.string()));
    zorvan::awaitScreenReader();
    form.greet();
    form.show();
    form.activateWindow();
    return QApplication::exec();
}
