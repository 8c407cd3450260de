// The server list's context menu in the backup window and the server window,
// driven offscreen, on a Servidores.gdb of the embedded engine and on one of a
// private server on 127.0.0.1:3050 standing in for this computer's, with a
// password that is neither fallback. Rows are read back with isql.

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "db/Installation.h"
#include "plan/FBackupForm.h"
#include "plan/FServidoresForm.h"
#include "platform/Paths.h"
#include "tests/logview/ModalKit.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FirebirdTestServer.h"
#include "tests/support/TestDatabases.h"

using namespace Qt::StringLiterals;
using platform::MsgResult;

namespace {

const QString kAdd = u"Añadir servidor…"_s, kChange = u"Modificar servidor…"_s,
              kRemove = u"Quitar servidor…"_s, kServerPassword = u"Oficina.2026"_s;

QStringList Rows(const QTreeWidget* list) {
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) rows << list->topLevelItem(i)->text(0);
    return rows;
}

// Picks `choice` in the menu over `row` (-1: below the rows), which offers
// only adding there; `answer` works the window it opens.
void Choose(TBackupForm& form, int row, const QString& choice,
            const std::function<void(TServidoresForm&)>& answer = {}) {
    QWidget* viewport = form.listview1->viewport();
    const QPoint at =
        row < 0 ? viewport->rect().bottomLeft() + QPoint(20, -5)
                : form.listview1->visualItemRect(form.listview1->topLevelItem(row)).center();
    QTest::mouseClick(viewport, Qt::RightButton, {}, at);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu != nullptr);
    QStringList texts;
    for (const QAction* action : menu->actions()) texts << action->text();
    QCOMPARE(texts, (row < 0 ? QStringList{kAdd} : QStringList{kAdd, kChange, kRemove}));
    std::optional<WhenModal<TServidoresForm>> window;
    if (answer) window.emplace(answer);
    const QRect item = menu->actionGeometry(menu->actions().value(texts.indexOf(choice)));
    QTest::mouseClick(menu, Qt::LeftButton, {}, item.center());
    if (window) QTRY_VERIFY(window->answered() && QApplication::activeModalWidget() == nullptr);
    QTest::qWait(20);  // the queued choice has run
}

// Types over the field's text, each letter as a keyboard sends it (QTest's
// own keys are ASCII only).
void Type(QLineEdit* field, const QString& text) {
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    for (const QChar c : text) QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, c, {});
}

// Types the server in and clicks OK unless told not to.
void Fill(TServidoresForm& window, const QString& alias, const QString& ruta,
          const QString& ip = {}, bool accept = true) {
    Type(window.edAlias, alias);
    Type(window.edRutaAcceso, ruta);
    Type(window.edDireccionIP, ip);
    if (accept) QTest::mouseClick(window.btAceptar, Qt::LeftButton);
}

// The backup window on data of its own, shown, and the messages it gives.
struct Session {
    explicit Session(const QString& password = u"cualquiera"_s) : data(password) {
        form.show();
        if (!QTest::qWaitForWindowExposed(&form)) QTest::qFail("not shown", __FILE__, __LINE__);
    }
    FakeDialogs dialogs;
    TData data;
    TBackupForm form{data};
};

}  // namespace

