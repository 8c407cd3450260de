#pragma once
// While a scheduled backup runs, the windows stay alive through the run's
// own processing of window messages; an operator's click handled there
// would open a modal window inside the run, and the run would wait behind
// it until that window closed. So for the length of the run, the operator's
// clicks, keys and closes that reach the windows open when it began are
// held back, and a notice (not modal: it never holds the run either) says
// why. Windows that the run opens itself (its error window, a box about the
// log) and the notification area's menu answer as always.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QMessageBox;
class QWidget;

class ScheduledRunGuard : public QObject {
public:
    static inline const QString kNotice = QStringLiteral(
        "Se está realizando una copia de seguridad programada. Espere a que termine.");

    ScheduledRunGuard();
    ~ScheduledRunGuard() override;
    ScheduledRunGuard(const ScheduledRunGuard&) = delete;
    ScheduledRunGuard& operator=(const ScheduledRunGuard&) = delete;

    // A scheduled run is in progress.
    static bool Active();
    // Shows the notice, if a scheduled run is in progress; true then. For an
    // operator's action that does not come through a window (the desktop's
    // notification).
    static bool Refuse();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Held(const QObject* watched) const;
    void ShowNotice();

    QList<QPointer<QWidget>> windows_;
    QPointer<QMessageBox> notice_;
};
