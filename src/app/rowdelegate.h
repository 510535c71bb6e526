// The drawing of the main window's list rows: fixed 20-pixel rows, the text on one line,
// vertically centred, 2 pixels in from the left edge.
#pragma once

#include <QStyledItemDelegate>

namespace zentab::app {

class TRowDelegate : public QStyledItemDelegate {
 public:
  static constexpr int kRowHeight = 20;
  static constexpr int kTextIndent = 2;

  using QStyledItemDelegate::QStyledItemDelegate;

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

}  // namespace zentab::app