class TestServidoresForm : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    QString oficina_, almacen_, database_, sqlName_, password_;

    // Alias, path, address and NOTAS of every row.
    QStringList Stored() { return SqlQuery(sqlName_, u"select * from servidores"_s, password_); }
    // The row made by init(), under `alias`.
    QString Row(const QString& alias) const { return u"%1|%2/||planta 1"_s.arg(alias, oficina_); }

    // Adding, changing and removing through the menu; what is refused before
    // anything is written; the plan's question; extra columns kept.
    void AddChangeRemove(const QString& password) {
        BackupPlan plan;
        plan.Servers = {{u"[]Oficina"_s, {u"<DESTINO>/copias"_s}}};
        plan.SavePlan();
        Session s(password);
        Choose(s.form, -1, kAdd, [&](TServidoresForm& window) {
            QCOMPARE(window.Label4->text(), u"Añadir servidor"_s);
            const QStringList refused[] = {
                {u"oficina"_s, almacen_, {}, u"Ya hay un servidor con el alias oficina."_s},
                {u" "_s, almacen_, {}, u"Escriba el alias del servidor."_s},
                {u"A\\B"_s, almacen_, {}, u"El alias no puede contener la barra \\."_s},
                {u"Almacén"_s, {}, {}, u"Escriba la ruta de acceso del servidor."_s},
                {u"Almacén"_s, almacen_, u"10.0.0.1:x"_s,
                 u"La dirección IP no es válida. Escriba, por ejemplo, 192.168.1.20 o, con el "
                 "puerto, 192.168.1.20/3050."_s}};
            for (const QStringList& r : refused) {
                Fill(window, r[0], r[1], r[2]);
                QCOMPARE(s.dialogs.texts().value(s.dialogs.messages.size() - 1), r[3]);
            }
            QVERIFY(window.isVisible());
            QCOMPARE(Stored().size(), 1);
            Fill(window, u"Almacén"_s, almacen_ + u'/', {}, false);
            QTest::mouseClick(window.btComprobar, Qt::LeftButton);
            QCOMPARE(window.stComprobacion->text(), u"Empresas encontradas en el servidor: 1"_s);
            s.dialogs.messages.clear();
            QTest::mouseClick(window.btAceptar, Qt::LeftButton);
        });
        QCOMPARE(s.dialogs.texts(), QStringList());
        QCOMPARE(Stored(), (QStringList{Row(u"Oficina"_s), u"Almacén|%1/||"_s.arg(almacen_)}));
        // The list is read again, the new server selected with its companies.
        QCOMPARE(Rows(s.form.listview1), (QStringList{u"Oficina"_s, u"Almacén"_s}));
        QCOMPARE(s.form.listview1->currentItem()->text(1), almacen_);
        QCOMPARE(Rows(s.form.ListView2), QStringList{u"ALMACEN1"_s});

        // The plan uses Oficina: asked first; No writes nothing.
        s.dialogs.answers << MsgResult::No << MsgResult::Yes;
        Choose(s.form, 0, kChange, [&](TServidoresForm& window) {
            QCOMPARE(window.edRutaAcceso->text(), oficina_);
            Type(window.edAlias, u"Central"_s);
            QTest::mouseClick(window.btAceptar, Qt::LeftButton);
            QVERIFY(window.isVisible());
            QCOMPARE(Stored().first(), Row(u"Oficina"_s));
            QTest::mouseClick(window.btAceptar, Qt::LeftButton);
        });
        QCOMPARE(s.dialogs.texts(),
                 QStringList(2,
                             u"El plan de copia usa el servidor []Oficina.\n\rEl plan conserva "
                             "sus entradas hasta que las quite del plan.\n\r¿ Desea modificar "
                             "el servidor ?"_s));
        // Updated in place: the path left alone and NOTAS keep their values.
        QCOMPARE(Stored().first(), Row(u"Central"_s));
        QCOMPARE(Rows(s.form.ListView2), (QStringList{u"EMPRESA1"_s, u"EMPRESA2"_s}));

        s.dialogs.messages.clear();
        Choose(s.form, 1, kRemove);
        QCOMPARE(s.dialogs.texts(),
                 QStringList{u"¿ Desea quitar el servidor Almacén de la lista ?"_s});
        QCOMPARE(Stored(), QStringList{Row(u"Central"_s)});
        QCOMPARE(Rows(s.form.listview1), QStringList{u"Central"_s});
        QVERIFY(Rows(s.form.ListView2).isEmpty());
        QVERIFY(!s.data.IBDServidores.Connected() && !s.data.IBDEmpresas.Connected());
    }

