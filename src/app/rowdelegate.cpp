// Owner-drawn list rows.
#include "app/rowdelegate.h"

#include <QApplication>
#include <QPainter>

namespace zentab::app {

QSize TRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  int width = opt.fontMetrics.horizontalAdvance(opt.text) + 2 * kTextIndent;
  return {width, kRowHeight};
}

void TRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  const QPalette::ColorGroup group =
      (opt.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
  const bool selected = opt.state & QStyle::State_Selected;

  painter->save();
  painter->fillRect(opt.rect,
                    opt.palette.brush(group, selected ? QPalette::Highlight : QPalette::Base));
  painter->setFont(opt.font);
  painter->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
  QRect textRect = opt.rect.adjusted(kTextIndent, 0, 0, 0);
  // The item text reaches here with its line breaks turned into line separators.
  QString text = opt.text;
  text.replace(QChar::LineSeparator, QLatin1Char(' '));
  painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
  if (opt.state & QStyle::State_HasFocus) {
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(opt);
    focus.backgroundColor =
        opt.palette.color(group, selected ? QPalette::Highlight : QPalette::Base);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
  }
  painter->restore();
}

}  // namespace zentab::app
