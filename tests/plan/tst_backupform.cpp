// The backup selection window and the destination chooser, driven offscreen
// like an operator: clicks in the lists and the tree, drags from the lists
// into the tree, answers to the chooser and to the message boxes. The
// catalogue comes from real Servidores.gdb and Empresas.gdb files (embedded
// engine); the plan goes to the real settings file of a scratch folder.

#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "plan/DirDlg.h"
#include "plan/FBackupForm.h"
#include "plan/FDestino.h"
#include "plan/Help.h"
#include "platform/Paths.h"
#include "platform/Settings.h"
#include "platform/Translations.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/TestDatabases.h"

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

namespace {

const QString kIndent = QStringLiteral("  ");
const QString kSaveQuestion = QStringLiteral(
    "¿ Desea guardar los cambios realizados en la selección de servidores y empresas ?");

// Runs `answer` on the first modal dialog of type Dialog that opens, from
// inside its event loop; a dialog that never opens fails the test.
template <typename Dialog>
class WhenModal {
public:
    explicit WhenModal(std::function<void(Dialog&)> answer) : answer_(std::move(answer)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible()) return;
            timer_.stop();
            answered_ = true;
            answer_(*dialog);
            // A failed check inside the answer must not leave the dialog open.
            if (QTest::currentTestFailed() && dialog->isVisible()) dialog->reject();
        });
        timer_.start();
    }
    bool answered() const { return answered_; }

private:
    std::function<void(Dialog&)> answer_;
    QTimer timer_;
    bool answered_ = false;
};

