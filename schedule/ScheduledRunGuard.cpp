#include "schedule/ScheduledRunGuard.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>
#include <QWindow>

namespace {

ScheduledRunGuard* g_guard = nullptr;

}  // namespace

ScheduledRunGuard::ScheduledRunGuard() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (qobject_cast<QMenu*>(window) == nullptr) windows_.append(window);
    g_guard = this;
    qApp->installEventFilter(this);
}

ScheduledRunGuard::~ScheduledRunGuard() {
    qApp->removeEventFilter(this);
    if (g_guard == this) g_guard = nullptr;
    delete notice_.data();
}

bool ScheduledRunGuard::Active() { return g_guard != nullptr; }

bool ScheduledRunGuard::Refuse() {
    if (g_guard == nullptr) return false;
    g_guard->ShowNotice();
    return true;
}

bool ScheduledRunGuard::Held(const QObject* watched) const {
    if (!watched->isWidgetType()) return false;
    const QWidget* window = static_cast<const QWidget*>(watched)->window();
    for (const QPointer<QWidget>& held : windows_)
        if (held == window) return true;
    return false;
}

bool ScheduledRunGuard::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::ContextMenu:
        case QEvent::Drop:
            if (!Held(watched)) return false;
            ShowNotice();
            return true;
        case QEvent::MouseButtonRelease:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::DragEnter:
        case QEvent::DragMove:
            return Held(watched);
        case QEvent::Close:
            // Only the window system's close (its button, Alt+F4): the
            // program may still close its windows itself.
            if (!event->spontaneous() || !Held(watched)) return false;
            event->ignore();
            ShowNotice();
            return true;
        default:
            return false;
    }
}

void ScheduledRunGuard::ShowNotice() {
    if (!notice_) {
        notice_ = new QMessageBox(QMessageBox::Information, QStringLiteral("Información"), kNotice);
        notice_->setObjectName(QStringLiteral("AvisoCopiaProgramada"));
        notice_->addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole);
        notice_->setWindowModality(Qt::NonModal);
        notice_->setAttribute(Qt::WA_DeleteOnClose);
    }
    notice_->show();
    notice_->raise();
    notice_->activateWindow();
    // The run lets window messages through only between its companies: the
    // notice is painted now, once the window system has shown it, and not
    // minutes later.
    QElapsedTimer waited;
    waited.start();
    while (!notice_->windowHandle()->isExposed() && waited.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    notice_->repaint();
}
