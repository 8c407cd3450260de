#include "plan/FBackupForm.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>

#include "plan/FDestino.h"
#include "plan/FServidoresForm.h"
#include "plan/Help.h"
#include "plan/PlanResources.h"
#include "platform/Dialogs.h"
#include "platform/ErrorReport.h"

using namespace plantext;

namespace {

constexpr int kHelpContext = 1;

const QString kServerList = QStringLiteral("listview1");
const QString kCompanyList = QStringLiteral("ListView2");

const QString kServerHint = QStringLiteral(
    "Seleccione un servidor y arrastre hasta el panel de la derecha \"Servidores y empresas "
    "seleccionados para realizar la copia\"");
const QString kCompanyHint = QStringLiteral(
    "Seleccione una empresa y arrastre hasta el panel de la derecha \"Servidores y empresas "
    "seleccionados para realizar la copia\"");

const QColor kTreeBackground(0xFD, 0xFF, 0xD9);
const QColor kTagColour(0x3E, 0x64, 0x84);

QPointer<QObject>& SimulatedDragSource() {
    static QPointer<QObject> source;
    return source;
}

const QObject* DragSource(const QDropEvent* event) {
    if (SimulatedDragSource()) return SimulatedDragSource();
    return event->source();
}

QWidget* Panel(QWidget* parent, const QString& name) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(name);
    return panel;
}

void Colour(QWidget* widget, const QColor& background) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, background);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QFont Bold(QFont font) {
    font.setBold(true);
    return font;
}

// A report-style list: whole rows, one selected, read-only, a drag source.
QTreeWidget* CatalogueList(QWidget* parent, const QString& name, const QStringList& columns,
                           const QList<int>& widths) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    list->setColumnCount(static_cast<int>(columns.size()));
    list->setHeaderLabels(columns);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setDragEnabled(true);
    list->setDragDropMode(QAbstractItemView::DragOnly);
    list->setDefaultDropAction(Qt::CopyAction);
    list->header()->setSectionsClickable(false);
    list->header()->setStretchLastSection(false);
    for (int column = 0; column < widths.size(); ++column) {
        list->setColumnWidth(column, widths.at(column));
    }
    return list;
}

class TreeViewDelegate : public QStyledItemDelegate {
public:
    TreeViewDelegate(const TBackupForm& form, QObject* parent)
        : QStyledItemDelegate(parent), form_(form) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        form_.TreeViewCustomDrawItem(*option, index);
    }

private:
    const TBackupForm& form_;
};

}  // namespace

void SetSimulatedDragSource(QObject* source) { SimulatedDragSource() = source; }

// ---- the plan tree ---------------------------------------------------------

TPlanTreeView::TPlanTreeView(TBackupForm& form, QWidget* parent)
    : QTreeWidget(parent), form_(form) {}

void TPlanTreeView::mousePressEvent(QMouseEvent* event) {
    primaryPressed_ = event->button() == Qt::LeftButton;
    form_.TreeViewMouseDown(event->position().toPoint());
    // A press on empty space leaves the selected entry as it was.
    if (itemAt(event->position().toPoint()) != nullptr) QTreeWidget::mousePressEvent(event);
}

void TPlanTreeView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    const bool click = primaryPressed_ && event->button() == Qt::LeftButton;
    primaryPressed_ = false;
    if (click) form_.TreeViewClick();
}

