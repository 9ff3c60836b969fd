#pragma once

#include <QAbstractTableModel>

#include "idtable/id_table.h"

namespace b6409 {

// The ID table as the list view shows it: three centred text columns.
class IdTableModel final : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit IdTableModel(const IdTable& table, QObject* parent = nullptr)
        : QAbstractTableModel(parent), table_(table) {}

    // The third column's header: "Accepted IDs" or "Mapping IDs".
    void SetIdHeader(const QString& header);
    // The table changed underneath: show it anew.
    void Reload();
    // Whether the view shows as many rows as the table holds.
    bool InStep() const { return shownRows_ == table_.RowCount(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    const IdTable& table_;
    QString idHeader_ = "Accepted IDs";
    // The rows the view knows of: the table grows underneath, and the view learns of it only
    // through Reload.
    size_t shownRows_ = 0;
};

}  // namespace b6409
