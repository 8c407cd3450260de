#pragma once
// The program's message boxes behind one small interface, so that tests can
// answer them in advance and read what they said.

#include <QString>

class QWidget;

namespace platform {

inline const QString kAppTitle = QStringLiteral("Quillbase Backup");

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgResult { Ok, Cancel, Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A modal message box. Buttons carry the Spanish captions "Aceptar",
    // "Cancelar", "Si" and "No"; Esc answers Cancel or No.
    virtual MsgResult Message(MsgIcon icon, const QString& title, const QString& text,
                              MsgButtons buttons) = 0;
};

// The dialogs in force: the real message boxes unless a test set others.
Dialogs& CurrentDialogs();
// Replaces the dialogs in force (nullptr brings back the real ones).
void SetDialogs(Dialogs* dialogs);

// The standard boxes of the program.
void ShowPlainMessage(const QString& text);  // title "Quillbase Backup", no icon
void ShowInformation(const QString& text);   // "Información", information icon
void ShowWarning(const QString& text);       // "Atención", warning icon
void ShowErrorBox(const QString& text, const QString& title = QStringLiteral("Error"));
bool AskYesNo(const QString& text, const QString& title = QStringLiteral("Confirmar"));
bool AskOkCancel(const QString& text, const QString& title = QStringLiteral("Confirmar"));

// For a window without a caption, called as it is shown: the window system
// puts the application's name into a title bar given none, so it gets a
// blank one, which reads empty. The window's own title stays empty.
void KeepCaptionEmpty(QWidget& window);

}  // namespace platform
