// The schedule dialog driven like an operator: keys in the time field,
// clicks on the day boxes and on "Aceptar", answers to its questions; what
// it stores, what it tells the main window, and the backup window's button
// that opens it.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "ScheduleTestKit.h"
#include "plan/FBackupForm.h"
#include "platform/Dialogs.h"
#include "schedule/FProgramacion.h"
#include "tests/support/FakeDialogs.h"

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

namespace {

void StoreSchedule(const QString& dias, const QString& hora, const QString& activada) {
    platform::SettingsStore store;
    store.WriteString(kScheduleKey, QStringLiteral("dias"), dias);
    store.WriteString(kScheduleKey, QStringLiteral("hora"), hora);
    store.WriteString(kScheduleKey, QStringLiteral("Activada"), activada);
}

QByteArray StoreBytes() {
    QFile file(platform::SettingsStore::FilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList Checked(const TProgramacion& dialog) {
    QStringList names;
    for (QCheckBox* box :
         {static_cast<QCheckBox*>(dialog.chlunes), static_cast<QCheckBox*>(dialog.chMartes),
          static_cast<QCheckBox*>(dialog.chMiercoles), static_cast<QCheckBox*>(dialog.chJueves),
          static_cast<QCheckBox*>(dialog.chViernes), static_cast<QCheckBox*>(dialog.chSabado),
          static_cast<QCheckBox*>(dialog.chDomingo), dialog.chDesactivar}) {
        if (box->isChecked()) names << box->text();
    }
    return names;
}

void Click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// Types a time into the field from its first position, as the operator does
// after clicking into it.
void TypeTime(TProgramacion& dialog, const QString& digits) {
    dialog.edit1->setFocus();
    dialog.edit1->selectAll();
    QTest::keyClick(dialog.edit1, Qt::Key_Delete);
    dialog.edit1->setCursorPosition(0);
    QTest::keyClicks(dialog.edit1, digits);
}

}  // namespace

class TestProgramacion : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchInstallation> install_;
    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<FakeOwner> owner_;
    std::unique_ptr<TProgramacion> dialog_;

    TProgramacion* Open() {
        dialog_ = std::make_unique<TProgramacion>();
        dialog_->show();
        dialog_->activateWindow();
        if (!QTest::qWaitForWindowActive(dialog_.get())) return nullptr;
        return dialog_.get();
    }

private slots:
    void initTestCase() {
        QuietOffscreenPlatform();
        install_ = std::make_unique<ScratchInstallation>();
        QVERIFY(install_->dir.isValid());
    }

    void init() {
        install_->ClearSettings();
        dialogs_ = std::make_unique<FakeDialogs>();
        owner_ = std::make_unique<FakeOwner>();
        owner_->window.show();
    }

    void cleanup() {
        dialog_.reset();
        owner_.reset();
        dialogs_.reset();
    }

    void parseTime_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QTime>("time");  // invalid: rejected
        QTest::newRow("07:05") << QStringLiteral("07:05") << QTime(7, 5);
        QTest::newRow("midnight") << QStringLiteral("00:00") << QTime(0, 0);
        QTest::newRow("last minute") << QStringLiteral("23:59") << QTime(23, 59);
        QTest::newRow("blank before") << QStringLiteral(" 7:05") << QTime(7, 5);
        QTest::newRow("blanks after") << QStringLiteral("7 :5 ") << QTime(7, 5);
        QTest::newRow("24:00") << QStringLiteral("24:00") << QTime();
        QTest::newRow("12:60") << QStringLiteral("12:60") << QTime();
        QTest::newRow("no hours") << QStringLiteral("  :05") << QTime();
        QTest::newRow("no minutes") << QStringLiteral("12:  ") << QTime();
        QTest::newRow("blank field") << kBlankTime << QTime();
        QTest::newRow("blank between digits") << QStringLiteral("1 2:00") << QTime();
    }

    void parseTime() {
        QFETCH(QString, text);
        QFETCH(QTime, time);
        QTime parsed;
        QCOMPARE(ParseScheduleTime(text, &parsed), time.isValid());
        if (time.isValid()) QCOMPARE(parsed, time);
    }

