#pragma once
// A notice on the desktop through the freedesktop notification service on the session bus, where one
// runs. Nothing waits: whether the service is there is asked and the notice sent without blocking, and
// without a session bus or the service nothing happens.

#include <QString>

void ShowDesktopNotice(const QString& summary, const QString& body);
