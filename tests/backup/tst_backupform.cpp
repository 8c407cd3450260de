// The backup window's own run operations, driven like an operator: a click
// on a company of the plan tree, then the button spBackup; and the scheduled
// walk on a window that nobody sees.

#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "RunTestKit.h"
#include "backup/FCondicionesBackup.h"
#include "plan/FBackupForm.h"
#include "platform/Paths.h"
#include "tests/support/FakeDialogs.h"

using namespace backuprun;

class TestBackupFormRun : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    QTemporaryDir configHome_;
    QString template_;
    QString copias_;
    QStringList companies_;
    std::unique_ptr<TData> data_;

    QString Folder(const QString& relative) {
        const QString path = scratch_.filePath(relative);
        QDir().mkpath(path);
        return path;
    }

    QString Company(const QString& name) {
        const QString folder = Folder(QStringLiteral("empresas/") + name);
        QFile::remove(folder + QStringLiteral("/Quillbase.orv"));
        if (!QFile::copy(template_, folder + QStringLiteral("/Quillbase.orv")))
            qFatal("cannot copy the company");
        return folder;
    }

    void ShowTestPlan(TBackupForm& form) {
        form.Plan.Servers = {PlanServer{QStringLiteral("[]Local"),
                                        {kDestinationTag + copias_, companies_[0], companies_[1]},
                                        true}};
        form.ShowPlan();
    }

    void ClickEntry(TBackupForm& form, const PlanRef& entry) {
        QTreeWidgetItem* item = form.ItemOf(entry);
        QVERIFY(item != nullptr);
        QTest::mouseClick(form.TreeView->viewport(), Qt::LeftButton, {},
                          form.TreeView->visualItemRect(item).center());
    }

    QList<QWidget*> RunControls(TBackupForm& form) {
        return {form.spGuardar,      form.spBorrarServidor, form.spBackup, form.spLog,
                form.spProgramacion, form.spAyuda,          form.spSalir,  form.listview1,
                form.ListView2,      form.TreeView};
    }