// A drag from `source` over the tree and a drop anywhere on it, as the
// window sees it; Qt cannot run a real drag on the offscreen platform, so
// the source is named for the tree. Tells whether the tree accepted it.
bool DragInto(TBackupForm& form, QAbstractItemView* source) {
    QWidget* target = form.TreeView->viewport();
    std::unique_ptr<QMimeData> mime(
        source->model()->mimeData(source->selectionModel()->selectedIndexes()));
    if (!mime) mime = std::make_unique<QMimeData>();
    SetSimulatedDragSource(source);
    const QPoint position = target->rect().bottomRight() - QPoint(5, 5);
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;

    QDragEnterEvent enter(position, actions, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    bool accepted = enter.isAccepted();
    if (accepted) {
        QDragMoveEvent move(position, actions, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        accepted = move.isAccepted();
    }
    if (accepted) {
        QDropEvent drop(QPointF(position), actions, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        accepted = drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
    }
    SetSimulatedDragSource(nullptr);
    return accepted;
}

void ClickRow(QTreeWidget* list, int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

void ClickEntry(TBackupForm& form, const PlanRef& entry, Qt::MouseButton button = Qt::LeftButton) {
    QTreeWidgetItem* item = form.ItemOf(entry);
    QVERIFY(item != nullptr);
    QTest::mouseClick(form.TreeView->viewport(), button, {},
                      form.TreeView->visualItemRect(item).center());
}

void ClickEmptySpace(TBackupForm& form) {
    QWidget* viewport = form.TreeView->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, viewport->rect().bottomLeft() + QPoint(40, -5));
}

QStringList Rows(const QTreeWidget* list, int column = 0) {
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        rows.append(list->topLevelItem(i)->text(column));
    return rows;
}

QStringList TreeTexts(const QTreeWidget* tree) {
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* server = tree->topLevelItem(i);
        texts.append(server->text(0));
        for (int c = 0; c < server->childCount(); ++c)
            texts.append(kIndent + server->child(c)->text(0));
    }
    return texts;
}

QColor DrawnColour(const TBackupForm& form, const QModelIndex& index, bool focused, bool* bold) {
    QStyleOptionViewItem option;
    option.state = QStyle::State_Enabled;
    if (focused) option.state |= QStyle::State_HasFocus | QStyle::State_Selected;
    form.TreeViewCustomDrawItem(option, index);
    *bold = option.font.bold();
    return option.palette.color(
        option.state.testFlag(QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text);
}

// Receives what QDesktopServices would hand to the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

}  // namespace

class TestBackupForm : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    QString installDir_;
    QString manyServersDir_;
    QString oficinaPath_;
    QString almacenPath_;
    std::unique_ptr<QTemporaryDir> configHome_;
    std::unique_ptr<TData> data_;

    QString Folder(const QString& relative) {
        const QString path = scratch_.filePath(relative);
        QDir().mkpath(path);
        return path;
    }

    std::unique_ptr<TBackupForm> ShownForm() {
        auto form = std::make_unique<TBackupForm>(*data_);
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) return nullptr;
        return form;
    }

    void SavePlan(const QList<PlanServer>& servers) {
        BackupPlan plan;
        plan.Servers = servers;
        plan.SavePlan();
    }

private slots:
    void initTestCase() {
        QVERIFY(scratch_.isValid());
        oficinaPath_ = Folder(QStringLiteral("servidores/oficina"));
        almacenPath_ = Folder(QStringLiteral("servidores/almacen"));
        QVERIFY(MakeCompanyCatalogue(oficinaPath_ + QStringLiteral("/Empresas.gdb"),
                                     {QStringLiteral("EMPRESA1"), QStringLiteral("EMPRESA2")}));
        QVERIFY(MakeCompanyCatalogue(almacenPath_ + QStringLiteral("/Empresas.gdb"),
                                     {QStringLiteral("ALMACEN1")}));

        installDir_ = Folder(QStringLiteral("instalacion"));
        // The trailing separator is trimmed by the catalogue.
        QVERIFY(
            MakeServerCatalogue(installDir_ + QStringLiteral("/Servidores.gdb"),
                                {{QStringLiteral("Oficina"), oficinaPath_ + u'/', QString()},
                                 {QStringLiteral("Almacen"), almacenPath_, QStringLiteral("")}}));
        manyServersDir_ = Folder(QStringLiteral("muchos"));
        QList<ServerCatalogueRow> many;
        for (int i = 1; i <= 20; ++i) {
            many.append({QStringLiteral("Servidor%1").arg(i), oficinaPath_, QString()});
        }
        QVERIFY(MakeServerCatalogue(manyServersDir_ + QStringLiteral("/Servidores.gdb"), many));
        data_ = std::make_unique<TData>(QStringLiteral("masterkey"));
    }

    void init() {
        platform::SetExecutableDirectory(installDir_);
        configHome_ = std::make_unique<QTemporaryDir>();
        QVERIFY(configHome_->isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome_->path()));
    }

    void cleanup() {
        SetFolderBrowser({});
        SetSimulatedDragSource(nullptr);
    }

    void theWindowIsBuiltAsDescribed() {
        FakeDialogs dialogs;
        TBackupForm form(*data_);
        QCOMPARE(form.objectName(), QStringLiteral("BackupForm"));
        QCOMPARE(form.size(), QSize(800, 541));
        QCOMPARE(form.font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(form.font().pointSize(), 8);
        QVERIFY(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));

        QCOMPARE(form.Panel1->height(), 73);
        QCOMPARE(form.Image1->size(), QSize(721, 71));
        QCOMPARE(form.Label1->text(), QStringLiteral("Servidores Quillbase en este ordenador"));
        QCOMPARE(form.Label2->text(), QStringLiteral("Empresas"));
        QVERIFY(form.Label1->font().bold() && form.Label2->font().bold());
        QCOMPARE(form.Label3->text(),
                 QStringLiteral("Servidores y empresas seleccionados para realizar la copia"));
        QVERIFY(form.Label3->font().bold());
        QCOMPARE(form.Panel10->palette().color(QPalette::Window), QColor(0x57, 0x88, 0xB0));
        QCOMPARE(form.Panel10->height(), 34);
        QCOMPARE(form.Panel8->height(), 46);
        QCOMPARE(form.Panel9->height(), 24);
        QCOMPARE(form.Panel9->palette().color(QPalette::Window), QColor(0xFD, 0xFF, 0xD9));
        QVERIFY(form.st1->font().bold());
        QCOMPARE(form.st1->frameShadow(), QFrame::Sunken);
        QVERIFY(form.st1->text().isEmpty());
        QCOMPARE(form.Splitter1->sizes().first(), 417);
        QVERIFY(form.Splitter1->styleSheet().contains(QStringLiteral("#5F5F5F")));

        QCOMPARE(form.listview1->objectName(), QStringLiteral("listview1"));
        QCOMPARE(form.listview1->height(), 160);
        QCOMPARE(form.listview1->headerItem()->text(0), QStringLiteral("Alias"));
        QCOMPARE(form.listview1->headerItem()->text(1), QStringLiteral("Ruta de acceso"));
        QCOMPARE(form.listview1->headerItem()->text(2), QStringLiteral("Dirección IP"));
        QCOMPARE(form.listview1->columnWidth(0), 86);
        QCOMPARE(form.listview1->columnWidth(1), 180);
        QCOMPARE(form.listview1->font().family(), QStringLiteral("MS Sans Serif"));
        QVERIFY(!form.listview1->header()->sectionsClickable());
        QCOMPARE(form.ListView2->objectName(), QStringLiteral("ListView2"));
        QCOMPARE(form.ListView2->headerItem()->text(0), QStringLiteral("Nombre"));
        QCOMPARE(form.ListView2->columnWidth(0), 385);

        QCOMPARE(form.TreeView->indentation(), 19);
        QCOMPARE(form.TreeView->palette().color(QPalette::Base), QColor(0xFD, 0xFF, 0xD9));

        const std::pair<QToolButton*, QString> buttons[] = {
            {form.spGuardar, QStringLiteral("Guardar configuración de backup")},
            {form.spBorrarServidor, QStringLiteral("Borrar línea seleccionada")},
            {form.spBackup, QStringLiteral("Realizar copia de seguridad")},
            {form.spLog, QStringLiteral("Mostrar estado de las operaciones")},
            {form.spProgramacion, QStringLiteral("Programación")},
            {form.spAyuda, QStringLiteral("Ayuda")},
            {form.spSalir, QStringLiteral("Salir de esta pantalla")}};
        for (const auto& [button, hint] : buttons) {
            QCOMPARE(button->toolTip(), hint);
            QCOMPARE(button->size(), QSize(38, 38));
            QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
        }
        QCOMPARE(form.spGuardar->x(), 5);
        QCOMPARE(form.spBorrarServidor->x(), 54);
        QCOMPARE(form.spBackup->x(), 131);
        QCOMPARE(form.spLog->x(), 180);
        QCOMPARE(form.spProgramacion->x(), 236);
        QVERIFY(dialogs.messages.isEmpty());
    }

    void creationLoadsThePlanExpandedAndTheFirstServersCompanies() {
        FakeDialogs dialogs;
        const QString local = QStringLiteral("[]Oficina");
        SavePlan(
            {{local, {QStringLiteral("<DESTINO>"), oficinaPath_ + QStringLiteral("/EMPRESA1")}}});
        dialogs.messages.clear();

        TBackupForm form(*data_);
        QCOMPARE(dialogs.texts(), QStringList{kMissingDestinationWarning});
        QCOMPARE(Rows(form.listview1),
                 (QStringList{QStringLiteral("Oficina"), QStringLiteral("Almacen")}));
        QCOMPARE(Rows(form.listview1, 1), (QStringList{oficinaPath_, almacenPath_}));
        QCOMPARE(form.listview1->selectedItems(),
                 QList<QTreeWidgetItem*>{form.listview1->topLevelItem(0)});
        QCOMPARE(Rows(form.ListView2),
                 (QStringList{QStringLiteral("EMPRESA1"), QStringLiteral("EMPRESA2")}));

        QCOMPARE(TreeTexts(form.TreeView),
                 (QStringList{local, QStringLiteral("  <DESTINO>"),
                              kIndent + oficinaPath_ + QStringLiteral("/EMPRESA1")}));
        QVERIFY(form.TreeView->topLevelItem(0)->isExpanded());

        // Nothing stores a time marker; shown, it is drawn like the destination.
        form.Plan.Servers[0].Children.insert(1, QStringLiteral("<HORA>22:00"));
        form.ShowPlan();

        // Servers bold and black, tags blue-grey, companies black; the entry
        // with the keyboard focus white.
        const QAbstractItemModel* model = form.TreeView->model();
        const QModelIndex server = model->index(0, 0);
        bool bold = false;
        QCOMPARE(DrawnColour(form, server, false, &bold), QColor(Qt::black));
        QVERIFY(bold);
        QCOMPARE(DrawnColour(form, model->index(0, 0, server), false, &bold),
                 QColor(0x3E, 0x64, 0x84));
        QVERIFY(!bold);
        QCOMPARE(DrawnColour(form, model->index(1, 0, server), false, &bold),
                 QColor(0x3E, 0x64, 0x84));
        QCOMPARE(DrawnColour(form, model->index(2, 0, server), false, &bold), QColor(Qt::black));
        QCOMPARE(DrawnColour(form, model->index(2, 0, server), true, &bold), QColor(Qt::white));
        QCOMPARE(DrawnColour(form, server, true, &bold), QColor(Qt::white));
        QVERIFY(bold);
    }

    void aPlanBuiltByDraggingIsSavedAndReadBackByAFreshWindow() {
        FakeDialogs dialogs;
        QList<PlanServer> built;
        {
            auto form = ShownForm();
            QVERIFY(form);

            // A company of the second server: its server comes with it.
            ClickRow(form->listview1, 1);
            QCOMPARE(Rows(form->ListView2), QStringList{QStringLiteral("ALMACEN1")});
            ClickRow(form->ListView2, 0);
            QVERIFY(DragInto(*form, form->ListView2));
            QCOMPARE(form->Plan.Servers.at(0).Text, QStringLiteral("[]Almacen"));
            QCOMPARE(form->Plan.Servers.at(0).Children,
                     (QStringList{QStringLiteral("<DESTINO>"),
                                  almacenPath_ + QStringLiteral("/ALMACEN1")}));
            QVERIFY(form->Plan.PlanModified);

            // The first server row with the companies shown for it.
            ClickRow(form->listview1, 0);
            QCOMPARE(Rows(form->ListView2),
                     (QStringList{QStringLiteral("EMPRESA1"), QStringLiteral("EMPRESA2")}));
            QVERIFY(DragInto(*form, form->listview1));
            QCOMPARE(TreeTexts(form->TreeView),
                     (QStringList{QStringLiteral("[]Almacen"), QStringLiteral("  <DESTINO>"),
                                  kIndent + almacenPath_ + QStringLiteral("/ALMACEN1"),
                                  QStringLiteral("[]Oficina"), QStringLiteral("  <DESTINO>"),
                                  kIndent + oficinaPath_ + QStringLiteral("/EMPRESA1"),
                                  kIndent + oficinaPath_ + QStringLiteral("/EMPRESA2")}));
            // A dropped server is shown collapsed and selected.
            QVERIFY(!form->TreeView->topLevelItem(1)->isExpanded());
            QCOMPARE(form->TreeView->currentItem(), form->TreeView->topLevelItem(1));

            // The tree's own entries and other widgets are not accepted.
            QVERIFY(!DragInto(*form, form->TreeView));
            QCOMPARE(form->Plan.Servers.size(), 2);

            // The destination of the first server, chosen in the chooser.
            form->TreeView->expandAll();
            WhenModal<TDestino> chooser([&](TDestino& dialog) {
                QCOMPARE(dialog.Label2->text(), QStringLiteral("Servidor : []Oficina"));
                QVERIFY(dialog.Edit1->text().isEmpty());
                QVERIFY(dialog.spBuscar->isEnabled());
                // Every copy is kept until the operator says otherwise.
                QVERIFY(dialog.seConservar->isEnabled() && dialog.Label4->isHidden());
                QCOMPARE(dialog.seConservar->text(), QStringLiteral("Todas"));
                QTest::keyClicks(dialog.Edit1, QStringLiteral("/copias/quillbase/"));
                QTest::keyClick(dialog.seConservar, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(dialog.seConservar, QStringLiteral("3"));
                QTest::keyClick(dialog.seConservar, Qt::Key_Return);
            });
            ClickEntry(*form, PlanRef::ChildEntry(1, 0));
            QVERIFY(chooser.answered());
            QCOMPARE(form->Plan.Servers.at(1).Children.at(0),
                     QStringLiteral("<DESTINO>/copias/quillbase"));
            QCOMPARE(form->Plan.Servers.at(1).Conservar, 3);
            QCOMPARE(form->Plan.CurrentServerEntry, 1);

            // Save, and close without a question.
            QTest::mouseClick(form->spGuardar, Qt::LeftButton);
            QVERIFY(!form->Plan.PlanModified);
            QCOMPARE(dialogs.texts(), QStringList{kMissingDestinationWarning});
            built = form->Plan.Servers;
            QTest::mouseClick(form->spSalir, Qt::LeftButton);
            QVERIFY(!form->isVisible());
            QCOMPARE(dialogs.messages.size(), 1);
        }

        dialogs.messages.clear();
        TBackupForm fresh(*data_);
        QCOMPARE(fresh.Plan.Servers, built);
        QCOMPARE(dialogs.texts(), QStringList{kMissingDestinationWarning});
        QVERIFY(fresh.TreeView->topLevelItem(0)->isExpanded());
        QVERIFY(fresh.TreeView->topLevelItem(1)->isExpanded());
    }

    void dropsNeedASelectedServerAndKeepTheOperatorsExpansion() {
        FakeDialogs dialogs;
        auto form = ShownForm();
        QVERIFY(form);
        ClickRow(form->listview1, 0);
        // Without a selected company the company drop merges nothing, not
        // even the company's server.
        form->ListView2->clearSelection();
        QVERIFY(DragInto(*form, form->ListView2));
        QVERIFY(form->Plan.Servers.isEmpty());
        QCOMPARE(form->TreeView->topLevelItemCount(), 0);
        QVERIFY(!form->Plan.PlanModified);
        QVERIFY(DragInto(*form, form->listview1));
        QCOMPARE(form->Plan.Servers.size(), 1);
        // Nor into a server that lacks companies.
        form->Plan.Servers[0].Children.removeLast();
        form->Plan.PlanModified = false;
        QVERIFY(DragInto(*form, form->ListView2));
        QCOMPARE(form->Plan.Servers.at(0).Children.size(), 2);
        QVERIFY(!form->Plan.PlanModified);

        // Expanded by the operator, the server shows what is added to it.
        form->TreeView->topLevelItem(0)->setExpanded(true);
        form->Plan.Servers[0].Children.removeLast();
        form->ShowPlan();
        QVERIFY(DragInto(*form, form->listview1));
        QVERIFY(form->TreeView->topLevelItem(0)->isExpanded());
        QCOMPARE(form->TreeView->topLevelItem(0)->childCount(), 3);

        form->listview1->clearSelection();
        form->Plan.PlanModified = false;
        QVERIFY(DragInto(*form, form->listview1));
        QVERIFY(!form->Plan.PlanModified);
        form->Plan.PlanModified = false;
        QVERIFY(dialogs.messages.isEmpty());
    }

    void deletingAnEntryAsksFirst() {
        FakeDialogs dialogs;
        SavePlan({{QStringLiteral("[]Oficina"),
                   {QStringLiteral("<DESTINO>/copias"), oficinaPath_ + QStringLiteral("/EMPRESA1"),
                    oficinaPath_ + QStringLiteral("/EMPRESA2")}}});
        auto form = ShownForm();
        QVERIFY(form);

        // The destination cannot be deleted; nothing is asked. (Its click
        // opens the chooser, which is cancelled.)
        WhenModal<TDestino> cancel(
            [](TDestino& dialog) { QTest::mouseClick(dialog.btCancelar, Qt::LeftButton); });
        ClickEntry(*form, PlanRef::ChildEntry(0, 0));
        QVERIFY(cancel.answered());
        QTest::mouseClick(form->spBorrarServidor, Qt::LeftButton);
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(form->Plan.Servers.at(0).Children.size(), 3);

        ClickEntry(*form, PlanRef::ChildEntry(0, 2));
        dialogs.answers.enqueue(MsgResult::No);
        QTest::mouseClick(form->spBorrarServidor, Qt::LeftButton);
        QCOMPARE(form->TreeView->topLevelItem(0)->childCount(), 3);
        dialogs.answers.enqueue(MsgResult::Yes);
        QTest::mouseClick(form->spBorrarServidor, Qt::LeftButton);
        QCOMPARE(dialogs.texts(),
                 (QStringList{QStringLiteral("Desea eliminar :  ") + oficinaPath_ +
                                  QStringLiteral("/EMPRESA2  de esta configuración"),
                              QStringLiteral("Desea eliminar :  ") + oficinaPath_ +
                                  QStringLiteral("/EMPRESA2  de esta configuración")}));
        QCOMPARE(dialogs.messages.last().icon, MsgIcon::Information);
        QCOMPARE(dialogs.messages.last().buttons, MsgButtons::YesNo);
        QCOMPARE(TreeTexts(form->TreeView),
                 (QStringList{QStringLiteral("[]Oficina"), QStringLiteral("  <DESTINO>/copias"),
                              kIndent + oficinaPath_ + QStringLiteral("/EMPRESA1")}));
        QCOMPARE(form->TreeView->currentItem(), form->TreeView->topLevelItem(0));

        // After a delete the first server is current: the next delete asks
        // about the whole server.
        QTest::mouseClick(form->spBorrarServidor, Qt::LeftButton);
        QCOMPARE(
            dialogs.messages.last().text,
            QStringLiteral("Desea eliminar todo el servidor :  []Oficina  de esta configuración"));
        QCOMPARE(form->TreeView->topLevelItemCount(), 0);
        form->Plan.PlanModified = false;
    }

    void closingAsksToSaveChanges() {
        FakeDialogs dialogs;
        SavePlan(
            {{QStringLiteral("[]Oficina"),
              {QStringLiteral("<DESTINO>/copias"), oficinaPath_ + QStringLiteral("/EMPRESA1")}}});
        const QList<PlanServer> saved = [&] {
            TBackupForm form(*data_);
            return form.Plan.Servers;
        }();

        {
            auto form = ShownForm();
            QVERIFY(form);
            ClickRow(form->listview1, 1);
            ClickRow(form->ListView2, 0);
            QVERIFY(DragInto(*form, form->ListView2));
            dialogs.answers.enqueue(MsgResult::No);
            QVERIFY(form->close());
            QCOMPARE(dialogs.texts(), QStringList{kSaveQuestion});
            QCOMPARE(dialogs.messages.first().icon, MsgIcon::Information);
            QCOMPARE(dialogs.messages.first().title, QStringLiteral("Información"));
            QCOMPARE(dialogs.messages.first().buttons, MsgButtons::YesNo);
        }
        {
            TBackupForm form(*data_);
            QCOMPARE(form.Plan.Servers, saved);
        }

        dialogs.messages.clear();
        {
            auto form = ShownForm();
            QVERIFY(form);
            ClickRow(form->listview1, 1);
            QVERIFY(DragInto(*form, form->listview1));
            // Esc leaves the window the same way.
            QTest::keyClick(form.get(), Qt::Key_Escape);
            QVERIFY(!form->isVisible());
            QCOMPARE(dialogs.texts(), (QStringList{kSaveQuestion, kMissingDestinationWarning}));
        }
        TBackupForm form(*data_);
        QCOMPARE(form.Plan.Servers.size(), 2);
        QCOMPARE(form.Plan.Servers.at(0).Text, QStringLiteral("[]Almacen"));
    }

    void clicksPickAndEditAsTheOperatorExpects() {
        FakeDialogs dialogs;
        SavePlan(
            {{QStringLiteral("[]Oficina"),
              {QStringLiteral("<DESTINO>/copias"), oficinaPath_ + QStringLiteral("/EMPRESA1")}},
             {QStringLiteral("[192.0.2.7]Remoto"),
              {QStringLiteral("<DESTINO>D:\\Copias"), QStringLiteral("C:\\Quillbase\\EMPRESA9")}}});
        // "[1" sorts before "[]": the remote server comes first.
        auto form = ShownForm();
        QVERIFY(form);

        // A secondary-button press on a destination only picks it.
        ClickEntry(*form, PlanRef::ChildEntry(1, 0), Qt::RightButton);
        QCOMPARE(form->Plan.CurrentChildEntry, PlanRef::ChildEntry(1, 0));
        QCOMPARE(form->TreeView->currentItem(), form->ItemOf(PlanRef::ChildEntry(1, 0)));

        // Empty space with the destination selected opens the chooser again;
        // Cancel keeps the destination, whatever was typed.
        WhenModal<TDestino> cancel([](TDestino& dialog) {
            QCOMPARE(dialog.Edit1->text(), QStringLiteral("/copias"));
            dialog.Edit1->setText(QStringLiteral("/otra"));
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        ClickEmptySpace(*form);
        QVERIFY(cancel.answered());
        QCOMPARE(form->Plan.Servers.at(1).Children.at(0), QStringLiteral("<DESTINO>/copias"));
        QVERIFY(!form->Plan.PlanModified);

        // Empty space with a server selected keeps that server current.
        ClickEntry(*form, PlanRef::ServerEntry(0));
        QCOMPARE(form->Plan.CurrentServerEntry, 0);
        ClickEmptySpace(*form);
        QCOMPARE(form->Plan.CurrentServerEntry, 0);
        QCOMPARE(form->Plan.CurrentChildEntry, PlanRef());
        QVERIFY(form->ItemOf(PlanRef::ServerEntry(0))->isSelected());

        // A remote server's destination is typed, never browsed; one final
        // backslash goes.
        WhenModal<TDestino> remote([](TDestino& dialog) {
            QCOMPARE(dialog.Label2->text(), QStringLiteral("Servidor : [192.0.2.7]Remoto"));
            QVERIFY(!dialog.LocalServer);
            QVERIFY(!dialog.spBuscar->isEnabled());
            // Its old backups are on its own computer, out of reach.
            QVERIFY(!dialog.seConservar->isEnabled() && dialog.Label4->isVisible());
            QCOMPARE(dialog.Label4->text(),
                     QStringLiteral("Las copias antiguas se conservan en el servidor"));
            dialog.seConservar->setValue(4);
            dialog.Edit1->setText(QStringLiteral("E:\\Copias\\"));
            QTest::mouseClick(dialog.btAceptar, Qt::LeftButton);
        });
        ClickEntry(*form, PlanRef::ChildEntry(0, 0));
        QVERIFY(remote.answered());
        QCOMPARE(form->Plan.Servers.at(0).Children.at(0), QStringLiteral("<DESTINO>E:\\Copias"));
        QCOMPARE(form->Plan.Servers.at(0).Conservar, 0);
        QVERIFY(form->Plan.PlanModified);
        form->Plan.PlanModified = false;
    }

    void theListsShowTheirHintsAndFollowTheKeyboard() {
        FakeDialogs dialogs;
        auto form = ShownForm();
        QVERIFY(form);
        QEvent enter(QEvent::Enter);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(form->listview1, &enter);
        QCOMPARE(form->st1->text(),
                 QStringLiteral("Seleccione un servidor y arrastre hasta el panel de la derecha "
                                "\"Servidores y empresas seleccionados para realizar la copia\""));
        QApplication::sendEvent(form->listview1, &leave);
        QVERIFY(form->st1->text().isEmpty());
        QApplication::sendEvent(form->ListView2, &enter);
        QCOMPARE(form->st1->text(),
                 QStringLiteral("Seleccione una empresa y arrastre hasta el panel de la derecha "
                                "\"Servidores y empresas seleccionados para realizar la copia\""));
        QApplication::sendEvent(form->ListView2, &leave);
        QVERIFY(form->st1->text().isEmpty());

        form->listview1->setFocus();
        QTest::keyClick(form->listview1, Qt::Key_Down);
        QCOMPARE(Rows(form->ListView2), QStringList{QStringLiteral("ALMACEN1")});
        QTest::keyClick(form->listview1, Qt::Key_Up);
        QCOMPARE(Rows(form->ListView2),
                 (QStringList{QStringLiteral("EMPRESA1"), QStringLiteral("EMPRESA2")}));
        QVERIFY(dialogs.messages.isEmpty());
    }

    void theButtonRowAndTheAddressColumnFollowTheWindow() {
        FakeDialogs dialogs;
        {
            auto form = ShownForm();
            QVERIFY(form);
            form->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(form.get()));
            QCOMPARE(form->listview1->columnWidth(2), 120);

            for (int width : {800, 1100, 900}) {
                form->resize(width, 600);
                QTRY_COMPARE(form->width(), width);
                QCOMPARE(form->spSalir->x(), form->Panel8->width() - 38 - 3);
                QCOMPARE(form->spAyuda->x(), form->spSalir->x() - 38 - 10);
            }
            // Moving the splitter narrows the button row; the buttons follow.
            form->Splitter1->setSizes({500, 300});
            QCOMPARE(form->spSalir->x(), form->Panel8->width() - 38 - 3);
        }

        platform::SetExecutableDirectory(manyServersDir_);
        auto form = ShownForm();
        QVERIFY(form);
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTRY_COMPARE(form->listview1->columnWidth(2), 102);
        // Only activation sets it.
        form->listview1->setColumnWidth(2, 50);
        form->resize(900, 700);
        QCOMPARE(form->listview1->columnWidth(2), 50);
        QVERIFY(dialogs.messages.isEmpty());
    }

    void helpOpensTheHelpFile() {
        FakeDialogs dialogs;
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        SetHelpFileSource([] { return QStringLiteral("/opt/quillbase/QuillbaseBackup.chm"); });
        {
            auto form = ShownForm();
            QVERIFY(form);
            QTest::mouseClick(form->spAyuda, Qt::LeftButton);
            QTest::keyClick(form.get(), Qt::Key_F1);
        }
        SetHelpFileSource({});
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        // Here the installed page of the backup window's context opens.
        QCOMPARE(catcher.urls,
                 (QList<QUrl>(2, QUrl::fromLocalFile(platform::ExecutableDirectory() +
                                                     QStringLiteral("ayuda/copias.html")))));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    // ---- the chooser on its own ----------------------------------------------

    void theChooserIsBuiltAsDescribed() {
        TDestino chooser;
        QCOMPARE(chooser.size(), QSize(422, 209));
        QVERIFY(chooser.windowTitle().isEmpty());
        QVERIFY(!chooser.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QCOMPARE(chooser.Label1->text(), QStringLiteral("Seleccione la carpeta destino"));
        QCOMPARE(chooser.Label2->pos(), QPoint(15, 16));
        QCOMPARE(chooser.Label2->font().pointSize(), 9);
        QVERIFY(chooser.Label2->font().bold());
        QCOMPARE(chooser.Label2->palette().color(QPalette::WindowText), QColor(0x80, 0x00, 0x00));
        QCOMPARE(chooser.Label1->pos(), QPoint(15, 60));
        QCOMPARE(chooser.Edit1->geometry().topLeft(), QPoint(15, 86));
        QCOMPARE(chooser.Edit1->width(), 347);
        QCOMPARE(chooser.spBuscar->geometry(), QRect(368, 84, 28, 26));
        QCOMPARE(chooser.btCancelar->geometry(), QRect(183, 152, 93, 32));
        QCOMPARE(chooser.btAceptar->geometry(), QRect(303, 152, 93, 32));
        QCOMPARE(chooser.btCancelar->text(), QStringLiteral("Cancelar"));
        QCOMPARE(chooser.btAceptar->text(), QStringLiteral("Aceptar"));
        QVERIFY(chooser.btAceptar->isDefault());
        QVERIFY(chooser.btAceptar->font().bold());
    }

    void anEmptyFolderIsConfirmedFirst() {
        FakeDialogs dialogs;
        TDestino chooser;
        chooser.LocalServer = true;
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        chooser.btCancelar->setFocus();
        dialogs.answers.enqueue(MsgResult::No);
        QTest::mouseClick(chooser.btAceptar, Qt::LeftButton);
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(chooser.focusWidget(), chooser.Edit1);
        QCOMPARE(dialogs.messages.first().text,
                 QStringLiteral("No ha indicado ninguna carpeta destino\n\n\r        "
                                "¿ desea continuar ?           "));
        QCOMPARE(dialogs.messages.first().icon, MsgIcon::Information);
        QCOMPARE(dialogs.messages.first().buttons, MsgButtons::YesNo);
        QVERIFY(chooser.isVisible());

        QTest::mouseClick(chooser.btAceptar, Qt::LeftButton);
        QVERIFY(!chooser.isVisible());
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        QVERIFY(chooser.Edit1->text().isEmpty());
    }

    void enterPressesTheFocusedButton() {
        FakeDialogs dialogs;
        const auto enterOn = [](QWidget* (*focused)(TDestino&)) {
            TDestino chooser;
            chooser.LocalServer = true;
            chooser.Edit1->setText(QStringLiteral("/nueva/"));
            chooser.show();
            if (!QTest::qWaitForWindowExposed(&chooser)) return -1;
            QWidget* focus = focused(chooser);
            focus->setFocus();
            QTest::keyClick(focus, Qt::Key_Return);
            return chooser.isVisible() ? -1 : chooser.result();
        };
        QCOMPARE(enterOn([](TDestino& d) -> QWidget* { return d.btCancelar; }),
                 int(QDialog::Rejected));
        QCOMPARE(enterOn([](TDestino& d) -> QWidget* { return d.btAceptar; }),
                 int(QDialog::Accepted));
        // In the folder field Enter accepts, through the default button.
        QCOMPARE(enterOn([](TDestino& d) -> QWidget* { return d.Edit1; }), int(QDialog::Accepted));
        QVERIFY(dialogs.messages.isEmpty());
    }

    void oneFinalSeparatorIsRemoved() {
        const std::pair<QString, QString> cases[] = {
            {QStringLiteral("D:\\Copias\\"), QStringLiteral("D:\\Copias")},
            {QStringLiteral("C:\\"), QStringLiteral("C:")},
            {QStringLiteral("D:\\Copias\\\\"), QStringLiteral("D:\\Copias\\")},
            {QStringLiteral("/srv/copias/"), QStringLiteral("/srv/copias")},
            {QStringLiteral("/"), QStringLiteral("/")},
            {QStringLiteral("D:\\Copias"), QStringLiteral("D:\\Copias")}};
        for (const auto& [typed, kept] : cases) {
            TDestino chooser;
            chooser.Edit1->setText(typed);
            chooser.btAceptarClick();
            QCOMPARE(chooser.Edit1->text(), kept);
            QCOMPARE(chooser.result(), int(QDialog::Accepted));
        }
    }

    void theBrowseButtonOpensTheFolderBrowserAtTheRoot() {
        struct Call {
            QString title, initial, status;
        };
        QList<Call> calls;
        std::optional<QString> answer = QStringLiteral("/home/copias");
        SetFolderBrowser(
            [&](QWidget*, const QString& title, const QString& initial, const QString& status) {
                calls.append({title, initial, status});
                return answer;
            });
        TDestino chooser;
        chooser.LocalServer = true;
        chooser.Edit1->setText(QStringLiteral("/antes"));
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        QVERIFY(chooser.spBuscar->isEnabled());
        QTest::mouseClick(chooser.spBuscar, Qt::LeftButton);
        QCOMPARE(chooser.Edit1->text(), QStringLiteral("/home/copias"));
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls.first().title, QStringLiteral("Destino"));
        QCOMPARE(calls.first().initial, QStringLiteral("/"));
        QVERIFY(calls.first().status.isEmpty());

        answer.reset();
        QTest::mouseClick(chooser.spBuscar, Qt::LeftButton);
        QCOMPARE(chooser.Edit1->text(), QStringLiteral("/home/copias"));
    }

    void theRealFolderDialogShowsFoldersOnly() {
        QTemporaryDir folder;
        QString path;
        WhenModal<QFileDialog> cancel([&](QFileDialog& dialog) {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Destino"));
            QCOMPARE(dialog.fileMode(), QFileDialog::Directory);
            QVERIFY(dialog.testOption(QFileDialog::ShowDirsOnly));
            QCOMPARE(dialog.directory().absolutePath(), QStringLiteral("/"));
            // Enter on its focused cancel button cancels.
            auto* buttons = dialog.findChild<QDialogButtonBox*>();
            QVERIFY(buttons != nullptr && buttons->button(QDialogButtonBox::Cancel) != nullptr);
            QPushButton* cancelButton = buttons->button(QDialogButtonBox::Cancel);
            cancelButton->setFocus();
            QTest::keyClick(cancelButton, Qt::Key_Return);
        });
        QVERIFY(!BrowseForFolder(QStringLiteral("Destino"), QStringLiteral("/"), QString(), path));
        QVERIFY(cancel.answered());
        QVERIFY(path.isEmpty());

        WhenModal<QFileDialog> choose([&](QFileDialog& dialog) {
            // The folder typed into the dialog's name field.
            auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name != nullptr);
            name->setText(folder.path());
            static_cast<QDialog&>(dialog).accept();  // as the Choose button does
        });
        QVERIFY(BrowseForFolder(QStringLiteral("Destino"), QStringLiteral("/"), QString(), path));
        QVERIFY(choose.answered());
        QCOMPARE(QFileInfo(path).canonicalFilePath(), QFileInfo(folder.path()).canonicalFilePath());
    }

    // With the toolkit's translations the program loads at start, the
    // folder dialog's own texts are Spanish.
    void theRealFolderDialogSpeaksSpanish() {
        QTranslator* spanish = platform::InstallToolkitTranslations(*QCoreApplication::instance());
        QVERIFY2(spanish != nullptr,
                 "Qt's Spanish translations (qt6-translations-l10n) are not installed");
        QStringList buttons;
        QStringList labels;
        WhenModal<QFileDialog> look([&](QFileDialog& dialog) {
            for (const QAbstractButton* button : dialog.findChild<QDialogButtonBox*>()->buttons())
                buttons << button->text();
            for (const char* name : {"lookInLabel", "fileNameLabel"})
                labels << dialog.findChild<QLabel*>(QLatin1String(name))->text();
            dialog.reject();
        });
        QString path;
        BrowseForFolder(QStringLiteral("Destino"), QStringLiteral("/"), QString(), path);
        QCoreApplication::removeTranslator(spanish);
        delete spanish;
        QVERIFY(look.answered());
        QCOMPARE(buttons,
                 (QStringList{QStringLiteral("&Seleccionar"), QStringLiteral("Cancelar")}));
        QCOMPARE(labels, (QStringList{QStringLiteral("Ver en:"), QStringLiteral("Directorio:")}));
    }
};

QTEST_MAIN(TestBackupForm)
#include "tst_backupform.moc"
