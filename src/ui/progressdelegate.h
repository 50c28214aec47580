#pragma once

#include <QStyledItemDelegate>

// Draws the "%" column of running downloads as a progress bar that carries
// the column's own text.
class ProgressDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // Wide enough for the widest figure inside the bar's frame.
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
