// zorvan-message: the game's message boxes, shown with Qt so that a screen reader reads them.
//
//   zorvan-message [--icon critical|warning|information|none] [--question] TITLE TEXT
//
// Exit status: 0 when OK (or Yes) closed the box, 1 when No (or Escape) answered a question,
// 2 when the box could not be shown; the game then falls back to SDL's own box.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <cstdio>

#include "platform/qt/screen_reader_ready.h"

namespace {

int usage() {
    std::fputs("usage: zorvan-message [--icon critical|warning|information|none] [--question] TITLE TEXT\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zorvan"));

    QStringList args = QApplication::arguments();
    args.removeFirst();
    QMessageBox::Icon icon = QMessageBox::Information;
    bool question = false;
    while (!args.isEmpty() && args.first().startsWith(QStringLiteral("--"))) {
        const QString option = args.takeFirst();
        if (option == QStringLiteral("--question")) {
            question = true;
        } else if (option == QStringLiteral("--icon") && !args.isEmpty()) {
            const QString name = args.takeFirst();
            if (name == QStringLiteral("critical")) icon = QMessageBox::Critical;
            else if (name == QStringLiteral("warning")) icon = QMessageBox::Warning;
            else if (name == QStringLiteral("information")) icon = QMessageBox::Information;
            else if (name == QStringLiteral("none")) icon = QMessageBox::NoIcon;
            else return usage();
        } else {
            return usage();
        }
    }
    if (args.size() != 2) return usage();
    const QString& title = args[0];
    const QString& text = args[1];

    QMessageBox box(question ? QMessageBox::Question : icon, title, text);
    // The text is the box's label, which a screen reader reads with the box: as its
    // description too, it would be read twice.
    box.setAccessibleName(title);
    QPushButton* focused = nullptr;
    QPushButton* no = nullptr;
    if (question) {
        focused = box.addButton(QMessageBox::Yes);
        no = box.addButton(QMessageBox::No);
        box.setEscapeButton(no);
    } else {
        focused = box.addButton(QMessageBox::Ok);
        box.setEscapeButton(focused);
    }
    box.setDefaultButton(focused);
    // Above the game's window, and with the keyboard even where no window manager gives it.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    QTimer::singleShot(0, &box, [&box, focused] {
        box.raise();
        box.activateWindow();
        focused->setFocus(Qt::ActiveWindowFocusReason);
    });
    zorvan::awaitScreenReader();
    box.exec();
    return box.clickedButton() == no && no ? 1 : 0;
}
