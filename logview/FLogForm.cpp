#include "logview/FLogForm.h"

#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QRadioButton>
#include <QSet>
#include <QSignalBlocker>
#include <QTableView>
#include <QVBoxLayout>

#include "backup/BackupLog.h"
#include "logview/FViewErrorLog.h"
#include "logview/LogPictures.h"
#include "platform/ErrorReport.h"

using namespace logtext;

namespace {

constexpr int kColumns = 5;
const int kColumnWidths[kColumns] = {91, 54, 127, 144, 294};

QString ColumnCaption(int column) {
    switch (column) {
        case 0:
            return QStringLiteral("Fecha");
        case 1:
            return QStringLiteral("Hora");
        case 2:
            return QStringLiteral("Servidor");
        case 3:
            return QStringLiteral("Empresa");
        default:
            return QStringLiteral("Destino");
    }
}

QFont WindowFont() {
    // Tahoma, or a face of like width where it is not installed.
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Arial")});
    font.setPixelSize(11);
    return font;
}

// Rolls the log's transaction back and disconnects it when a fill ends,
// however it ends.
struct SessionCloser {
    TData& data;
    ~SessionCloser() { data.CloseDatabaseSession(data.IBDBackup, data.IBTBackup); }
};

}  // namespace

// ---- the rows ------------------------------------------------------------------

TLogListModel::TLogListModel(QObject* parent) : QAbstractTableModel(parent) {
    icons_[0] = LogIcon(QStringLiteral("fallo"), QSize(16, 16));
    icons_[1] = LogIcon(QStringLiteral("exito"), QSize(16, 16));
}

int TLogListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

int TLogListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant TLogListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) return {};
    const TLogRow& row = Row(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
            case 0:
                return row.Fecha;
            case 1:
                return row.Hora;
            case 2:
                return row.Servidor;
            case 3:
                return row.Empresa;
            case 4:
                return row.Destino;
        }
    } else if (role == Qt::DecorationRole && index.column() == 0) {
        return icons_[row.Icon == 1 ? 1 : 0];
    }
    return {};
}

QVariant TLogListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return ColumnCaption(section);
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void TLogListModel::Clear() {
    if (rows_.empty()) return;
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void TLogListModel::Append(std::vector<TLogRow>&& rows) {
    if (rows.empty()) return;
    const int first = Count();
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    if (rows_.empty()) {
        rows_ = std::move(rows);
    } else {
        rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
                     std::make_move_iterator(rows.end()));
    }
    endInsertRows();
}

// ---- the window -----------------------------------------------------------------

TLogForm::TLogForm(TData& data, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint),
      data_(data) {
    setObjectName(QStringLiteral("LogForm"));
    setWindowTitle(kTitle);
    setFont(WindowFont());
    BuildControls();
    resize(722, 414);
}

void TLogForm::BuildControls() {
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(57);
    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(6, 4, 48, 48);
    Image1->setPixmap(LogPicture(QStringLiteral("historial"), QSize(48, 48)));
    rb1 = new QRadioButton(kByDate, Panel1);
    rb1->setObjectName(QStringLiteral("rb1"));
    rb1->setGeometry(68, 7, 220, 19);
    rb1->setChecked(true);
    rb2 = new QRadioButton(kByServer, Panel1);
    rb2->setObjectName(QStringLiteral("rb2"));
    rb2->setGeometry(68, 31, 220, 19);
    cbServidores = new QComboBox(Panel1);
    cbServidores->setObjectName(QStringLiteral("cbServidores"));
    cbServidores->setEditable(false);
    cbServidores->setGeometry(296, 29, 235, 21);
    cbServidores->hide();
    root->addWidget(Panel1);

    Rows = new TLogListModel(this);
    listviewlog = new QTableView(this);
    listviewlog->setObjectName(QStringLiteral("listviewlog"));
    listviewlog->setModel(Rows);
    listviewlog->setSelectionBehavior(QAbstractItemView::SelectRows);
    listviewlog->setSelectionMode(QAbstractItemView::SingleSelection);
    listviewlog->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listviewlog->setShowGrid(true);
    listviewlog->setWordWrap(false);
    listviewlog->setSortingEnabled(false);
    listviewlog->setIconSize(QSize(16, 16));
    listviewlog->setTabKeyNavigation(false);
    listviewlog->verticalHeader()->hide();
    listviewlog->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    listviewlog->verticalHeader()->setDefaultSectionSize(18);
    QHeaderView* header = listviewlog->horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    for (int column = 0; column < kColumns; ++column)
        header->resizeSection(column, kColumnWidths[column]);
    listviewlog->viewport()->installEventFilter(this);
    root->addWidget(listviewlog, 1);

    // One handler for both buttons; it acts only for the button that becomes
    // checked, so a click on the checked one does nothing.
    connect(rb1, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) rb1Click(rb1);
    });
    connect(rb2, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) rb1Click(rb2);
    });
    // Only a pick by the operator changes the filter.
    connect(cbServidores, &QComboBox::activated, this, &TLogForm::cbServidoresChange);
}

