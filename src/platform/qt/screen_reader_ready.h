#pragma once
// For the Qt programs that open a window as they start (the game's message boxes, the welcome
// box of Configuration). Qt connects to the accessibility bus in the background once the
// program runs; a window shown before that is never announced, and a screen reader user hears
// nothing at all. Header only: each program links Qt's D-Bus module itself.

#include <QAccessible>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <QVariant>

namespace zorvan {

// True when the desktop says that a screen reader, or another assistive tool, listens.
inline bool screenReaderListening() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    for (const char* property : {"ScreenReaderEnabled", "IsEnabled"}) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                                           QStringLiteral("org.freedesktop.DBus.Properties"),
                                                           QStringLiteral("Get"));
        call.setArguments({QStringLiteral("org.a11y.Status"), QString::fromLatin1(property)});
        const QDBusReply<QDBusVariant> reply = bus.call(call, QDBus::Block, 2000);
        if (reply.isValid() && reply.value().variant().toBool()) return true;
    }
    return false;
}

// When one listens, waits until Qt is connected to it (`maxMs` at most); else returns at once.
inline void awaitScreenReader(int maxMs = 3000) {
    if (!screenReaderListening()) return;
    QElapsedTimer clock;
    clock.start();
    while (!QAccessible::isActive() && clock.elapsed() < maxMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

}  // namespace zorvan