    void layout() {
        TProgramacion* dialog = Open();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Programación"));
        QCOMPARE(dialog->size(), QSize(309, 408));
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
        QCOMPARE(dialog->palette().color(QPalette::Window), QColor(254, 255, 232));
        // Centred over the main window.
        QVERIFY((dialog->frameGeometry().center() - owner_->window.frameGeometry().center())
                    .manhattanLength() <= 4);

        QCOMPARE(dialog->Label1->text(), QStringLiteral("La copia se iniciará a las "));
        QCOMPARE(dialog->Label3->text(), QStringLiteral("horas"));
        QCOMPARE(dialog->Label2->text(), QStringLiteral("Días de la semana"));
        QCOMPARE(dialog->Label2->palette().color(QPalette::WindowText), QColor(128, 0, 0));
        // Time field, label and "horas" on one line.
        QVERIFY(dialog->Label1->geometry().right() < dialog->edit1->x());
        QVERIFY(dialog->edit1->geometry().right() < dialog->Label3->x());
        QVERIFY(qAbs(dialog->Label1->geometry().center().y() -
                     dialog->edit1->geometry().center().y()) <= 2);

        // Nothing stored: no day, a blank time, switched on.
        QVERIFY(Checked(*dialog).isEmpty());
        QCOMPARE(dialog->TimeText(), QStringLiteral("  :  "));
        QCOMPARE(dialog->edit1->displayText(), QStringLiteral("__:__"));
        QCOMPARE(QApplication::focusWidget(), dialog->edit1);
        QCOMPARE(dialog->chDesactivar->text(), QStringLiteral("Desactivar programación"));
        QCOMPARE(dialog->btAceptar->text(), QStringLiteral("Aceptar"));
        QCOMPARE(dialog->btAceptar->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(!dialog->btAceptar->icon().isNull());
        QCOMPARE(dialog->findChildren<QPushButton*>().size(), 1);  // no cancel button

        // The seven days in one column inside the white frame, captions left
        // of their boxes.
        const QList<TLeftTextCheckBox*> days{
            dialog->chlunes,   dialog->chMartes, dialog->chMiercoles, dialog->chJueves,
            dialog->chViernes, dialog->chSabado, dialog->chDomingo};
        const QStringList captions{QStringLiteral("Lunes"),     QStringLiteral("Martes"),
                                   QStringLiteral("Miércoles"), QStringLiteral("Jueves"),
                                   QStringLiteral("Viernes"),   QStringLiteral("Sábado"),
                                   QStringLiteral("Domingo")};
        for (int i = 0; i < days.size(); ++i) {
            QCOMPARE(days[i]->text(), captions[i]);
            QVERIFY(days[i]->font().bold());
            QVERIFY(dialog->Shape1->geometry().contains(days[i]->geometry()));
            if (i > 0) QVERIFY(days[i]->y() > days[i - 1]->y());
        }
        QVERIFY(dialog->Label2->geometry().bottom() <= dialog->Shape1->y());
        QVERIFY(dialog->btAceptar->y() > dialog->Shape1->geometry().bottom());
        QVERIFY(dialog->chDesactivar->y() > dialog->btAceptar->geometry().bottom());

        // A click on the caption checks the box.
        QTest::mouseClick(dialog->chMartes, Qt::LeftButton, {},
                          QPoint(4, dialog->chMartes->height() / 2));
        QVERIFY(dialog->chMartes->isChecked());

        // Tab order: the field, Monday to Sunday, Aceptar, the switch.
        dialog->edit1->setFocus();
        QList<QWidget*> order{QApplication::focusWidget()};
        for (int i = 0; i < 9; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget();
        }
        QCOMPARE(order, (QList<QWidget*>{dialog->edit1, dialog->chlunes, dialog->chMartes,
                                         dialog->chMiercoles, dialog->chJueves, dialog->chViernes,
                                         dialog->chSabado, dialog->chDomingo, dialog->btAceptar,
                                         dialog->chDesactivar}));

        // At most five characters: typing stops at "hh:nn".
        dialog->edit1->setFocus();
        dialog->edit1->setCursorPosition(0);
        QTest::keyClicks(dialog->edit1, QStringLiteral("1234567"));
        QCOMPARE(dialog->TimeText(), QStringLiteral("12:34"));
        QCOMPARE(dialog->edit1->displayText(), QStringLiteral("12:34"));
        QVERIFY(dialogs_->messages.isEmpty());
    }

    void saveAndReload() {
        TProgramacion* dialog = Open();
        QVERIFY(dialog);
        TypeTime(*dialog, QStringLiteral("0705"));
        QCOMPARE(dialog->TimeText(), QStringLiteral("07:05"));
        // Enter in the field moves on to Monday.
        QTest::keyClick(dialog->edit1, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), dialog->chlunes);
        QTest::keyClick(dialog->chlunes, Qt::Key_Space);
        Click(dialog->chMiercoles);
        Click(dialog->chDomingo);
        Click(dialog->btAceptar);

        QVERIFY2(dialogs_->messages.isEmpty(), qPrintable(dialogs_->texts().join(u'|')));
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QVERIFY(!dialog->isVisible());
        const TScheduleSettings stored = LoadScheduleSettings();
        QCOMPARE(stored, (TScheduleSettings{QStringLiteral("241"), QStringLiteral("07:05:00"),
                                            QStringLiteral("T")}));
        QCOMPARE(owner_->settings, stored);
        // The trigger is disarmed first; the notice arms it again.
        QCOMPARE(owner_->calls, (QStringList{QStringLiteral("stop"), QStringLiteral("notice")}));
        QVERIFY(owner_->timer1Armed);

        dialog = Open();
        QVERIFY(dialog);
        QCOMPARE(Checked(*dialog),
                 (QStringList{QStringLiteral("Lunes"), QStringLiteral("Miércoles"),
                              QStringLiteral("Domingo")}));
        QCOMPARE(dialog->TimeText(), QStringLiteral("07:05"));
    }

