#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Rows of text in aligned columns, two spaces apart, with an optional header
// line. A table printed whole sizes each column to its widest cell; rows
// printed one by one, as they arrive, use the columns' least widths.
class TextTable final
{
public:
    enum class Align { Left, Right };

    struct Column
    {
        // Empty headers on every column mean no header line.
        QString header;
        Align align = Align::Left;
        qsizetype minWidth = 0;
    };

    explicit TextTable(QList<Column> columns);

    void addRow(const QStringList &cells);
    bool isEmpty() const { return m_rows.isEmpty(); }
    // The header line and every row, each line indented and ended by a newline.
    QString text(const QString &indent = {}) const;
    // The header line or one row at the least widths, ended by a newline.
    QString headerLine() const;
    QString line(const QStringList &cells) const;

private:
    bool hasHeader() const;
    QList<qsizetype> leastWidths() const;
    QString format(const QStringList &cells, const QList<qsizetype> &widths) const;

    QList<Column> m_columns;
    QList<QStringList> m_rows;
};
