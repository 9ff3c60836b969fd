#pragma once

#include <QTableView>

namespace b6409 {

// The list view of the ID table. An empty list has no row to highlight, so while it has the
// keyboard focus it shows a dotted frame inside its border instead.
class IdTableView final : public QTableView {
    Q_OBJECT

  public:
    using QTableView::QTableView;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace b6409
