// The restore window, its confirmation and the restore run, driven offscreen
// like an operator, restoring a real .fbk file (made with gbak from the
// sample company) through the embedded engine and through a private Firebird
// server on 127.0.0.7.

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "backup/BackupLog.h"
#include "logview/FLogForm.h"
#include "logview/HistoryChoice.h"
#include "plan/DirDlg.h"
#include "plan/Help.h"
#include "platform/Paths.h"
#include "restore/FInformaRestore.h"
#include "restore/RestoreLook.h"
#include "tests/logview/ModalKit.h"
#include "tests/restore/RestoreTestKit.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FirebirdTestServer.h"

using platform::MsgIcon;
using namespace Qt::StringLiterals;

namespace {

const QString kFinished = u"¡ PROCESO TERMINADO !"_s;

// Message boxes that also note the window's four fields at that moment.
class WatchingDialogs : public FakeDialogs {
public:
    const TRestoreForm* form = nullptr;
    QStringList fieldsWhenShown;

    platform::MsgResult Message(MsgIcon icon, const QString& title, const QString& text,
                                platform::MsgButtons buttons) override {
        if (form != nullptr) fieldsWhenShown << Fields(*form).join(u'|');
        return FakeDialogs::Message(icon, title, text, buttons);
    }
};

// Clicks spRestore and accepts the confirmation with Enter on its default
// button.
void RestoreConfirmed(TRestoreForm& form) {
    WhenModal<TInformaRestore> confirm([](TInformaRestore& confirmation) {
        QCOMPARE(confirmation.focusWidget(), confirmation.BitBtn2);
        QTest::keyClick(confirmation.BitBtn2, Qt::Key_Return);
    });
    QTest::mouseClick(form.spRestore, Qt::LeftButton);
    QVERIFY(confirm.answered());
}

}  // namespace

class TestRestore : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    QString company_;
    QString backupFile_;

    QString Path(const QString& relative) {
        const QString path = scratch_.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        return path;
    }