void TPlanTreeView::dragEnterEvent(QDragEnterEvent* event) {
    if (!form_.TreeViewDragOver(DragSource(event))) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TPlanTreeView::dragMoveEvent(QDragMoveEvent* event) {
    if (!form_.TreeViewDragOver(DragSource(event))) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TPlanTreeView::dropEvent(QDropEvent* event) {
    const QObject* source = DragSource(event);
    if (!form_.TreeViewDragOver(source)) {
        event->ignore();
        return;
    }
    // A copy: the list keeps its row.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    form_.TreeViewDragDrop(source);
}

// ---- the window ------------------------------------------------------------

TBackupForm::TBackupForm(TData& data, QWidget* parent)
    : QDialog(parent), Catalogue(data), data_(data) {
    setObjectName(QStringLiteral("BackupForm"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    BuildControls();
    resize(800, 541);
    // The list panel starts 417 wide; the splitter needs its own width first.
    layout()->activate();
    Splitter1->setSizes({417, Splitter1->width() - 417 - Splitter1->handleWidth()});
    if (const QScreen* screen =
            parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    connect(&Catalogue, &TCatalogue::ServerListChanged, this, &TBackupForm::FillServerList);
    connect(&Catalogue, &TCatalogue::CompanyListChanged, this, &TBackupForm::FillCompanyList);
    connect(&Catalogue, &TCatalogue::SelectedServerChanged, this, &TBackupForm::ShowSelectedServer);

    platform::Guarded([this] { FormCreate(); });
}

TBackupForm::~TBackupForm() = default;

QToolButton* TBackupForm::AddButton(const QString& name, const QString& picture,
                                    const QString& hint, int left) {
    auto* button = new QToolButton(Panel8);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setGeometry(left, 4, 38, 38);
    button->setIcon(PlanIcon(picture, QSize(32, 32)));
    button->setIconSize(QSize(32, 32));
    button->setToolTip(hint);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void TBackupForm::BuildControls() {
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // The banner.
    Panel1 = Panel(this, QStringLiteral("Panel1"));
    Panel1->setFixedHeight(73);
    auto* banner = new QHBoxLayout(Panel1);
    banner->setContentsMargins(1, 1, 1, 1);
    banner->setSpacing(0);
    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(721, 71);
    Image1->setPixmap(PlanPicture(QStringLiteral("banner"), QSize(721, 71)));
    Image2 = new QLabel(Panel1);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setMinimumWidth(0);
    Image2->setFixedHeight(71);
    Image2->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    Image2->setScaledContents(true);
    Image2->setPixmap(PlanPicture(QStringLiteral("banner_fondo"), QSize(64, 71)));
    banner->addWidget(Image1);
    banner->addWidget(Image2, 1);
    Colour(Panel1, QColor(0x0A, 0x2B, 0x55));
    root->addWidget(Panel1);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setHandleWidth(4);
    Splitter1->setStyleSheet(QStringLiteral(
        "QSplitter::handle { background-color: #5F5F5F; border-left: 1px solid #8C8C8C;"
        " border-right: 1px solid #3A3A3A; }"));
    root->addWidget(Splitter1, 1);

    // The two lists.
    Panel6 = Panel(Splitter1, QStringLiteral("Panel6"));
    auto* lists = new QVBoxLayout(Panel6);
    lists->setContentsMargins(8, 8, 8, 8);
    lists->setSpacing(4);
    Label1 = new QLabel(QStringLiteral("Servidores Quillbase en este ordenador"), Panel6);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(Bold(font()));
    listview1 = CatalogueList(
        Panel6, kServerList,
        {QStringLiteral("Alias"), QStringLiteral("Ruta de acceso"), QStringLiteral("Dirección IP")},
        {86, 180, 120});
    listview1->setFixedHeight(160);
    Label2 = new QLabel(QStringLiteral("Empresas"), Panel6);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(Bold(font()));
    ListView2 = CatalogueList(Panel6, kCompanyList, {QStringLiteral("Nombre")}, {385});
    lists->addWidget(Label1);
    lists->addWidget(listview1);
    lists->addSpacing(6);
    lists->addWidget(Label2);
    lists->addWidget(ListView2, 1);

    // The button row, the heading and the plan tree.
    auto* right = Panel(Splitter1, QStringLiteral("PanelDerecho"));
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);

    Panel8 = Panel(right, QStringLiteral("Panel8"));
    Panel8->setFixedHeight(46);
    Panel8->installEventFilter(this);
    spGuardar = AddButton(QStringLiteral("spGuardar"), QStringLiteral("guardar"),
                          QStringLiteral("Guardar configuración de backup"), 5);
    spBorrarServidor = AddButton(QStringLiteral("spBorrarServidor"), QStringLiteral("borrar"),
                                 QStringLiteral("Borrar línea seleccionada"), 54);
    spBackup = AddButton(QStringLiteral("spBackup"), QStringLiteral("backup"),
                         QStringLiteral("Realizar copia de seguridad"), 131);
    spLog = AddButton(QStringLiteral("spLog"), QStringLiteral("log"),
                      QStringLiteral("Mostrar estado de las operaciones"), 180);
    spProgramacion = AddButton(QStringLiteral("spProgramacion"), QStringLiteral("programacion"),
                               QStringLiteral("Programación"), 236);
    spAyuda =
        AddButton(QStringLiteral("spAyuda"), QStringLiteral("ayuda"), QStringLiteral("Ayuda"), 0);
    spSalir = AddButton(QStringLiteral("spSalir"), QStringLiteral("salir"),
                        QStringLiteral("Salir de esta pantalla"), 0);

    Panel10 = Panel(right, QStringLiteral("Panel10"));
    Panel10->setFixedHeight(34);
    Colour(Panel10, QColor(0x57, 0x88, 0xB0));
    auto* heading = new QHBoxLayout(Panel10);
    heading->setContentsMargins(8, 0, 8, 0);
    Label3 = new QLabel(
        QStringLiteral("Servidores y empresas seleccionados para realizar la copia"), Panel10);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFont(Bold(font()));
    // The heading is cut rather than keep the splitter from moving.
    Label3->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // Where the fonts are wider than the design's, a second line rather than a cut.
    Label3->setWordWrap(true);
    QPalette white = Label3->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    Label3->setPalette(white);
    heading->addWidget(Label3);

    TreeView = new TPlanTreeView(*this, right);
    TreeView->setObjectName(QStringLiteral("TreeView"));
    TreeView->setHeaderHidden(true);
    TreeView->setColumnCount(1);
    TreeView->setIndentation(19);
    TreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeView->setDragEnabled(true);
    TreeView->setAcceptDrops(true);
    TreeView->viewport()->setAcceptDrops(true);
    TreeView->setDragDropMode(QAbstractItemView::DragDrop);
    TreeView->setDefaultDropAction(Qt::CopyAction);
    TreeView->setItemDelegate(new TreeViewDelegate(*this, TreeView));
    QPalette treePalette = TreeView->palette();
    treePalette.setColor(QPalette::Base, kTreeBackground);
    TreeView->setPalette(treePalette);

    rightLayout->addWidget(Panel8);
    rightLayout->addWidget(Panel10);
    rightLayout->addWidget(TreeView, 1);

    Splitter1->addWidget(Panel6);
    Splitter1->addWidget(right);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);

    // The status strip.
    Panel9 = Panel(this, QStringLiteral("Panel9"));
    Panel9->setFixedHeight(24);
    Colour(Panel9, kTreeBackground);
    auto* status = new QHBoxLayout(Panel9);
    status->setContentsMargins(2, 2, 2, 2);
    st1 = new QLabel(Panel9);
    st1->setObjectName(QStringLiteral("st1"));
    st1->setFont(Bold(font()));
    st1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status->addWidget(st1);
    root->addWidget(Panel9);

    connect(spGuardar, &QToolButton::clicked, this, &TBackupForm::spGuardarClick);
    connect(spBorrarServidor, &QToolButton::clicked, this, &TBackupForm::spBorrarServidorClick);
    connect(spBackup, &QToolButton::clicked, this, &TBackupForm::spBackupClick);
    connect(spLog, &QToolButton::clicked, this, &TBackupForm::spLogClick);
    connect(spProgramacion, &QToolButton::clicked, this, &TBackupForm::spProgramacionClick);
    connect(spAyuda, &QToolButton::clicked, this, &TBackupForm::spAyudaClick);
    connect(spSalir, &QToolButton::clicked, this, &TBackupForm::spSalirClick);

    connect(listview1, &QTreeWidget::itemSelectionChanged, this, &TBackupForm::listview1Change);
    connect(listview1, &QTreeWidget::clicked, this, &TBackupForm::listview1Click);
    listview1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(listview1, &QWidget::customContextMenuRequested, this,
            &TBackupForm::listview1ContextPopup);
    listview1->installEventFilter(this);
    ListView2->installEventFilter(this);

    // The operator's expanding and collapsing is kept with the plan, so that
    // showing the plan again does not undo it.
    connect(TreeView, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        const PlanRef entry = EntryOf(item);
        if (entry.IsServer()) Plan.Servers[entry.Server].Expanded = true;
    });
    connect(TreeView, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
        const PlanRef entry = EntryOf(item);
        if (entry.IsServer()) Plan.Servers[entry.Server].Expanded = false;
    });
    // The keyboard moves the selected entry too.
    connect(TreeView, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { Plan.SelectedEntry = EntryOf(current); });

    FormResize();
}

// ---- creation, activation, size, closing -----------------------------------

void TBackupForm::FormCreate() {
    Plan.PlanModified = false;
    Unattended = false;
    st1->clear();
    Plan.LoadPlan();
    ShowPlan();
    if (Catalogue.LoadServerCatalogue() && listview1->topLevelItemCount() > 0) {
        listview1->setCurrentItem(listview1->topLevelItem(0));
    }
}

bool TBackupForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QDialog::event(event);
}

void TBackupForm::FormActivate() {
    // The scroll bars follow the rows only once the list has laid them out.
    listview1->doItemsLayout();
    const bool scrolling = listview1->verticalScrollBar()->isVisible();
    listview1->setColumnWidth(2, scrolling ? 102 : 120);
}

void TBackupForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FormResize();
}

