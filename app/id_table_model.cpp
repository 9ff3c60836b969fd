#include "app/id_table_model.h"

#include <algorithm>

namespace b6409 {

void IdTableModel::SetIdHeader(const QString& header) {
    idHeader_ = header;
    emit headerDataChanged(Qt::Horizontal, 2, 2);
}

void IdTableModel::Reload() {
    beginResetModel();
    shownRows_ = table_.RowCount();
    endResetModel();
}

int IdTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shownRows_);
}

int IdTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant IdTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= std::min(shownRows_, table_.RowCount()))
        return {};
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    const IdRow& row = table_.Row(size_t(index.row()));
    const std::string& text = index.column() == 0   ? row.number
                              : index.column() == 1 ? row.type
                                                    : row.id;
    return QString::fromStdString(text);
}

QVariant IdTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    switch (section) {
        case 0:
            return QStringLiteral("No");
        case 1:
            return QStringLiteral("CAN-ID Type");
        case 2:
            return idHeader_;
    }
    return {};
}

}  // namespace b6409
