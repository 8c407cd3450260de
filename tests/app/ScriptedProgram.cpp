// The whole program, for the tests that start it as a process, with its
// boxes answered from the inside: each box and the close warning become one
// line appended to the file named by QB_DIALOG_LOG,
//     <title>|<text>
// (line feeds and carriage returns written as \n and \r), and are answered
// at once: OK, or Yes for a question; the close warning with "Salir del
// programa sin que se ejecuten las copias", so that a scripted close ends
// the program. The shipped program has none of this.

#include <QFile>
#include <QLabel>
#include <QStringList>

#include "app/FAvisoCerrarPrograma.h"
#include "app/ProgramMain.h"
#include "platform/Dialogs.h"

namespace {

void LogLine(const QString& title, QString text) {
    text.replace(u'\n', QStringLiteral("\\n"));
    text.replace(u'\r', QStringLiteral("\\r"));
    QFile log(qEnvironmentVariable("QB_DIALOG_LOG"));
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        log.write((title + u'|' + text + u'\n').toUtf8());
}

class LoggedDialogs final : public platform::Dialogs {
public:
    platform::MsgResult Message(platform::MsgIcon, const QString& title, const QString& text,
                                platform::MsgButtons buttons) override {
        LogLine(title, text);
        return buttons == platform::MsgButtons::YesNo ? platform::MsgResult::Yes
                                                      : platform::MsgResult::Ok;
    }
};

int LogCloseWarning(TAvisoCerrarPrograma& aviso) {
    LogLine(aviso.windowTitle(),
            QStringList{aviso.Label5->text(), aviso.Label1->text(), aviso.Label2->text(),
                        aviso.Label4->text() + u' ' + aviso.Label3->text()}
                .join(u'\n'));
    return QDialog::Rejected;
}

}  // namespace

int main(int argc, char* argv[]) {
    static LoggedDialogs dialogs;
    platform::SetDialogs(&dialogs);
    TAvisoCerrarPrograma::AnswererInForce() = LogCloseWarning;
    return ProgramMain(argc, argv);
}