    void switchingOffAsksFirst() {
        StoreSchedule(QStringLiteral("241"), QStringLiteral("07:05:00"), QStringLiteral("T"));
        owner_->settings = LoadScheduleSettings();
        owner_->timer1Armed = true;
        const QByteArray before = StoreBytes();
        TProgramacion* dialog = Open();
        QVERIFY(dialog);
        QVERIFY(!dialog->chDesactivar->isChecked());
        Click(dialog->chDesactivar);

        dialogs_->answers.enqueue(MsgResult::Cancel);
        Click(dialog->btAceptar);
        QCOMPARE(dialogs_->messages.size(), 1);
        const FakeDialogs::Shown& question = dialogs_->messages.first();
        QCOMPARE(question.text, QStringLiteral("La programación de la copia será desactivada"));
        QCOMPARE(question.title, QStringLiteral("Información"));
        QCOMPARE(question.icon, MsgIcon::Information);
        QCOMPARE(question.buttons, MsgButtons::OkCancel);
        QVERIFY(dialog->isVisible());
        QCOMPARE(StoreBytes(), before);
        QVERIFY(owner_->calls.isEmpty());

        Click(dialog->btAceptar);  // Aceptar this time
        QCOMPARE(dialogs_->messages.size(), 2);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(LoadScheduleSettings(),
                 (TScheduleSettings{QStringLiteral("241"), QStringLiteral("07:05:00"),
                                    QStringLiteral("F")}));
        QCOMPARE(owner_->settings.Activada, QStringLiteral("F"));
        QVERIFY(!owner_->timer1Armed);

        // Opened again: switched off, and on again without a question.
        dialog = Open();
        QVERIFY(dialog);
        QVERIFY(dialog->chDesactivar->isChecked());
        Click(dialog->chDesactivar);
        Click(dialog->btAceptar);
        QCOMPARE(dialogs_->messages.size(), 2);
        QCOMPARE(LoadScheduleSettings().Activada, QStringLiteral("T"));
        QVERIFY(owner_->timer1Armed);
    }

    void noDayAndNoTimeRemovesTheSchedule() {
        StoreSchedule(QStringLiteral("7"), QStringLiteral("21:30:00"), QStringLiteral("F"));
        owner_->settings = LoadScheduleSettings();
        TProgramacion* dialog = Open();
        QVERIFY(dialog);
        QCOMPARE(Checked(*dialog), (QStringList{QStringLiteral("Sábado"),
                                                QStringLiteral("Desactivar programación")}));
        Click(dialog->chSabado);
        Click(dialog->chDesactivar);
        dialog->edit1->setFocus();
        dialog->edit1->selectAll();
        QTest::keyClick(dialog->edit1, Qt::Key_Backspace);
        QCOMPARE(dialog->TimeText(), kBlankTime);
        Click(dialog->btAceptar);

        QVERIFY2(dialogs_->messages.isEmpty(), qPrintable(dialogs_->texts().join(u'|')));
        QVERIFY(!dialog->isVisible());
        const TScheduleSettings empty{QString(), QString(), QStringLiteral("T")};
        QCOMPARE(LoadScheduleSettings(), empty);
        QVERIFY(platform::SettingsStore().ValueExists(kScheduleKey, QStringLiteral("hora")));
        QCOMPARE(owner_->settings, empty);
        QVERIFY(!owner_->timer1Armed);
    }

