// The server list kept from the program: the context menu of the backup
// window's server list and the server window, driven offscreen like an
// operator, on a Servidores.gdb of the embedded engine and on one served by
// a private server on 127.0.0.1:3050 that stands in for this computer's
// (the package's kind of installation), with a password that is neither
// fallback. Rows are read back with isql.

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

using platform::MsgResult;
using Answer = std::function<void(TServidoresForm&)>;

namespace {

const QString kAdd = QStringLiteral("Añadir servidor…");
const QString kChange = QStringLiteral("Modificar servidor…");
const QString kRemove = QStringLiteral("Quitar servidor…");
const QString kServerPassword = QStringLiteral("Oficina.2026");

QStringList Rows(const QTreeWidget* list) {
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) rows << list->topLevelItem(i)->text(0);
    return rows;
}

QMenu* OpenMenu(TBackupForm& form, int row) {
    QWidget* viewport = form.listview1->viewport();
    const QPoint at =
        row < 0 ? viewport->rect().bottomLeft() + QPoint(20, -5)
                : form.listview1->visualItemRect(form.listview1->topLevelItem(row)).center();
    QTest::mouseClick(viewport, Qt::RightButton, {}, at);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

QStringList Choices(TBackupForm& form, int row) {
    QMenu* menu = OpenMenu(form, row);
    QStringList texts;
    for (const QAction* action : menu->actions()) texts << action->text();
    menu->close();
    return texts;
}

// Picks `choice` in the menu over `row`; `answer` works the window it opens.
void Choose(TBackupForm& form, int row, const QString& choice, const Answer& answer = {}) {
    QMenu* menu = OpenMenu(form, row);
    QVERIFY(menu != nullptr);
    QAction* action = nullptr;
    for (QAction* a : menu->actions()) action = a->text() == choice ? a : action;
    QVERIFY(action != nullptr);
    std::optional<WhenModal<TServidoresForm>> window;
    if (answer) window.emplace(answer);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    if (window) QTRY_VERIFY(window->answered() && QApplication::activeModalWidget() == nullptr);
    QTest::qWait(20);  // the queued choice has run
}

void Type(QLineEdit* field, const QString& text) {
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(field, c.toLatin1());
            continue;
        }
        // QTest types ASCII only; an accented letter comes as a keyboard sends it.
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(field, &press);
    }
}

void Fill(TServidoresForm& window, const QString& alias, const QString& ruta, const QString& ip) {
    Type(window.edAlias, alias);
    Type(window.edRutaAcceso, ruta);
    Type(window.edDireccionIP, ip);
}

void Show(QWidget& window) {
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

}  // namespace

