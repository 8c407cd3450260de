#pragma once
// What the restore tests share: a backup file made with gbak, the rows of a
// company database, the operator's typing, a watcher of the progress window
// and a recorder of the order in which the window's buttons change.

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QToolButton>

#include "backup/FProgreso.h"
#include "restore/FRestoreForm.h"
#include "tests/support/TestDatabases.h"

// Backs up a database through the embedded engine with gbak.
inline bool MakeBackupFile(const QString& database, const QString& backupFile) {
    QProcess gbak;
    gbak.setProcessChannelMode(QProcess::MergedChannels);
    gbak.start(QStringLiteral("gbak"),
               {QStringLiteral("-b"), QStringLiteral("-user"), QStringLiteral("sysdba"),
                QStringLiteral("-password"), QStringLiteral("x"), database, backupFile});
    const bool done = gbak.waitForFinished(60000) && gbak.exitCode() == 0;
    if (!done) qWarning().noquote() << "gbak failed:" << gbak.readAll();
    return done;
}

// Every row of the sample company's tables, in a fixed order.
inline QStringList CompanyRows(const QString& database, const QString& password = {}) {
    QStringList rows;
    for (const char* table : {"clientes order by id", "articulos order by id",
                              "facturas order by id", "lineas order by factura, linea"})
        rows << SqlQuery(database, QStringLiteral("select * from ") + QLatin1StringView(table),
                         password);
    return rows;
}

inline void ShowActive(QWidget& window) {
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

// Another window becomes active, then the given one again.
inline void Reactivate(QWidget& window) {
    QWidget other;
    other.resize(100, 100);
    ShowActive(other);
    ShowActive(window);
}

// The operator fills a field: clicks into it and types.
inline void Type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->clear();
    QTest::keyClicks(edit, text);
}

inline void Fill(TRestoreForm& form, const QString& server, const QString& file,
                 const QString& target) {
    Type(form.Edit3, server);
    Type(form.Edit1, file);
    Type(form.Edit2, target);
}

inline QStringList Fields(const TRestoreForm& form) {
    return {form.Edit3->text(), form.Edit1->text(), form.Edit4->text(), form.Edit2->text()};
}

// The progress windows' titles and the last text of their line list (the
// window goes right after its last line).
class ProgressWatcher : public QObject {
public:
    ProgressWatcher() { qApp->installEventFilter(this); }
    ~ProgressWatcher() override { qApp->removeEventFilter(this); }
    QStringList titles;
    QString text;
    QStringList Lines() const { return text.split(u'\n'); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* window = event->type() == QEvent::Show ? qobject_cast<TProgreso*>(watched) : nullptr;
        if (window != nullptr && !seen_.contains(window)) {
            seen_ << window;
            titles << window->windowTitle();
            QPlainTextEdit* memo = window->Memo1;
            connect(memo, &QPlainTextEdit::textChanged, this,
                    [this, memo] { text = memo->toPlainText(); });
        }
        return false;
    }

private:
    QList<QPointer<TProgreso>> seen_;
};

// "spRestore off", "spSalir off", ... in the order the buttons changed.
class ButtonRecorder : public QObject {
public:
    explicit ButtonRecorder(TRestoreForm& form) {
        for (QToolButton* button : {form.spRestore, form.spSalir, form.spAyuda, form.spLeerLog,
                                    form.spBuscar, form.spRestaurarEn})
            button->installEventFilter(this);
    }
    QStringList changes;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange)
            changes << watched->objectName() + (static_cast<QWidget*>(watched)->isEnabled()
                                                    ? QStringLiteral(" on")
                                                    : QStringLiteral(" off"));
        return false;
    }
};

inline QStringList SixButtons(const QString& state) {
    QStringList changes;
    for (const char* name :
         {"spRestore", "spSalir", "spAyuda", "spLeerLog", "spBuscar", "spRestaurarEn"})
        changes << QLatin1StringView(name) + u' ' + state;
    return changes;
}