bool TBackupForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Panel8 && event->type() == QEvent::Resize) {
        // Moving the splitter changes the button row's width as well.
        FormResize();
    } else if (watched == listview1 || watched == ListView2) {
        if (event->type() == QEvent::Enter) listview1MouseEnter(watched);
        if (event->type() == QEvent::Leave) listview1MouseLeave();
    }
    return QDialog::eventFilter(watched, event);
}

void TBackupForm::FormResize() {
    spSalir->move(Panel8->width() - spSalir->width() - 3, spSalir->y());
    spAyuda->move(spSalir->x() - spAyuda->width() - 10, spAyuda->y());
}

void TBackupForm::closeEvent(QCloseEvent* event) {
    // The frame's close button and Esc are ways out like spSalir, which the
    // run disables: the run and its progress window need the window.
    if (InteractiveRun) {
        event->ignore();
        return;
    }
    FormClose();
    QDialog::closeEvent(event);
}

void TBackupForm::FormClose() {
    platform::Guarded([this] {
        if (!Plan.PlanModified) return;
        const platform::MsgResult answer = platform::CurrentDialogs().Message(
            platform::MsgIcon::Information, QStringLiteral("Información"),
            QStringLiteral("¿ Desea guardar los cambios realizados en la selección de servidores "
                           "y empresas ?"),
            platform::MsgButtons::YesNo);
        if (answer == platform::MsgResult::Yes) Plan.SavePlan();
    });
}

void TBackupForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        FormHelp();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        // Leaving by Esc asks about unsaved changes like every other way out.
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TBackupForm::FormHelp() {
    platform::Guarded([] { OpenHelp(kHelpContext); });
}

// ---- the buttons -------------------------------------------------------------

void TBackupForm::spGuardarClick() {
    platform::Guarded([this] { Plan.SavePlan(); });
}

void TBackupForm::spBorrarServidorClick() {
    platform::Guarded([this] {
        Plan.DeletePlanEntry();
        ShowPlan();
    });
}

void TBackupForm::spBackupClick() {
    platform::Guarded([this] { RunBackup(); });
}

void TBackupForm::spLogClick() {
    platform::Guarded([this] {
        if (LogBrowserHook) LogBrowserHook(*this);
    });
}

void TBackupForm::spProgramacionClick() {
    platform::Guarded([this] {
        if (ScheduleDialogHook) ScheduleDialogHook(*this);
    });
}

void TBackupForm::spAyudaClick() { FormHelp(); }

void TBackupForm::spSalirClick() { close(); }

// ---- the lists ---------------------------------------------------------------

int TBackupForm::SelectedRow(const QTreeWidget* list) const {
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.first());
}

void TBackupForm::listview1Click() { listview1Change(); }

void TBackupForm::listview1Change() {
    platform::Guarded([this] {
        const int row = SelectedRow(listview1);
        if (row < 0) return;
        const platform::WaitCursor busy;
        // Empties the company list, then reads the server's companies.
        Catalogue.SelectServer(row);
    });
}