class TestServidoresForm : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    QString oficina_, almacen_, install_, database_, sqlName_, password_;

    // Servidores.gdb with an installation's own column NOTAS and one row.
    void MakeCatalogue() {
        QFile::remove(database_);
        QVERIFY(MakeDatabase(
            database_, {SchemaDir() + QStringLiteral("/servidores.sql")},
            QStringLiteral("alter table servidores add notas varchar(20); commit;"
                           "insert into servidores values ('Oficina', %1, null, 'planta 1');")
                .arg(SqlLiteral(oficina_ + u'/'))));
    }
    QStringList Stored() {
        return SqlQuery(
            sqlName_,
            QStringLiteral("select alias, rutaacceso, direccionip, notas from servidores"),
            password_);
    }

    // Adding, changing and removing through the menu; what is refused before
    // anything is written; the plan's question; extra columns kept.
    void AddChangeRemove(TData& data) {
        BackupPlan plan;
        plan.Servers = {{QStringLiteral("[]Oficina"), {QStringLiteral("<DESTINO>/copias")}}};
        plan.SavePlan();
        FakeDialogs dialogs;
        TBackupForm form(data);
        Show(form);
        QCOMPARE(Choices(form, -1), QStringList{kAdd});
        QCOMPARE(Choices(form, 0), (QStringList{kAdd, kChange, kRemove}));

        Choose(form, -1, kAdd, [&](TServidoresForm& window) {
            QCOMPARE(window.Label4->text(), QStringLiteral("Añadir servidor"));
            const std::pair<QStringList, QString> refused[] = {
                {{QStringLiteral("oficina"), almacen_, {}},
                 QStringLiteral("Ya hay un servidor con el alias oficina.")},
                {{QStringLiteral(" "), almacen_, {}},
                 QStringLiteral("Escriba el alias del servidor.")},
                {{QStringLiteral("A\\B"), almacen_, {}},
                 QStringLiteral("El alias no puede contener la barra \\.")},
                {{QStringLiteral("Almacén"), {}, {}},
                 QStringLiteral("Escriba la ruta de acceso del servidor.")},
                {{QStringLiteral("Almacén"), almacen_, QStringLiteral("10.0.0.1:x")},
                 QStringLiteral(
                     "La dirección IP no es válida. Escriba, por ejemplo, 192.168.1.20 o, con el "
                     "puerto, 192.168.1.20/3050.")}};
            for (const auto& [fields, message] : refused) {
                Fill(window, fields.at(0), fields.at(1), fields.at(2));
                QTest::mouseClick(window.btAceptar, Qt::LeftButton);
                QCOMPARE(dialogs.texts().value(dialogs.messages.size() - 1), message);
            }
            QVERIFY(window.isVisible());
            QCOMPARE(Stored().size(), 1);
            Fill(window, QStringLiteral("Almacén"), almacen_ + u'/', {});
            QTest::mouseClick(window.btComprobar, Qt::LeftButton);
            QCOMPARE(window.stComprobacion->text(),
                     QStringLiteral("Empresas encontradas en el servidor: 1"));
            dialogs.messages.clear();
            QTest::mouseClick(window.btAceptar, Qt::LeftButton);
        });
        QCOMPARE(dialogs.texts(), QStringList());
        QCOMPARE(Stored(), (QStringList{QStringLiteral("Oficina|%1/||planta 1").arg(oficina_),
                                        QStringLiteral("Almacén|%1/||").arg(almacen_)}));
        // The list is read again, the new server selected with its companies.
        QCOMPARE(Rows(form.listview1),
                 (QStringList{QStringLiteral("Oficina"), QStringLiteral("Almacén")}));
        QCOMPARE(form.listview1->currentItem()->text(1), almacen_);
        QCOMPARE(Rows(form.ListView2), QStringList{QStringLiteral("ALMACEN1")});

        // The plan uses Oficina: asked first; No writes nothing.
        dialogs.answers << MsgResult::No << MsgResult::Yes;
        Choose(form, 0, kChange, [&](TServidoresForm& window) {
            QCOMPARE(window.edRutaAcceso->text(), oficina_);
            Type(window.edAlias, QStringLiteral("Central"));
            QTest::mouseClick(window.btAceptar, Qt::LeftButton);
            QVERIFY(window.isVisible());
            QCOMPARE(Stored().first(), QStringLiteral("Oficina|%1/||planta 1").arg(oficina_));
            QTest::mouseClick(window.btAceptar, Qt::LeftButton);
        });
        QCOMPARE(
            dialogs.texts(),
            QStringList(2, QStringLiteral("El plan de copia usa el servidor []Oficina.\n\rEl plan "
                                          "conserva sus entradas hasta que las quite del "
                                          "plan.\n\r¿ Desea modificar el servidor ?")));
        // Updated in place: the path left alone and NOTAS keep their values.
        QCOMPARE(Stored().first(), QStringLiteral("Central|%1/||planta 1").arg(oficina_));
        QCOMPARE(Rows(form.ListView2),
                 (QStringList{QStringLiteral("EMPRESA1"), QStringLiteral("EMPRESA2")}));

        dialogs.messages.clear();
        Choose(form, 1, kRemove);
        QCOMPARE(dialogs.texts(),
                 QStringList{QStringLiteral("¿ Desea quitar el servidor Almacén de la lista ?")});
        QCOMPARE(Stored(), QStringList{QStringLiteral("Central|%1/||planta 1").arg(oficina_)});
        QCOMPARE(Rows(form.listview1), QStringList{QStringLiteral("Central")});
        QVERIFY(Rows(form.ListView2).isEmpty());
        QVERIFY(!data.IBDServidores.Connected() && !data.IBDEmpresas.Connected());
    }