    void incompleteInputChangesNothing() {
        TProgramacion* dialog = Open();
        QVERIFY(dialog);
        TypeTime(*dialog, QStringLiteral("2130"));
        Click(dialog->btAceptar);
        QCOMPARE(dialogs_->texts(),
                 QStringList{QStringLiteral("Indique al menos un día de la semana")});
        QCOMPARE(dialogs_->messages.first().title, QStringLiteral("Información"));

        dialog->edit1->setFocus();
        dialog->edit1->selectAll();
        QTest::keyClick(dialog->edit1, Qt::Key_Delete);
        Click(dialog->chViernes);
        Click(dialog->btAceptar);
        QCOMPARE(dialogs_->texts().last(), QStringLiteral("Indique la hora de inicio de la copia"));

        QVERIFY(dialog->isVisible());
        QVERIFY(!QFile::exists(platform::SettingsStore::FilePath()));
        QVERIFY(owner_->calls.isEmpty());
    }

    // The first save, when the settings folder cannot be made, fails as a
    // write of its first value; nothing else changes and the dialog stays.
    void aStoreThatCannotBeWrittenIsReportedAsTheValuesWrite() {
        const QString folder = QFileInfo(platform::SettingsStore::FilePath()).absolutePath();
        QDir(folder).removeRecursively();
        QDir().mkpath(QFileInfo(folder).absolutePath());
        QFile blocker(folder);  // a file where the settings folder goes
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        struct Unblock {
            QString path;
            ~Unblock() { QFile::remove(path); }
        } unblock{folder};

        TProgramacion* dialog = Open();
        QVERIFY(dialog);
        TypeTime(*dialog, QStringLiteral("2130"));
        Click(dialog->chViernes);
        Click(dialog->btAceptar);
        QCOMPARE(dialogs_->texts(), QStringList{QStringLiteral("Failed to set data for 'hora'")});
        QCOMPARE(dialogs_->messages.first().icon, MsgIcon::Error);
        QVERIFY(dialog->isVisible());
        QVERIFY(owner_->calls.isEmpty());
        QCOMPARE(owner_->settings, TScheduleSettings{});
    }

    void wrongTimeIsRefusedOnLeavingTheField_data() {
        QTest::addColumn<QString>("digits");
        QTest::newRow("24:00") << QStringLiteral("2400");
        QTest::newRow("12:60") << QStringLiteral("1260");
    }

    void wrongTimeIsRefusedOnLeavingTheField() {
        QFETCH(QString, digits);
        TProgramacion* dialog = Open();
        QVERIFY(dialog);
        Click(dialog->chlunes);

        // By the keyboard.
        TypeTime(*dialog, digits);
        QTest::keyClick(dialog->edit1, Qt::Key_Tab);
        QTRY_COMPARE(dialogs_->messages.size(), 1);
        const FakeDialogs::Shown& error = dialogs_->messages.first();
        QCOMPARE(error.title, QStringLiteral("ERROR"));
        QCOMPARE(error.text, QStringLiteral("Hora errónea"));
        QCOMPARE(error.icon, MsgIcon::Error);
        QCOMPARE(error.buttons, MsgButtons::Ok);
        QCOMPARE(QApplication::focusWidget(), dialog->edit1);

        // By a click on Aceptar: the click is lost, nothing is saved.
        Click(dialog->btAceptar);
        QCOMPARE(dialogs_->texts(),
                 (QStringList{QStringLiteral("Hora errónea"), QStringLiteral("Hora errónea")}));
        QCOMPARE(QApplication::focusWidget(), dialog->edit1);
        QVERIFY(dialog->isVisible());
        QVERIFY(!QFile::exists(platform::SettingsStore::FilePath()));

        // Esc leaves without a word about the time.
        QTest::keyClick(dialog->edit1, Qt::Key_Escape);
        QCoreApplication::processEvents();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialogs_->messages.size(), 2);

