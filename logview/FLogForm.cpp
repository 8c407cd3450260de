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
#include <algorithm>
#include <stdexcept>

#include "backup/BackupLog.h"
#include "db/Win1252.h"
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

size_t TLogRows::BytesHash::operator()(std::string_view bytes) const noexcept {
    return std::hash<std::string_view>{}(bytes);
}

quint32 TLogRows::Pool::Keep(const QString& text) {
    texts.push_back(text);
    return static_cast<quint32>(texts.size() - 1);
}

quint32 TLogRows::Pool::Number(const QString& text) {
    if (lastByText != kNone && texts[lastByText] == text) return lastByText;
    const auto found = byText.constFind(text);
    if (found != byText.cend()) return lastByText = found.value();
    lastByText = Keep(text);
    byText.insert(text, lastByText);
    return lastByText;
}

quint32 TLogRows::Pool::Number(const fb::Statement& row, int column) {
    const QByteArrayView bytes = row.FieldBytes(column);
    const std::string_view key(bytes.data(), static_cast<size_t>(bytes.size()));
    if (lastByBytes != kNone && key == lastBytes) return lastByBytes;
    lastBytes.assign(key);
    const auto found = byBytes.find(key);
    if (found != byBytes.end()) return lastByBytes = found->second;
    lastByBytes = Keep(row.FieldRef(column));
    byBytes.emplace(lastBytes, lastByBytes);
    return lastByBytes;
}

bool TLogRows::Add(const fb::Statement& row, const Columns& columns) {
    Row stored{};
    stored.icon = row.FieldRef(columns.exito) == u"T" ? 1 : 0;
    const size_t servers = pools_[kServidor].texts.size();
    stored.text[kFecha] = pools_[kFecha].Number(row, columns.fecha);
    stored.text[kHora] = pools_[kHora].Number(row, columns.hora);
    stored.text[kServidor] = pools_[kServidor].Number(row, columns.servidor);
    stored.text[kEmpresa] = pools_[kEmpresa].Number(row, columns.empresa);
    if (!row.FieldHoldsText(columns.destino) ||
        !StoreInBlock(stored, row.FieldBytes(columns.destino)))
        StoreDestino(stored, row.FieldRef(columns.destino));
    rows_.push_back(stored);
    return pools_[kServidor].texts.size() != servers;
}

bool TLogRows::Add(int icon, const QString& fecha, const QString& hora, const QString& servidor,
                   const QString& empresa, const QString& destino) {
    Row row{};
    row.icon = icon == 1 ? 1 : 0;
    const size_t servers = pools_[kServidor].texts.size();
    row.text[kFecha] = pools_[kFecha].Number(fecha);
    row.text[kHora] = pools_[kHora].Number(hora);
    row.text[kServidor] = pools_[kServidor].Number(servidor);
    row.text[kEmpresa] = pools_[kEmpresa].Number(empresa);
    StoreDestino(row, destino);
    rows_.push_back(row);
    return pools_[kServidor].texts.size() != servers;
}

bool TLogRows::StoreInBlock(Row& row, QByteArrayView win1252) {
    // A record holds at most 32767 bytes, and the blocks are counted in 16 bits.
    const qsizetype length = win1252.size();
    if (length > 0x7FFF || blocks_.size() >= kWide - 1) return false;
    if (blocks_.empty() || blocks_.back().size() + length > blocks_.back().capacity()) {
        blocks_.emplace_back();
        blocks_.back().reserve(std::max(kBlockSize, length));
    }
    QByteArray& block = blocks_.back();
    row.destinoBlock = static_cast<quint16>(blocks_.size() - 1);
    row.destinoAt = static_cast<quint32>(block.size());
    row.destinoLength = static_cast<quint16>(length) & 0x7FFF;
    block.append(win1252);  // within the reserved capacity
    return true;
}

void TLogRows::StoreDestino(Row& row, const QString& destino) {
    const std::optional<QByteArray> win1252 = fb::EncodeWin1252(destino);
    if (win1252 && StoreInBlock(row, *win1252)) return;
    row.destinoBlock = kWide;
    row.destinoAt = wide_.Number(destino);
    row.destinoLength = 0;
}

