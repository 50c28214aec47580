#include "ui/progressdelegate.h"

#include <QApplication>
#include <QLocale>
#include <QStyle>

void ProgressDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QString text = index.data().toString();
    if (text.isEmpty()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QString number = text;
    number.chop(1);
    bool ok = false;
    const double percent = QLocale().toDouble(number, &ok);
    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(1, 1, -1, -1);
    bar.minimum = 0;
    bar.maximum = 1000;
    bar.progress = ok ? static_cast<int>(percent * 10) : 0;
    bar.text = text;
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    bar.state = option.state | QStyle::State_Horizontal;
    QApplication::style()->drawControl(QStyle::CE_ProgressBar, &bar, painter);
}

QSize ProgressDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    constexpr int BarFrame = 16;
    size.setWidth(qMax(size.width(), option.fontMetrics.horizontalAdvance(QStringLiteral("100.0%")) + BarFrame));
    return size;
}
