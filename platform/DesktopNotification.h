#pragma once
// Notifications on the desktop through its notification service
// (org.freedesktop.Notifications on the session bus), which GNOME, KDE
// Plasma, XFCE and the notification daemons of other desktops provide, with
// or without a notification area. Every call returns at once: the answer of
// the service is awaited by the event loop, never by the caller. Without a
// session bus or a notification service nothing is shown and nothing fails.

#include <QObject>
#include <QSet>
#include <QString>

namespace platform {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent = nullptr);

    // Shows `text` under the title `title`, until the operator dismisses it;
    // activating it emits Activated.
    void Notify(const QString& title, const QString& text);

signals:
    // The operator activated one of the notifications sent here.
    void Activated();

private slots:
    void ActionInvoked(uint id, const QString& action);
    void NotificationClosed(uint id, uint reason);

private:
    void Listen();

    bool listening_ = false;
    QSet<uint> shown_;
};

}  // namespace platform
