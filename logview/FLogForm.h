#pragma once
// The log browser: the rows of backuplog newest first or grouped by server,
// optionally limited to one server. In browse mode a double-click opens the
// row in detail; in choose mode it closes the window, and ShowBackupLog takes
// the row as the backup to restore.
//
// The list holds its rows in a model of its own (compact records, see
// TLogRows), so that a log of a million rows fills and shows at once.

#include <QAbstractTableModel>
#include <QByteArray>
#include <QDialog>
#include <QHash>
#include <QIcon>
#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/FData.h"

class QComboBox;
class QLabel;
class QRadioButton;
class QTableView;

namespace logtext {

inline const QString kTitle = QStringLiteral("Historial");
inline const QString kAllServers = QStringLiteral("Todos los servidores");
inline const QString kByDate = QStringLiteral("Ordenar por fecha y hora");
inline const QString kByServer = QStringLiteral("Ordenar por servidor fecha y hora");
inline const QString kInvalidCopy = QStringLiteral("Esta copia de seguridad no es válida");

// The statements of the browser, each built from these parts.
inline const QString kSelect = QStringLiteral("select * from backuplog ");
inline const QString kWhereServer = QStringLiteral("where servidor = :server ");
inline const QString kOrderByDate = QStringLiteral("order by fecha desc, hora desc");
inline const QString kOrderByServer = QStringLiteral("order by servidor, fecha desc, hora desc");

}  // namespace logtext

// One row of the list: the icon and the five texts it shows.
struct TLogRow {
    int Icon = 0;  // 1: successful copy (EXITO "T"); 0: anything else
    QString Fecha;
    QString Hora;
    QString Servidor;
    QString Empresa;
    QString Destino;

    bool operator==(const TLogRow&) const = default;
};

// The rows of a fill, held compactly: a log of a million rows has a few
// thousand distinct dates, times, servers and companies, so each of those
// is kept once and a row refers to it; the backup file, nearly always
// different, is kept as WIN1252 bytes in large blocks. A fill hands over
// its statement's rows as the client delivered them, and only a value not
// met before is turned into text. Every fill starts them anew.
class TLogRows {
public:
    enum Column { kFecha, kHora, kServidor, kEmpresa, kDestino, kColumnCount };
    // Where a fill's statement has the log's columns.
    struct Columns {
        int fecha, hora, servidor, empresa, destino, exito;
    };

    // Adds the current row of a statement; true when its Servidor value is
    // new to the rows added so far.
    bool Add(const fb::Statement& row, const Columns& columns);
    // Adds a row of texts; true when its Servidor text (exactly) is new to
    // the rows added so far.
    bool Add(int icon, const QString& fecha, const QString& hora, const QString& servidor,
             const QString& empresa, const QString& destino);
    // Moves the rows of another behind these.
    void Append(TLogRows&& other);
    void Clear();

    int Count() const { return static_cast<int>(rows_.size()); }
    bool Empty() const { return rows_.empty(); }
    int Icon(int row) const { return rows_[static_cast<size_t>(row)].icon; }
    QString Text(int row, int column) const;
    TLogRow At(int row) const;

private:
    // Texts kept once; a row names them by number. They are found again by
    // the bytes a statement delivered, or by the text itself.
    struct BytesHash {
        using is_transparent = void;
        size_t operator()(std::string_view bytes) const noexcept;
    };
    struct Pool {
        std::vector<QString> texts;
        std::unordered_map<std::string, quint32, BytesHash, std::equal_to<>> byBytes;
        QHash<QString, quint32> byText;
        // Consecutive rows often repeat a value.
        std::string lastBytes;
        quint32 lastByBytes = kNone;
        quint32 lastByText = kNone;

        quint32 Number(const QString& text);
        quint32 Number(const fb::Statement& row, int column);
        quint32 Keep(const QString& text);
    };
    struct Row {
        quint32 text[4];       // Fecha, Hora, Servidor, Empresa in their pools
        quint32 destinoAt;     // in its block, or the number of a text of wide_
        quint16 destinoBlock;  // kWide: a text of wide_
        quint16 destinoLength : 15;
        quint16 icon : 1;
    };
    static constexpr quint32 kNone = 0xFFFFFFFF;
    static constexpr quint16 kWide = 0xFFFF;
    static constexpr qsizetype kBlockSize = 1 << 20;

    // The backup file's WIN1252 bytes into a block; false when they do not
    // fit a row's record (the caller keeps the text in wide_ then).
    bool StoreInBlock(Row& row, QByteArrayView win1252);
    void StoreDestino(Row& row, const QString& destino);
    QString Destino(const Row& row) const;

    std::vector<Row> rows_;
    Pool pools_[4];
    Pool wide_;                      // backup files that no block can hold
    std::vector<QByteArray> blocks_;  // never reallocated once filled
};

// The rows of listviewlog: caption Fecha, sub-items Hora, Servidor, Empresa,
// Destino; the icon beside the caption.
class TLogListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TLogListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Clear();
    void Append(TLogRows&& rows);
    TLogRow Row(int row) const;
    int Count() const { return rows_.Count(); }

private:
    TLogRows rows_;
    QIcon icons_[2];
};

class TLogForm : public QDialog {
    Q_OBJECT
public:
    explicit TLogForm(TData& data, QWidget* parent = nullptr);

    // 0: browse mode; 1: choose mode.
    int Mode = 0;

    QWidget* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QRadioButton* rb1 = nullptr;
    QRadioButton* rb2 = nullptr;
    QComboBox* cbServidores = nullptr;
    QTableView* listviewlog = nullptr;
    TLogListModel* Rows = nullptr;

    // The list refilled in date order, or in server order with the filter
    // shown and reset to "Todos los servidores"; the connection is closed
    // afterwards, also on failure.
    void FillByDate();
    void FillByServer();
    // Adds one list row per result row of the executed statement, and, when
    // asked, the row's server to cbServidores if no entry has it in any
    // letter case. On a failure part-way the rows read so far stay.
    void AddRows(fb::Statement& statement, bool collectServers);
    // The row selected in the list, if any.
    std::optional<TLogRow> SelectedRow() const;

public slots:
    void rb1Click(QObject* sender);
    void cbServidoresChange();
    void listviewlogDblClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void Refill(bool byServer);

    TData& data_;
};
