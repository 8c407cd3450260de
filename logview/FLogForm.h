#pragma once
// The log browser: the rows of backuplog newest first or grouped by server,
// optionally limited to one server. In browse mode a double-click opens the
// row in detail; in choose mode it closes the window, and ShowBackupLog takes
// the row as the backup to restore.
//
// The list holds its rows in a model of its own (one plain record per row),
// so that a log of many thousand rows fills and shows at once.

#include <QAbstractTableModel>
#include <QDialog>
#include <QIcon>
#include <QString>
#include <optional>
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
    void Append(std::vector<TLogRow>&& rows);
    const TLogRow& Row(int row) const { return rows_.at(static_cast<size_t>(row)); }
    int Count() const { return static_cast<int>(rows_.size()); }

private:
    std::vector<TLogRow> rows_;
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
