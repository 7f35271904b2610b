#include "DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

// Only a bus that is known to be there: without one, asking for it could start a bus of its own.
bool SessionBusNamed() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

void Notify(QDBusConnection bus, const QString& summary, const QString& body) {
    QDBusMessage notify = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/org/freedesktop/Notifications"), kService, QStringLiteral("Notify"));
    // An alarm is critical: the notice stays until the operator dismisses it.
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(uchar(2))},
                            {QStringLiteral("desktop-entry"), QStringLiteral("z7panel")}};
    notify << QStringLiteral("Z7 Panel") << uint(0) << QStringLiteral("z7panel") << summary << body
           << QStringList() << hints << int(-1);
    bus.asyncCall(notify);
}

} // namespace

void ShowDesktopNotice(const QString& summary, const QString& body) {
    if (!SessionBusNamed())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask << kService;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [bus, summary, body](QDBusPendingCallWatcher* w) {
                         const QDBusPendingReply<bool> owned = *w;
                         if (owned.isValid() && owned.value())
                             Notify(bus, summary, body);
                         w->deleteLater();
                     });
}