void TBackupForm::listview1ContextPopup(const QPoint& position) {
    // The press of the secondary button has selected the row under it.
    QTreeWidgetItem* item = listview1->itemAt(position);
    const int row =
        item != nullptr && item->isSelected() ? listview1->indexOfTopLevelItem(item) : -1;
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("pmServidores"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // Each choice runs once the menu has closed.
    const auto later = [this](std::function<void()> choice) {
        return [this, choice] { QMetaObject::invokeMethod(this, choice, Qt::QueuedConnection); };
    };
    menu->addAction(QStringLiteral("Añadir servidor…"), this,
                    later([this] { EditServer(std::nullopt); }));
    if (row >= 0 && row < Catalogue.ServerList().size()) {
        const ServerEntry server = Catalogue.ServerList().at(row);
        menu->addAction(QStringLiteral("Modificar servidor…"), this,
                        later([this, server] { EditServer(server); }));
        menu->addAction(QStringLiteral("Quitar servidor…"), this,
                        later([this, server] { RemoveServer(server); }));
    }
    menu->popup(listview1->viewport()->mapToGlobal(position));
}

ServerEntry TBackupForm::SelectedServerEntry() const {
    const int row = SelectedRow(listview1);
    return row >= 0 && row < Catalogue.ServerList().size() ? Catalogue.ServerList().at(row)
                                                           : ServerEntry();
}

void TBackupForm::EditServer(const std::optional<ServerEntry>& editing) {
    platform::Guarded([this, &editing] {
        const ServerEntry selected = SelectedServerEntry();
        TServidoresForm window(data_, Catalogue.ServerList(), Plan, editing, this);
        const bool written = window.exec() == QDialog::Accepted;
        const platform::WaitCursor busy;
        // A saved server that answered the check is shown with its
        // companies; one that did not is not asked again.
        if (written && window.SavedAnswered)
            Catalogue.ReloadServerList(window.Saved, true);
        else
            Catalogue.ReloadServerList(selected, false);
    });
}

void TBackupForm::RemoveServer(const ServerEntry& server) {
    platform::Guarded([this, &server] {
        const ServerEntry selected = SelectedServerEntry();
        if (!TServidoresForm::QuitarServidor(data_, Plan, server)) return;
        const platform::WaitCursor busy;
        Catalogue.ReloadServerList(selected, false);
    });
}

void TBackupForm::FillServerList() {
    const QSignalBlocker quiet(listview1);
    listview1->clear();
    for (const ServerEntry& server : Catalogue.ServerList()) {
        new QTreeWidgetItem(listview1, {server.Alias, server.RutaAcceso, server.DireccionIP});
    }
}

void TBackupForm::FillCompanyList() {
    const QSignalBlocker quiet(ListView2);
    ListView2->clear();
    for (const CompanyEntry& company : Catalogue.CompanyList()) {
        new QTreeWidgetItem(ListView2, {company.NombreEmpresa});
    }
}

void TBackupForm::ShowSelectedServer(int row) {
    // The catalogue is already reading this server's companies.
    const QSignalBlocker quiet(listview1);
    listview1->setCurrentItem(listview1->topLevelItem(row));
}

void TBackupForm::listview1MouseEnter(QObject* list) {
    st1->setText(list == listview1 ? kServerHint : kCompanyHint);
}

void TBackupForm::listview1MouseLeave() { st1->clear(); }

// ---- the plan tree -----------------------------------------------------------

void TBackupForm::ShowPlan() {
    const QSignalBlocker quiet(TreeView);
    const int scrolled = TreeView->verticalScrollBar()->value();
    TreeView->clear();
    for (const PlanServer& server : Plan.Servers) {
        auto* serverItem = new QTreeWidgetItem(TreeView, {server.Text});
        for (const QString& child : server.Children) new QTreeWidgetItem(serverItem, {child});
        serverItem->setExpanded(server.Expanded);
    }
    QTreeWidgetItem* selected = ItemOf(Plan.SelectedEntry);
    TreeView->setCurrentItem(selected);
    if (selected == nullptr) TreeView->clearSelection();
    TreeView->verticalScrollBar()->setValue(scrolled);
}

PlanRef TBackupForm::EntryOf(const QTreeWidgetItem* item) const {
    // Qt's look-ups take non-const items but change nothing.
    auto* entry = const_cast<QTreeWidgetItem*>(item);
    if (entry == nullptr) return PlanRef();
    if (QTreeWidgetItem* parent = entry->parent()) {
        return PlanRef::ChildEntry(TreeView->indexOfTopLevelItem(parent),
                                   parent->indexOfChild(entry));
    }
    return PlanRef::ServerEntry(TreeView->indexOfTopLevelItem(entry));
}

QTreeWidgetItem* TBackupForm::ItemOf(const PlanRef& entry) const {
    QTreeWidgetItem* server = entry.IsNone() ? nullptr : TreeView->topLevelItem(entry.Server);
    if (server == nullptr || entry.IsServer()) return server;
    return server->child(entry.Child);
}

void TBackupForm::TreeViewMouseDown(const QPoint& position) {
    const PlanRef entry = EntryOf(TreeView->itemAt(position));
    Plan.PickEntry(entry);
    if (!entry.IsNone()) TreeView->setCurrentItem(ItemOf(entry));
}

void TBackupForm::TreeViewClick() {
    platform::Guarded([this] {
        if (Plan.ClickSelectedEntry()) EditDestination();
    });
}

void TBackupForm::EditDestination() {
    const QString serverText = Plan.Text(PlanRef::ServerEntry(Plan.CurrentServerEntry));
    TDestino chooser(this);
    chooser.LocalServer = IsLocalServer(serverText);
    chooser.Label2->setText(QStringLiteral("Servidor : ") + serverText);
    chooser.Edit1->setText(DestinationFolder(Plan.Text(Plan.CurrentChildEntry)));
    chooser.seConservar->setValue(Plan.Servers.at(Plan.CurrentChildEntry.Server).Conservar);
    const PlanEntryName edited = Plan.NameOf(Plan.CurrentChildEntry);
    if (chooser.exec() != QDialog::Accepted) return;
    // The chooser's event loop may have run the scheduled walk, which moves
    // the editing state; the folder goes to the entry that was clicked.
    const PlanRef entry = Plan.Find(edited);
    if (entry.IsNone()) return;
    Plan.CurrentServerEntry = entry.Server;
    Plan.CurrentChildEntry = entry;
    Plan.SetPlanDestination(chooser.Edit1->text());
    if (chooser.LocalServer) Plan.SetPlanConservar(chooser.seConservar->value());
    ShowPlan();
}

bool TBackupForm::TreeViewDragOver(const QObject* source) const {
    if (qobject_cast<const QAbstractItemView*>(source) == nullptr) return false;
    return source->objectName() == kServerList || source->objectName() == kCompanyList;
}

void TBackupForm::TreeViewDragDrop(const QObject* source) {
    platform::Guarded([this, source] {
        // Without a selected server there is nothing to merge.
        const int serverRow = SelectedRow(listview1);
        if (source == nullptr || serverRow < 0 || serverRow >= Catalogue.ServerList().size()) {
            return;
        }
        const ServerEntry server = Catalogue.ServerList().at(serverRow);
        if (source->objectName() == kServerList) {
            Plan.AddServerToPlan(server, Catalogue.CompanyList());
        } else if (source->objectName() == kCompanyList) {
            const int companyRow = SelectedRow(ListView2);
            if (companyRow < 0 || companyRow >= Catalogue.CompanyList().size()) return;
            Plan.AddCompanyToPlan(server, Catalogue.CompanyList().at(companyRow));
        } else {
            return;
        }
        ShowPlan();
    });
}

void TBackupForm::TreeViewCustomDrawItem(QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    const bool server = !index.parent().isValid();
    const QString text = index.data(Qt::DisplayRole).toString();
    QColor colour = Qt::black;
    if (!server && (text.startsWith(kDestinationTag) || IsTimeMarker(text))) colour = kTagColour;
    if (option.state.testFlag(QStyle::State_HasFocus)) {
        // The entry with the keyboard focus: white on the selection highlight.
        option.state |= QStyle::State_Selected;
        colour = Qt::white;
    }
    option.font.setBold(server);
    option.fontMetrics = QFontMetrics(option.font);
    option.palette.setColor(QPalette::Text, colour);
    option.palette.setColor(QPalette::HighlightedText, colour);
}
