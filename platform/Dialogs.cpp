#include "platform/Dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>
#include <QWindow>

namespace platform {
namespace {

// The answer of a box closed without choosing a button, as by Esc.
MsgResult EscapeAnswer(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::OkCancel:
            return MsgResult::Cancel;
        case MsgButtons::YesNo:
            return MsgResult::No;
        case MsgButtons::Ok:
            break;
    }
    return MsgResult::Ok;
}

QMessageBox::Icon BoxIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Warning:
            return QMessageBox::Warning;
        case MsgIcon::Error:
            return QMessageBox::Critical;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

class MessageBoxes final : public Dialogs {
public:
    MsgResult Message(MsgIcon icon, const QString& title, const QString& text,
                      MsgButtons buttons) override {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
            // Without a widget application no box can be shown.
            qWarning("Message box without an application: %s", qUtf8Printable(text));
            return EscapeAnswer(buttons);
        }

        QMessageBox box(BoxIcon(icon), title, text, QMessageBox::NoButton,
                        QApplication::activeWindow());
        QPushButton* first = nullptr;
        QPushButton* second = nullptr;
        switch (buttons) {
            case MsgButtons::Ok:
                first = box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole);
                break;
            case MsgButtons::OkCancel:
                first = box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole);
                second = box.addButton(QStringLiteral("Cancelar"), QMessageBox::RejectRole);
                break;
            case MsgButtons::YesNo:
                first = box.addButton(QStringLiteral("Si"), QMessageBox::YesRole);
                second = box.addButton(QStringLiteral("No"), QMessageBox::NoRole);
                break;
        }
        box.setDefaultButton(first);
        box.setEscapeButton(second != nullptr ? second : first);
        box.exec();

        if (box.clickedButton() == first) {
            return buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
        }
        return EscapeAnswer(buttons);
    }
};

Dialogs* g_dialogs = nullptr;

}  // namespace

Dialogs& CurrentDialogs() {
    static MessageBoxes messageBoxes;
    return g_dialogs != nullptr ? *g_dialogs : messageBoxes;
}

void SetDialogs(Dialogs* dialogs) { g_dialogs = dialogs; }

void ShowPlainMessage(const QString& text) {
    CurrentDialogs().Message(MsgIcon::None, kAppTitle, text, MsgButtons::Ok);
}

void ShowInformation(const QString& text) {
    CurrentDialogs().Message(MsgIcon::Information, QStringLiteral("Información"), text,
                             MsgButtons::Ok);
}

void ShowWarning(const QString& text) {
    CurrentDialogs().Message(MsgIcon::Warning, QStringLiteral("Atención"), text, MsgButtons::Ok);
}

void ShowErrorBox(const QString& text, const QString& title) {
    CurrentDialogs().Message(MsgIcon::Error, title, text, MsgButtons::Ok);
}

bool AskYesNo(const QString& text, const QString& title) {
    return CurrentDialogs().Message(MsgIcon::Question, title, text, MsgButtons::YesNo) ==
           MsgResult::Yes;
}

bool AskOkCancel(const QString& text, const QString& title) {
    return CurrentDialogs().Message(MsgIcon::Question, title, text, MsgButtons::OkCancel) ==
           MsgResult::Ok;
}

void KeepCaptionEmpty(QWidget& window) {
    if (QWindow* handle = window.windowHandle()) handle->setTitle(QStringLiteral(" "));
}

}  // namespace platform