private slots:
    void initTestCase() {
        QuietOffscreenWarnings();
        platform::SetExecutableDirectory(QFileInfo(Path(u"programa/x"_s)).absolutePath());
        QVERIFY(MakeBackupLog(BackupLogName()));
        company_ = Path(u"srv/EMP01/Quillbase.orv"_s);
        QVERIFY(MakeCompanyDatabase(company_));
        backupFile_ = Path(u"copias/[]Local_EMP01_010426_2130.fbk"_s);
        QVERIFY(MakeBackupFile(company_, backupFile_));
    }

    void statusLineHelpAndExit() {
        TData data(u"x"_s);
        TRestoreForm form(data);
        ShowActive(form);
        QCOMPARE(form.focusWidget(), form.Edit3);
        QVERIFY(!form.spBuscar->isEnabled() && !form.spRestaurarEn->isEnabled());
        QTest::mouseMove(form.Edit3);
        QCOMPARE(form.st1->text(),
                 u"Dirección IP del ordenador donde se encuentra la copia de seguridad"_s);
        QTest::mouseMove(form.Edit1);
        QCOMPARE(form.st1->text(),
                 u"Escriba el fichero (*.fbk) desde el que se restaurarán los datos"_s);
        QTest::mouseMove(form.Edit2);
        QCOMPARE(form.st1->text(), u"Escriba la ruta y nombre del fichero que desea crear"_s);
        QTest::mouseMove(form.Edit4);  // leaving Edit2 empties it; Edit4 has no text
        QVERIFY(form.st1->text().isEmpty());

        QList<int> contexts;
        SetHelpOpener([&](const QString&, int context) { contexts << context; });
        QTest::mouseClick(form.spAyuda, Qt::LeftButton);
        QTest::keyClick(form.Edit3, Qt::Key_F1);
        SetHelpOpener({});
        QCOMPARE(contexts, (QList<int>{2, 2}));

        // No close box: only spSalir closes, with OK.
        QTest::keyClick(form.Edit3, Qt::Key_Escape);
        form.close();
        QVERIFY(form.isVisible());
        QTest::mouseClick(form.spSalir, Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }

    void browseButtonsAndChoosers() {
        TData data(u"x"_s);
        TRestoreForm form(data);
        ShowActive(form);
        // Evaluated when the window becomes active, in any letter case.
        Type(form.Edit3, u"local"_s);
        QVERIFY(!form.spBuscar->isEnabled());
        Type(form.Edit1, QString());  // leaving the server field copies it
        QCOMPARE(form.Edit4->text(), u"local"_s);
        Reactivate(form);
        QVERIFY(form.spBuscar->isEnabled() && form.spRestaurarEn->isEnabled());
        Type(form.Edit3, u"10.0.0.5"_s);
        Reactivate(form);
        QVERIFY(!form.spBuscar->isEnabled() && !form.spRestaurarEn->isEnabled());
        Type(form.Edit3, u"LOCAL"_s);
        Reactivate(form);

        TOpenDialog asked;
        std::optional<QString> file = u"/copias/EMP01.fbk"_s;
        SetFileChooser([&](QWidget*, const TOpenDialog& dialog) {
            asked = dialog;
            return file;
        });
        Type(form.Edit1, u"/copias"_s);
        QTest::mouseClick(form.spBuscar, Qt::LeftButton);
        QCOMPARE((QStringList{asked.InitialDir, asked.Filter, asked.DefaultExt}),
                 (QStringList{u"/copias"_s, u"*.fbk|*.fbk"_s, u"fbk"_s}));
        QCOMPARE(form.Edit1->text(), u"/copias/EMP01.fbk"_s);
        file.reset();  // Cancel
        QTest::mouseClick(form.spBuscar, Qt::LeftButton);
        QCOMPARE(form.Edit1->text(), u"/copias/EMP01.fbk"_s);
        SetFileChooser({});

        // The folder chooser starts at the target's folder and adds the
        // company database's name with the folder's own separator.
        QStringList asks;
        std::optional<QString> folder;
        SetFolderBrowser(
            [&](QWidget*, const QString& title, const QString& initial, const QString& status) {
                asks << title + u'|' + initial + u'|' + status;
                return folder;
            });
        const auto browse = [&](const QString& target, const std::optional<QString>& chosen) {
            folder = chosen;
            Type(form.Edit2, target);
            QTest::mouseClick(form.spRestaurarEn, Qt::LeftButton);
            return form.Edit2->text();
        };
        QCOMPARE(browse(u"C:\\Datos\\EMP01\\Quillbase.orv"_s, u"C:\\Datos\\EMP02"_s),
                 u"C:\\Datos\\EMP02\\Quillbase.orv"_s);
        QCOMPARE(browse(u"/srv/q/EMP01/Quillbase.orv"_s, u"/srv/q/EMP09"_s),
                 u"/srv/q/EMP09/Quillbase.orv"_s);
        QCOMPARE(browse(u"Quillbase.orv"_s, std::nullopt), u"Quillbase.orv"_s);
        QCOMPARE(asks, (QStringList{u"Carpeta |C:\\Datos\\EMP01\\|"_s, u"Carpeta |/srv/q/EMP01/|"_s,
                                    u"Carpeta ||"_s}));
        SetFolderBrowser({});
    }

    // The fields follow HistoryChoice after every visit of the log.
    void choiceFromLog() {
        FakeDialogs dialogs;
        TData data(u"x"_s);
        WriteBackupLog(data, u"01/04/2026"_s, u"21:30"_s, u"[]Local"_s, company_, backupFile_,
                       u"T"_s, {});
        WriteBackupLog(data, u"31/03/2026"_s, u"21:30"_s, u"[127.0.0.2]Central"_s,
                       u"/srv/EMP02/Quillbase.orv"_s, u"/copias/b.fbk"_s, u"F"_s, {});
        TRestoreForm form(data);
        ShowActive(form);
        const auto visitLog = [&](int row) {
            WhenModal<TLogForm> log([&](TLogForm& browser) {
                QCOMPARE(browser.Mode, 1);
                if (row < 0) {
                    browser.close();
                    return;
                }
                const QPoint at =
                    browser.listviewlog->visualRect(browser.Rows->index(row, 1)).center();
                QTest::mouseClick(browser.listviewlog->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(browser.listviewlog->viewport(), Qt::LeftButton, {}, at);
            });
            QTest::mouseClick(form.spLeerLog, Qt::LeftButton);
            QVERIFY(log.answered());
        };
        visitLog(0);
        const QStringList chosen = {u"LOCAL"_s, backupFile_, u"LOCAL"_s, company_};
        QCOMPARE(Fields(form), chosen);
        QVERIFY(form.spBuscar->isEnabled() && form.spRestaurarEn->isEnabled());
        Type(form.Edit1, u"/otra/copia.fbk"_s);
        visitLog(-1);  // closed without a choice: the earlier one comes back
        QCOMPARE(Fields(form), chosen);
        visitLog(1);  // a failed copy empties every field
        QCOMPARE(dialogs.texts(), QStringList{u"Esta copia de seguridad no es válida"_s});
        QCOMPARE(Fields(form), QStringList(4, QString()));
        QVERIFY(!form.spBuscar->isEnabled());
    }

    // A run that ends before it begins (a missing field, Cancel) leaves the
    // fields as they are and the browse buttons following the server field
    // typed meanwhile, as the window's next activation would have it.
    void missingInputAndCancel() {
        FakeDialogs dialogs;
        TData data(u"x"_s);
        TRestoreForm form(data);
        ShowActive(form);
        Type(form.Edit3, u"local"_s);
        QVERIFY(!form.spBuscar->isEnabled());
        {
            WhenModal<TInformaRestore> unexpected(
                [](TInformaRestore& confirmation) { confirmation.reject(); });
            QTest::mouseClick(form.spRestore, Qt::LeftButton);
            QVERIFY(form.spBuscar->isEnabled() && form.spRestaurarEn->isEnabled());
            Type(form.Edit1, u"/copias/a.fbk"_s);
            QTest::mouseClick(form.spRestore, Qt::LeftButton);
            QVERIFY(!unexpected.answered());
        }
        QCOMPARE(dialogs.texts(), (QStringList{u"No se ha especificado archivo fbk de copia"_s,
                                               u"No se ha especificado destino"_s}));
        dialogs.messages.clear();

        // Cancel: no service call (a call to 127.0.0.8, where nothing
        // listens, would be reported); the fields as before, the browse
        // buttons off for that server and the others untouched.
        Fill(form, u"127.0.0.8"_s, u"C:\\Copias\\EMP01.fbk"_s,
             u"C:\\Datos\\EMP01\\Quillbase.orv"_s);
        const QStringList before = Fields(form);
        ButtonRecorder buttons(form);
        WhenModal<TInformaRestore> cancel([&](TInformaRestore& confirmation) {
            const QStringList shown = {confirmation.Edit3->text(),   confirmation.Edit1->text(),
                                       confirmation.Edit4->text(),   confirmation.Edit2->text(),
                                       confirmation.Label10->text(), confirmation.Label12->text()};
            QCOMPARE(shown, before + QStringList({before[3], before[0]}));
            QTest::keyClick(confirmation.BitBtn2, Qt::Key_Escape);
        });
        QTest::mouseClick(form.spRestore, Qt::LeftButton);
        QVERIFY(cancel.answered());
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(Fields(form), before);
        QCOMPARE(buttons.changes, (QStringList{u"spBuscar off"_s, u"spRestaurarEn off"_s}));
    }

    // Enter presses the focused button; the accept button has the focus
    // when the window opens.
    void confirmationTakesEnterOnItsFocusedButton() {
        for (const bool onCancel : {true, false}) {
            TInformaRestore confirmation;
            confirmation.Fill(u"LOCAL"_s, backupFile_, company_);
            QWidget* opened = nullptr;
            WhenModal<TInformaRestore> answer([&](TInformaRestore& window) {
                opened = window.focusWidget();
                QPushButton* button = onCancel ? window.BitBtn1 : window.BitBtn2;
                button->setFocus();
                QTest::keyClick(button, Qt::Key_Return);
            });
            const int result = confirmation.exec();
            QVERIFY(answer.answered());
            QCOMPARE(opened, confirmation.BitBtn2);
            QCOMPARE(result, onCancel ? int(QDialog::Rejected) : int(QDialog::Accepted));
        }
    }

    // "LOCAL": the embedded engine restores the file into a new database with
    // the fixed settings; the output is shown rewritten; the window is reset.
    void localRestore() {
        FakeDialogs dialogs;
        TData data(u"x"_s);
        TRestoreForm form(data);
        ShowActive(form);
        const QString target = Path(u"restaurada/EMP01/Quillbase.orv"_s);
        Fill(form, u"LOCAL"_s, backupFile_, target);
        Reactivate(form);  // all six buttons enabled
        const QStringList logBefore =
            SqlQuery(BackupLogName(), u"select count(*) from backuplog"_s);
        ProgressWatcher progress;
        ButtonRecorder buttons(form);
        RestoreConfirmed(form);

        QCOMPARE(dialogs.texts(), QStringList{kFinished});
        QCOMPARE(dialogs.messages.at(0).icon, MsgIcon::Information);
        QCOMPARE(progress.titles, QStringList{u"Restaurando en "_s + target});
        const QStringList lines = progress.Lines();
        QVERIFY2(lines.first().startsWith(u"Copiando : opened file "_s + backupFile_),
                 qPrintable(progress.text));
        QVERIFY(lines.filter(u"gbak:"_s).isEmpty());
        QCOMPARE(lines.mid(lines.size() - 2), (QStringList{QString(), kFinished}));
        QVERIFY(form.findChildren<TProgreso*>().isEmpty());
        QCOMPARE(buttons.changes, SixButtons(u"off"_s) + SixButtons(u"on"_s));
        QCOMPARE(Fields(form), QStringList(4, QString()));
        QCOMPARE(form.focusWidget(), form.Edit3);
        QCOMPARE(QApplication::overrideCursor(), nullptr);

        QCOMPARE(CompanyRows(target), CompanyRows(company_));
        QCOMPARE(SqlQuery(target, u"select mon$page_size, mon$page_buffers from mon$database"_s),
                 QStringList{u"4096|3000"_s});
        QCOMPARE(SqlQuery(BackupLogName(), u"select count(*) from backuplog"_s), logBefore);
    }

    // The restore sets the six buttons itself: activations while it runs,
    // and the one coming back from its own windows, leave them so.
    void activationsOfTheRestoreLeaveItsButtons() {
        TData data(u"x"_s);
        TRestoreForm form(data);
        ShowActive(form);
        const QString target = Path(u"activada/EMP01/Quillbase.orv"_s);
        Fill(form, u"LOCAL"_s, backupFile_, target);
        Reactivate(form);
        QVERIFY(form.spBuscar->isEnabled() && form.spRestaurarEn->isEnabled());

        // During the run the window becomes active again, as a desktop that
        // re-activates the owner does.
        QStringList during;
        QTimer poll;
        poll.setInterval(0);
        poll.callOnTimeout([&] {
            if (!during.isEmpty() || form.findChildren<TProgreso*>().isEmpty()) return;
            Reactivate(form);
            for (QToolButton* button : {form.spRestore, form.spSalir, form.spAyuda, form.spLeerLog,
                                        form.spBuscar, form.spRestaurarEn})
                during << button->objectName() + (button->isEnabled() ? u" on"_s : u" off"_s);
        });
        poll.start();
        // The completion box is a real one, closed with its button.
        QString finished;
        WhenModal<QMessageBox> box([&](QMessageBox& message) {
            finished = message.text();
            message.buttons().first()->click();
        });
        RestoreConfirmed(form);
        poll.stop();
        QCOMPARE(during, SixButtons(u"off"_s));
        QCOMPARE(finished, kFinished);
        // Back from the box the window is active again: all six stay on.
        ShowActive(form);
        QTRY_VERIFY(form.isActiveWindow());
        for (QToolButton* button : {form.spRestore, form.spSalir, form.spAyuda, form.spLeerLog,
                                    form.spBuscar, form.spRestaurarEn})
            QVERIFY2(button->isEnabled(), qPrintable(button->objectName()));
        QCOMPARE(Fields(form), QStringList(4, QString()));

        // Later activations follow the server field again.
        Reactivate(form);
        QVERIFY(!form.spBuscar->isEnabled() && !form.spRestaurarEn->isEnabled());
        QVERIFY(form.spRestore->isEnabled());
        QCOMPARE(CompanyRows(target), CompanyRows(company_));
    }

    // Every failure of a started run resets the window before its error is
    // shown; a failing output shows the completion box first.
    void failuresOfTheRun() {
        WatchingDialogs dialogs;
        TData data(u"x"_s);
        TRestoreForm form(data);
        ShowActive(form);
        dialogs.form = &form;
        const QString target = Path(u"fallida/EMP01/Quillbase.orv"_s);
        ProgressWatcher progress;

        // The start fails: a pasted name too long for the request (a field
        // holds 32767 characters, here 90000 bytes in UTF-8). The empty
        // server field means this computer.
        Fill(form, QString(), QString(), target);
        form.Edit1->setText(u"/"_s + QString(30000, u'€'));
        RestoreConfirmed(form);
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages.at(0).icon, MsgIcon::Error);
        QCOMPARE(dialogs.messages.at(0).title, platform::kAppTitle);
        QVERIFY2(dialogs.messages.at(0).text.startsWith(
                     u"El nombre de fichero es demasiado largo para la petición al servicio ("_s),
                 qPrintable(dialogs.messages.at(0).text));
        QCOMPARE(dialogs.fieldsWhenShown, QStringList{u"|||"_s});
        QVERIFY(progress.titles.isEmpty());

        // The output fails part-way: a backup file damaged in its data.
        dialogs.messages.clear();
        dialogs.fieldsWhenShown.clear();
        const QString damaged = Path(u"copias/rota.fbk"_s);
        QVERIFY(QFile::copy(backupFile_, damaged));
        QFile file(damaged);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(file.size() * 6 / 10));
        file.write(QByteArray(2048, '\xff'));
        file.close();
        Fill(form, QString(), damaged, target);
        RestoreConfirmed(form);
        QCOMPARE(dialogs.messages.size(), 2);
        QCOMPARE(dialogs.messages.at(0).text, kFinished);
        QCOMPARE(dialogs.messages.at(1).icon, MsgIcon::Error);
        QCOMPARE(dialogs.fieldsWhenShown,
                 (QStringList{u"|"_s + damaged + u"||"_s + target, u"|||"_s}));
        QVERIFY(progress.Lines().filter(u"Copiando : "_s).size() > 3);
        QVERIFY(!progress.Lines().contains(kFinished));

        // "local" in lower case is a host name, not this computer.
        dialogs.messages.clear();
        progress.titles.clear();
        QFile::remove(target);
        Fill(form, u"local"_s, backupFile_, target);
        RestoreConfirmed(form);
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY2(dialogs.messages.at(0).text.contains(u"\"local\""_s),
                 qPrintable(dialogs.messages.at(0).text));
        QVERIFY(dialogs.messages.at(0).text.endsWith(u"\n\rStatus 0"_s));
        QVERIFY(progress.titles.isEmpty());
        QVERIFY(!QFile::exists(target));
        QCOMPARE(Fields(form), QStringList(4, QString()));
    }

    // Through a server, with the paths as the server sees them; refused
    // passwords name the target.
    void remoteRestoreAndRefusedPasswords() {
        FirebirdTestServer server;
        const QString password = u"Restaura-7"_s;
        QVERIFY2(server.start(u"127.0.0.7"_s, password), qPrintable(server.lastError()));
        FakeDialogs dialogs;
        const QString target = Path(u"remota/EMP01/Quillbase.orv"_s);
        {
            TData data(password);
            TRestoreForm form(data);
            ShowActive(form);
            Fill(form, server.address(), backupFile_, target);
            RestoreConfirmed(form);
            QCOMPARE(dialogs.texts(), QStringList{kFinished});
            QCOMPARE(CompanyRows(server.databaseName(target), password), CompanyRows(company_));
        }
        dialogs.messages.clear();
        TData refused(u"otra-clave"_s);
        TRestoreForm form(refused);
        ShowActive(form);
        const QString second = Path(u"remota/EMP02/Quillbase.orv"_s);
        Fill(form, server.address(), backupFile_, second);
        ProgressWatcher progress;
        RestoreConfirmed(form);
        QCOMPARE(dialogs.texts(),
                 QStringList{u"Acceso denegado a\n\r"_s + second +
                             u"\n\rSu nombre de usuario y contraseña no son válidos"_s});
        QVERIFY(progress.titles.isEmpty());
        QVERIFY(!QFile::exists(second));
        QCOMPARE(Fields(form), QStringList(4, QString()));
        QVERIFY(form.spRestore->isEnabled());
    }
};

QTEST_MAIN(TestRestore)
#include "tst_restore.moc"