private slots:
    void initTestCase() {
        QuietOffscreenWarnings();
        oficina_ = scratch_.filePath(QStringLiteral("oficina"));
        almacen_ = scratch_.filePath(QStringLiteral("almacen"));
        install_ = scratch_.filePath(QStringLiteral("instalacion"));
        for (const QString& folder : {oficina_, almacen_, install_}) QVERIFY(QDir().mkpath(folder));
        QVERIFY(MakeCompanyCatalogue(oficina_ + QStringLiteral("/Empresas.gdb"),
                                     {QStringLiteral("EMPRESA1"), QStringLiteral("EMPRESA2")}));
        QVERIFY(MakeCompanyCatalogue(almacen_ + QStringLiteral("/Empresas.gdb"),
                                     {QStringLiteral("ALMACEN1")}));
        platform::SetExecutableDirectory(install_);
        sqlName_ = database_ = install_ + QStringLiteral("/Servidores.gdb");
    }

    void init() {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch_.filePath(QStringLiteral("config"))));
        MakeCatalogue();
    }

    void onTheEmbeddedEngine() {
        TData data(QStringLiteral("cualquiera"));
        AddChangeRemove(data);
    }

    // Nothing listens there: saved after a yes, and not asked for its
    // companies again.
    void aServerThatDoesNotAnswerIsSavedAfterAYes() {
        FakeDialogs dialogs;
        dialogs.answers << MsgResult::No << MsgResult::Yes;
        TData data(QStringLiteral("cualquiera"));
        TBackupForm form(data);
        Show(form);
        // Added from the menu over Oficina, which stays selected.
        Choose(form, 0, kAdd, [&](TServidoresForm& window) {
            Fill(window, QStringLiteral("Remoto"), QStringLiteral("D:\\Quillbase"),
                 QStringLiteral("127.0.0.30/3051"));
            QTest::mouseClick(window.btAceptar, Qt::LeftButton);
            QVERIFY(window.stComprobacion->text().startsWith(
                QStringLiteral("No se ha podido leer la lista de empresas:\n")));
            QVERIFY(window.stComprobacion->text().endsWith(QStringLiteral("\nStatus 0")));
            QCOMPARE(Stored().size(), 1);
            QTest::mouseClick(window.btAceptar, Qt::LeftButton);
        });
        QCOMPARE(dialogs.texts(),
                 QStringList(2, QStringLiteral(
                                    "No se ha podido leer la lista de empresas de este "
                                    "servidor.\n\r¿ Desea guardar el servidor de todos modos ?")));
        QCOMPARE(Stored().last(), QStringLiteral("Remoto|D:\\Quillbase|127.0.0.30/3051|"));
        QCOMPARE(Rows(form.listview1),
                 (QStringList{QStringLiteral("Oficina"), QStringLiteral("Remoto")}));
        QCOMPARE(form.listview1->selectedItems().value(0), form.listview1->topLevelItem(0));
        QCOMPARE(Rows(form.ListView2).size(), 2);
    }

    // A catalogue the database keeps read-only: reported, nothing written.
    void aReadOnlyCatalogueIsReported() {
        QProcess gfix;
        gfix.start(QStringLiteral("gfix"),
                   {QStringLiteral("-mode"), QStringLiteral("read_only"), QStringLiteral("-user"),
                    QStringLiteral("sysdba"), QStringLiteral("-password"), QStringLiteral("x"),
                    database_});
        QVERIFY(gfix.waitForFinished() && gfix.exitCode() == 0);
        FakeDialogs dialogs;
        TData data(QStringLiteral("cualquiera"));
        TBackupForm form(data);
        Show(form);
        Choose(form, -1, kAdd, [&](TServidoresForm& window) {
            Fill(window, QStringLiteral("Almacén"), almacen_, {});
            QTest::mouseClick(window.btAceptar, Qt::LeftButton);
            QVERIFY(window.isVisible());
            window.reject();
        });
        Choose(form, 0, kRemove);
        QCOMPARE(dialogs.messages.size(), 3);
        for (int i : {0, 2}) {
            QCOMPARE(dialogs.messages.at(i).icon, platform::MsgIcon::Error);
            QVERIFY(dialogs.messages.at(i).text.startsWith(QStringLiteral(
                "No se ha podido guardar la lista de servidores; queda como estaba.\n\r")));
            QVERIFY(dialogs.messages.at(i).text.contains(QStringLiteral("read-only")));
        }
        QCOMPARE(Stored(), QStringList{QStringLiteral("Oficina|%1/||planta 1").arg(oficina_)});
        QCOMPARE(Rows(form.listview1), QStringList{QStringLiteral("Oficina")});
    }

    // The package's kind: every local name goes to this computer's server.
    void onThisComputersServer() {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), 3050);
        if (probe.waitForConnected(500)) QSKIP("127.0.0.1:3050 is taken by another program");
        FirebirdTestServer server;
        QVERIFY2(server.start(QStringLiteral("127.0.0.1"), kServerPassword),
                 qPrintable(server.lastError()));
        fb::SetLocalProvider(fb::LocalProvider::Loopback);
        sqlName_ = QStringLiteral("127.0.0.1:") + database_;
        password_ = kServerPassword;
        struct Restore {
            TestServidoresForm* self;
            ~Restore() {
                fb::SetLocalProvider(fb::LocalProvider::Embedded);
                self->sqlName_ = self->database_;
                self->password_.clear();
            }
        } restore{this};
        TData data(kServerPassword);
        AddChangeRemove(data);
        if (QTest::currentTestFailed()) return;

        // A password the server refuses: said so, nothing written.
        FakeDialogs dialogs;
        TBackupForm form(data);
        Show(form);
        QVERIFY(server.setPassword(QStringLiteral("Otra.2027")));
        Choose(form, -1, kAdd, [&](TServidoresForm& window) {
            Fill(window, QStringLiteral("Almacén"), almacen_, {});
            QTest::mouseClick(window.btAceptar, Qt::LeftButton);
            QVERIFY(window.stComprobacion->text().endsWith(
                QStringLiteral("\nSu nombre de usuario y contraseña no son válidos")));
            QVERIFY(window.isVisible());
            window.reject();
        });
        QVERIFY(server.setPassword(kServerPassword));
        const QString denied =
            QStringLiteral("Acceso denegado a\n\r") + ServerCatalogueName() +
            QStringLiteral("\n\rSu nombre de usuario y contraseña no son válidos");
        QCOMPARE(dialogs.texts().mid(1), (QStringList{denied, denied}));
        QCOMPARE(Stored(), QStringList{QStringLiteral("Central|%1/||planta 1").arg(oficina_)});
    }
};

QTEST_MAIN(TestServidoresForm)
#include "tst_servidoresform.moc"