        // A right time passes.
        dialog = Open();
        QVERIFY(dialog);
        TypeTime(*dialog, QStringLiteral("2359"));
        QTest::keyClick(dialog->edit1, Qt::Key_Tab);
        QCoreApplication::processEvents();
        QCOMPARE(dialogs_->messages.size(), 2);
        QCOMPARE(QApplication::focusWidget(), dialog->chlunes);
    }

    void storedTextsAsTheyStand() {
        // Repeated digits check their days once and are written anew.
        StoreSchedule(QStringLiteral("1122"), QStringLiteral("06:00:00"), QStringLiteral("T"));
        TProgramacion* dialog = Open();
        QVERIFY(dialog);
        QCOMPARE(Checked(*dialog),
                 (QStringList{QStringLiteral("Lunes"), QStringLiteral("Domingo")}));
        // A blank where a leading zero belongs is a time, stored as it stands.
        dialog->SetTimeText(QStringLiteral(" 7:05"));
        QCOMPARE(dialog->edit1->displayText(), QStringLiteral("_7:05"));
        Click(dialog->btAceptar);
        QVERIFY2(dialogs_->messages.isEmpty(), qPrintable(dialogs_->texts().join(u'|')));
        QCOMPARE(LoadScheduleSettings(),
                 (TScheduleSettings{QStringLiteral("21"), QStringLiteral(" 7:05:00"),
                                    QStringLiteral("T")}));
        dialog = Open();
        QVERIFY(dialog);
        QCOMPARE(dialog->TimeText(), QStringLiteral(" 7:05"));
    }

    void keys() {
        StoreSchedule(QStringLiteral("2"), QStringLiteral("08:00:00"), QStringLiteral("T"));
        const QByteArray before = StoreBytes();
        TProgramacion* dialog = Open();
        QVERIFY(dialog);

        // Enter on a day box moves on; on Aceptar it presses it.
        dialog->chViernes->setFocus();
        QTest::keyClick(dialog->chViernes, Qt::Key_Enter);
        QCOMPARE(QApplication::focusWidget(), dialog->chSabado);
        QVERIFY(!dialog->chViernes->isChecked());

        // Esc closes without saving whatever was changed.
        Click(dialog->chMartes);
        QTest::keyClick(dialog->chMartes, Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QCOMPARE(StoreBytes(), before);
        QVERIFY(owner_->calls.isEmpty());

        dialog = Open();
        QVERIFY(dialog);
        Click(dialog->chMartes);
        dialog->btAceptar->setFocus();
        QTest::keyClick(dialog->btAceptar, Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(LoadScheduleSettings().dias, QStringLiteral("23"));
    }

    void backupWindowButton() {
        QVERIFY(MakeServerCatalogue(install_->Program() + QStringLiteral("/Servidores.gdb"), {}));
        TData data(QStringLiteral("x"));
        InstallScheduleDialogHook();
        TBackupForm form(data);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QStringList opened;
        QWidget* openedOver = nullptr;
        ModalWatcher watcher([&](QWidget* modal) {
            opened << modal->windowTitle();
            openedOver = modal->parentWidget();
            QTest::keyClick(modal, Qt::Key_Escape);
        });

        // Nothing in the plan.
        form.spProgramacion->click();
        QCOMPARE(dialogs_->texts(),
                 QStringList{QStringLiteral(
                     "Seleccione primero los ficheros de los que desea hacer la copia")});
        QCOMPARE(dialogs_->messages.last().title, QStringLiteral("Información"));

        // A server without a destination folder.
        form.Plan.Servers = {PlanServer{
            QStringLiteral("[]Local"), {kDestinationTag, QStringLiteral("/q/EMPRESA1")}, true}};
        form.ShowPlan();
        form.spProgramacion->click();
        QCOMPARE(dialogs_->texts().last(),
                 QStringLiteral("ATENCION, existen servidores sin DESTINO para hacer la copia"));

        // A complete plan: the dialog, over the backup window, modally.
        form.Plan.Servers[0].Children[0] = kDestinationTag + QStringLiteral("/copias");
        form.ShowPlan();
        form.spProgramacion->click();
        QCOMPARE(dialogs_->messages.size(), 2);
        QCOMPARE(opened, QStringList{QStringLiteral("Programación")});
        QCOMPARE(openedOver, &form);
        QVERIFY(OpenWindows<TProgramacion>().isEmpty());  // disposed of
        TBackupForm::ScheduleDialogHook = nullptr;
    }
};

QTEST_MAIN(TestProgramacion)
#include "tst_programacion.moc"