private slots:
    void initTestCase() {
        QuietOffscreenPlatform();
        QVERIFY(scratch_.isValid() && configHome_.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome_.path()));
        template_ = scratch_.filePath(QStringLiteral("plantilla/Quillbase.orv"));
        QVERIFY(MakeCompanyDatabase(template_));
        const QString install = Folder(QStringLiteral("instalacion"));
        platform::SetExecutableDirectory(install);
        QVERIFY(MakeServerCatalogue(install + QStringLiteral("/Servidores.gdb"), {}));
        copias_ = Folder(QStringLiteral("copias"));
        companies_ = {Company(QStringLiteral("EMPRESA1")), Company(QStringLiteral("EMPRESA2"))};
        data_ = std::make_unique<TData>(QStringLiteral("x"));
    }

    void init() { QVERIFY(MakeBackupLog(BackupLogName())); }

    void spBackupBacksUpTheCompanyPickedInTheTree() {
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(QDateTime(QDate(2026, 12, 8), QTime(13, 5)));
        TBackupForm form(*data_);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        ShowTestPlan(form);

        // The focus elsewhere: the first press does nothing but hand the
        // focus to the tree.
        ClickEntry(form, PlanRef::ChildEntry(0, 2));
        form.listview1->setFocus();
        QTest::mouseClick(form.spBackup, Qt::LeftButton);
        QCOMPARE(form.focusWidget(), form.TreeView);
        QVERIFY(dialogs.messages.isEmpty());

        QString confirmed;
        ModalAnswers confirm([&](QWidget* modal) {
            if (auto* window = qobject_cast<TCondicionesBackup*>(modal)) {
                confirmed = window->Label4->text();
                window->BitBtn2->click();
            }
        });
        ProgressWatcher progress;
        progress.probe = [&] {
            // While output is shown the controls are off, and the window
            // pair that tells a busy backup exists.
            QString state;
            for (QWidget* control : RunControls(form)) state += control->isEnabled() ? u'1' : u'0';
            QStringList windows;
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->objectName() == u"BackupForm" || window->objectName() == u"Progreso")
                    windows << window->objectName();
            windows.sort();
            return state + u' ' + windows.join(u' ');
        };
        QTest::mouseClick(form.spBackup, Qt::LeftButton);

        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        QCOMPARE(confirmed, companies_[1]);
        QCOMPARE(progress.windows.size(), 2);
        for (const auto& shown : progress.windows)
            QCOMPARE(shown.probe, QStringLiteral("0000000000 BackupForm Progreso"));
        for (QWidget* control : RunControls(form)) QVERIFY(control->isEnabled());
        QCOMPARE(form.focusWidget(), form.TreeView);
        QVERIFY(form.Remarks.isEmpty());
        const auto rows = LogRows(*data_);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].at(3), companies_[1] + QStringLiteral("/Quillbase.orv"));
        QCOMPARE(rows[0].at(4), copias_ + QStringLiteral("/[]Local_EMPRESA2_081226_1305.fbk"));
        QCOMPARE(rows[0].at(5), QStringLiteral("T"));
    }

    void theWindowStaysOpenWhileItsRunGoesOn() {
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(QDateTime(QDate(2026, 12, 8), QTime(16, 40)));
        TBackupForm form(*data_);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        ShowTestPlan(form);
        // Unsaved changes: a close that went through would ask about them.
        form.Plan.PlanModified = true;
        ClickEntry(form, PlanRef::ChildEntry(0, 1));

        ModalAnswers confirm([](QWidget* modal) {
            if (auto* window = qobject_cast<TCondicionesBackup*>(modal)) window->BitBtn2->click();
        });
        ProgressWatcher progress;
        progress.probe = [&form] {
            // The frame's close button, then Esc on the window itself.
            const bool closed = form.close();
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&form, &escape);
            return QStringLiteral("%1 %2").arg(closed).arg(form.isVisible());
        };
        QTest::mouseClick(form.spBackup, Qt::LeftButton);

        QCOMPARE(progress.windows.size(), 2);
        for (const auto& shown : progress.windows) QCOMPARE(shown.probe, QStringLiteral("0 1"));
        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
        QVERIFY(form.isVisible());
        const auto rows = LogRows(*data_);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].at(5), QStringLiteral("T"));

        // Once the run is over the window closes as before.
        dialogs.answers.enqueue(platform::MsgResult::No);
        QVERIFY(form.close());
        QCOMPARE(dialogs.texts(),
                 QStringList{QStringLiteral("¿ Desea guardar los cambios realizados en la "
                                            "selección de servidores y empresas ?")});
    }

    void scheduledRunWalksTheTreeOfAHiddenWindow() {
        FakeDialogs dialogs;
        FakeMainWindow main;
        SteppingClock clock(QDateTime(QDate(2026, 12, 8), QTime(21, 30)));
        TBackupForm form(*data_);
        ShowTestPlan(form);
        QStringList unattended;
        main.onSt2 = [&](const QString& text) {
            if (!text.isEmpty()) unattended << QString::number(form.Unattended);
        };
        form.RunScheduledBackup();

        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(unattended, (QStringList{QStringLiteral("1"), QStringLiteral("1")}));
        QVERIFY(!form.Unattended);
        QCOMPARE(form.TreeView->currentItem(), form.ItemOf(PlanRef::ChildEntry(0, 2)));
        QCOMPARE(form.Plan.SelectedEntry, PlanRef::ChildEntry(0, 2));
        QCOMPARE(form.Plan.CurrentChildEntry, PlanRef::ChildEntry(0, 2));
        const auto rows = LogRows(*data_);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].at(4), copias_ + QStringLiteral("/[]Local_EMPRESA1_081226_2130.fbk"));
        QCOMPARE(rows[1].at(4), copias_ + QStringLiteral("/[]Local_EMPRESA2_081226_2131.fbk"));
        for (const auto& row : rows) QCOMPARE(row.at(5), QStringLiteral("T"));
    }
};

QTEST_MAIN(TestBackupFormRun)
#include "tst_backupform.moc"