bool TLogForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == listviewlog->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        listviewlogDblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TLogForm::AddRows(fb::Statement& statement, bool collectServers) {
    // Servers met so far: the exact texts (most rows repeat one) and their
    // case-folded forms, which decide.
    QSet<QString> seen;
    QSet<QString> folded;
    if (collectServers) {
        for (int entry = 0; entry < cbServidores->count(); ++entry)
            folded.insert(cbServidores->itemText(entry).toCaseFolded());
    }
    std::vector<TLogRow> rows;
    // The rows read before a failure stay in the list.
    struct Flush {
        TLogListModel& model;
        std::vector<TLogRow>& rows;
        ~Flush() { model.Append(std::move(rows)); }
    } flush{*Rows, rows};
    int fecha = -1, hora = -1, servidor = -1, empresa = -1, destino = -1, exito = -1;
    while (statement.Next()) {
        if (fecha < 0) {
            // The columns by name, looked up once.
            const QStringList names = statement.FieldNames();
            const auto column = [&names](const char* name) {
                const QLatin1StringView wanted(name);
                for (int index = 0; index < names.size(); ++index)
                    if (names.at(index).compare(wanted, Qt::CaseInsensitive) == 0) return index;
                throw fb::FbError(QStringLiteral("No existe el campo %1").arg(wanted));
            };
            fecha = column("FECHA");
            hora = column("HORA");
            servidor = column("SERVIDOR");
            empresa = column("EMPRESA");
            destino = column("DESTINO");
            exito = column("EXITO");
        }
        TLogRow row;
        row.Icon = statement.Field(exito) == u"T" ? 1 : 0;
        row.Fecha = statement.Field(fecha);
        row.Hora = statement.Field(hora);
        row.Servidor = statement.Field(servidor);
        row.Empresa = statement.Field(empresa);
        row.Destino = statement.Field(destino);
        if (collectServers && !seen.contains(row.Servidor)) {
            seen.insert(row.Servidor);
            const QString key = row.Servidor.toCaseFolded();
            if (!folded.contains(key)) {
                folded.insert(key);
                cbServidores->addItem(row.Servidor);
            }
        }
        rows.push_back(std::move(row));
    }
}

std::optional<TLogRow> TLogForm::SelectedRow() const {
    const QModelIndexList selected = listviewlog->selectionModel()->selectedRows();
    if (selected.isEmpty()) return std::nullopt;
    return Rows->Row(selected.first().row());
}

void TLogForm::FillByDate() { Refill(false); }

void TLogForm::FillByServer() { Refill(true); }

void TLogForm::Refill(bool byServer) {
    if (byServer) {
        cbServidores->show();
        const QSignalBlocker quiet(cbServidores);
        cbServidores->setCurrentIndex(0);
    } else {
        cbServidores->hide();
    }
    Rows->Clear();

    const SessionCloser closer{data_};
    data_.IBDBackup.Disconnect();
    data_.ReopenDatabaseSession(data_.IBDBackup, BackupLogName());
    data_.IBTBackup.RollbackQuietly();
    data_.IBSQLBackup.SetSql(kSelect + (byServer ? kOrderByServer : kOrderByDate));
    data_.IBTBackup.StartTransaction();
    data_.IBSQLBackup.Execute();
    AddRows(data_.IBSQLBackup, false);
}

void TLogForm::rb1Click(QObject* sender) {
    platform::Guarded([&] {
        if (sender == rb1)
            FillByDate();
        else if (sender == rb2)
            FillByServer();
    });
}

void TLogForm::cbServidoresChange() {
    platform::Guarded([this] {
        Rows->Clear();
        if (!data_.OpenDatabaseSession(data_.IBDBackup, BackupLogName(), LongFallbackPassword,
                                       SessionPrecondition::DisconnectFirst)) {
            data_.CloseDatabaseSession(data_.IBDBackup, data_.IBTBackup);
            return;
        }
        const SessionCloser closer{data_};
        fb::Statement& statement = data_.IBSQLBackup;
        data_.IBTBackup.RollbackQuietly();
        if (cbServidores->currentIndex() <= 0) {
            statement.SetSql(kSelect + kOrderByServer);
        } else {
            statement.SetSql(kSelect + kWhereServer + kOrderByServer);
            statement.SetParam(QStringLiteral("server"), cbServidores->currentText());
        }
        data_.IBTBackup.StartTransaction();
        statement.Execute();
        AddRows(statement, false);
    });
}

void TLogForm::listviewlogDblClick() {
    platform::Guarded([this] {
        const std::optional<TLogRow> row = SelectedRow();
        if (!row) return;
        if (Mode == 0) {
            ShowLogEntry(data_, *row, this);
        } else {
            accept();
        }
    });
}