private slots:
    void initTestCase() {
        QuietOffscreenWarnings();
        oficina_ = scratch_.filePath(u"oficina"_s);
        almacen_ = scratch_.filePath(u"almacen"_s);
        const QString install = scratch_.filePath(u"instalacion"_s);
        for (const QString& folder : {oficina_, almacen_, install}) QVERIFY(QDir().mkpath(folder));
        QVERIFY(
            MakeCompanyCatalogue(oficina_ + u"/Empresas.gdb"_s, {u"EMPRESA1"_s, u"EMPRESA2"_s}));
        QVERIFY(MakeCompanyCatalogue(almacen_ + u"/Empresas.gdb"_s, {u"ALMACEN1"_s}));
        platform::SetExecutableDirectory(install);
        database_ = install + u"/Servidores.gdb"_s;
    }

    // Servidores.gdb with an installation's own column NOTAS and one row,
    // read back through the embedded engine.
    void init() {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch_.filePath(u"config"_s)));
        QVERIFY(MakeDatabase(database_, {SchemaDir() + u"/servidores.sql"_s},
                             u"alter table servidores add notas varchar(20); commit; insert into "
                             "servidores values ('Oficina', %1, null, 'planta 1');"_s.arg(
                                 SqlLiteral(oficina_ + u'/'))));
        sqlName_ = database_;
        password_.clear();
    }
    void cleanup() { fb::SetLocalProvider(fb::LocalProvider::Embedded); }

    void onTheEmbeddedEngine() { AddChangeRemove(u"cualquiera"_s); }

    // Nothing listens there: saved after a yes, and not asked for its
    // companies again.
    void aServerThatDoesNotAnswerIsSavedAfterAYes() {
        Session s;
        s.dialogs.answers << MsgResult::No << MsgResult::Yes;
        // Added from the menu over Oficina, which stays selected.
        Choose(s.form, 0, kAdd, [&](TServidoresForm& window) {
            Fill(window, u"Remoto"_s, u"D:\\Quillbase"_s, u"127.0.0.30/3051"_s);
            const QString answer = window.stComprobacion->text();
            QVERIFY(answer.startsWith(u"No se ha podido leer la lista de empresas:\n"_s) &&
                    answer.endsWith(u"\nStatus 0"_s));
            QCOMPARE(Stored().size(), 1);
            QTest::mouseClick(window.btAceptar, Qt::LeftButton);
        });
        QCOMPARE(s.dialogs.texts(),
                 QStringList(2,
                             u"No se ha podido leer la lista de empresas de este servidor.\n\r¿ "
                             "Desea guardar el servidor de todos modos ?"_s));
        QCOMPARE(Stored().last(), u"Remoto|D:\\Quillbase|127.0.0.30/3051|"_s);
        QCOMPARE(Rows(s.form.listview1), (QStringList{u"Oficina"_s, u"Remoto"_s}));
        QCOMPARE(s.form.listview1->selectedItems().value(0), s.form.listview1->topLevelItem(0));
        QCOMPARE(Rows(s.form.ListView2).size(), 2);
    }

    // A catalogue the database keeps read-only: reported, nothing written.
    void aReadOnlyCatalogueIsReported() {
        QCOMPARE(QProcess::execute(u"gfix"_s, {u"-mode"_s, u"read_only"_s, u"-user"_s, u"sysdba"_s,
                                               u"-password"_s, u"x"_s, database_}),
                 0);
        Session s;
        Choose(s.form, -1, kAdd, [&](TServidoresForm& window) {
            Fill(window, u"Almacén"_s, almacen_);
            QVERIFY(window.isVisible());
            window.reject();
        });
        Choose(s.form, 0, kRemove);
        QCOMPARE(s.dialogs.messages.size(), 3);
        for (int i : {0, 2}) {
            const FakeDialogs::Shown& shown = s.dialogs.messages.at(i);
            QCOMPARE(shown.icon, platform::MsgIcon::Error);
            QVERIFY(shown.text.startsWith(
                u"No se ha podido guardar la lista de servidores; queda como estaba.\n\r"_s));
            QVERIFY(shown.text.contains(u"read-only"_s));
        }
        QCOMPARE(Stored(), QStringList{Row(u"Oficina"_s)});
        QCOMPARE(Rows(s.form.listview1), QStringList{u"Oficina"_s});
    }

    // The package's kind: every local name goes to this computer's server.
    void onThisComputersServer() {
        QTcpSocket probe;
        probe.connectToHost(u"127.0.0.1"_s, 3050);
        if (probe.waitForConnected(500)) QSKIP("127.0.0.1:3050 is taken by another program");
        FirebirdTestServer server;
        QVERIFY2(server.start(u"127.0.0.1"_s, kServerPassword), qPrintable(server.lastError()));
        fb::SetLocalProvider(fb::LocalProvider::Loopback);
        sqlName_ = u"127.0.0.1:"_s + database_;
        password_ = kServerPassword;
        AddChangeRemove(kServerPassword);
        if (QTest::currentTestFailed()) return;

        // A password the server refuses: said so, nothing written.
        Session s(kServerPassword);
        QVERIFY(server.setPassword(u"Otra.2027"_s));
        const QString refused = u"Su nombre de usuario y contraseña no son válidos"_s;
        Choose(s.form, -1, kAdd, [&](TServidoresForm& window) {
            Fill(window, u"Almacén"_s, almacen_);
            QVERIFY(window.stComprobacion->text().endsWith(u'\n' + refused));
            QVERIFY(window.isVisible());
            window.reject();
        });
        QVERIFY(server.setPassword(kServerPassword));
        const QString denied =
            u"Acceso denegado a\n\r"_s + ServerCatalogueName() + u"\n\r"_s + refused;
        QCOMPARE(s.dialogs.texts().mid(1), (QStringList{denied, denied}));
        QCOMPARE(Stored(), QStringList{Row(u"Central"_s)});
    }
};

QTEST_MAIN(TestServidoresForm)
#include "tst_servidoresform.moc"