QString TLogRows::Destino(const Row& row) const {
    if (row.destinoBlock == kWide) return wide_.texts[row.destinoAt];
    const QByteArray& block = blocks_[row.destinoBlock];
    return fb::DecodeWin1252(block.constData() + row.destinoAt, row.destinoLength);
}

void TLogRows::Append(TLogRows&& other) {
    if (rows_.empty()) {
        *this = std::move(other);
        return;
    }
    for (int row = 0; row < other.Count(); ++row) {
        const TLogRow values = other.At(row);
        Add(values.Icon, values.Fecha, values.Hora, values.Servidor, values.Empresa,
            values.Destino);
    }
    other.Clear();
}

void TLogRows::Clear() { *this = TLogRows(); }

QString TLogRows::Text(int row, int column) const {
    const Row& stored = rows_[static_cast<size_t>(row)];
    if (column == kDestino) return Destino(stored);
    return pools_[column].texts[stored.text[column]];
}

TLogRow TLogRows::At(int row) const {
    TLogRow values;
    values.Icon = Icon(row);
    values.Fecha = Text(row, kFecha);
    values.Hora = Text(row, kHora);
    values.Servidor = Text(row, kServidor);
    values.Empresa = Text(row, kEmpresa);
    values.Destino = Text(row, kDestino);
    return values;
}

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
    if (!index.isValid() || index.row() >= Count() || index.column() >= kColumns) return {};
    if (role == Qt::DisplayRole) return rows_.Text(index.row(), index.column());
    if (role == Qt::DecorationRole && index.column() == 0)
        return icons_[rows_.Icon(index.row()) == 1 ? 1 : 0];
    return {};
}

QVariant TLogListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return ColumnCaption(section);
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void TLogListModel::Clear() {
    if (rows_.Empty()) return;
    beginResetModel();
    rows_.Clear();
    endResetModel();
}

void TLogListModel::Append(TLogRows&& rows) {
    if (rows.Empty()) return;
    const int first = Count();
    beginInsertRows({}, first, first + rows.Count() - 1);
    rows_.Append(std::move(rows));
    endInsertRows();
}

TLogRow TLogListModel::Row(int row) const {
    if (row < 0 || row >= Count()) throw std::out_of_range("log row");
    return rows_.At(row);
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
    // The entries' texts, case-folded, which decide whether a server is new.
    QSet<QString> folded;
    if (collectServers) {
        for (int entry = 0; entry < cbServidores->count(); ++entry)
            folded.insert(cbServidores->itemText(entry).toCaseFolded());
    }
    TLogRows rows;
    // The rows read before a failure stay in the list.
    struct Flush {
        TLogListModel& model;
        TLogRows& rows;
        ~Flush() { model.Append(std::move(rows)); }
    } flush{*Rows, rows};
    std::optional<TLogRows::Columns> columns;
    while (statement.Next()) {
        if (!columns) {
            // The columns by name, looked up once.
            const QStringList names = statement.FieldNames();
            const auto column = [&names](const char* name) {
                const QLatin1StringView wanted(name);
                for (int index = 0; index < names.size(); ++index)
                    if (names.at(index).compare(wanted, Qt::CaseInsensitive) == 0) return index;
                throw fb::FbError(QStringLiteral("No existe el campo %1").arg(wanted));
            };
            columns = TLogRows::Columns{column("FECHA"),   column("HORA"),
                                        column("SERVIDOR"), column("EMPRESA"),
                                        column("DESTINO"),  column("EXITO")};
        }
        const bool newServer = rows.Add(statement, *columns);
        // Only a value not met before in this fill can be a new entry.
        if (collectServers && newServer) {
            const QString& server = statement.FieldRef(columns->servidor);
            const QString key = server.toCaseFolded();
            if (!folded.contains(key)) {
                folded.insert(key);
                cbServidores->addItem(server);
            }
        }
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
