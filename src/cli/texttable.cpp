#include "cli/texttable.h"

#include <utility>

TextTable::TextTable(QList<Column> columns)
    : m_columns(std::move(columns))
{
}

void TextTable::addRow(const QStringList &cells)
{
    m_rows.append(cells);
}

QString TextTable::text(const QString &indent) const
{
    QList<qsizetype> widths = leastWidths();
    for (const QStringList &row : m_rows) {
        for (qsizetype column = 0; column < widths.size(); ++column)
            widths[column] = qMax(widths.at(column), row.value(column).size());
    }
    QString result;
    if (hasHeader()) {
        QStringList headers;
        for (const Column &column : m_columns)
            headers.append(column.header);
        result += indent + format(headers, widths);
    }
    for (const QStringList &row : m_rows)
        result += indent + format(row, widths);
    return result;
}

QString TextTable::headerLine() const
{
    QStringList headers;
    for (const Column &column : m_columns)
        headers.append(column.header);
    return format(headers, leastWidths());
}

QString TextTable::line(const QStringList &cells) const
{
    return format(cells, leastWidths());
}

bool TextTable::hasHeader() const
{
    for (const Column &column : m_columns) {
        if (!column.header.isEmpty())
            return true;
    }
    return false;
}

QList<qsizetype> TextTable::leastWidths() const
{
    QList<qsizetype> widths;
    for (const Column &column : m_columns)
        widths.append(qMax(column.minWidth, column.header.size()));
    return widths;
}

QString TextTable::format(const QStringList &cells, const QList<qsizetype> &widths) const
{
    QString result;
    for (qsizetype column = 0; column < m_columns.size(); ++column) {
        const QString cell = cells.value(column);
        const bool last = column + 1 == m_columns.size();
        if (column > 0)
            result += QStringLiteral("  ");
        if (m_columns.at(column).align == Align::Right)
            result += cell.rightJustified(widths.at(column));
        else
            result += last ? cell : cell.leftJustified(widths.at(column));
    }
    // A left-aligned cell that is empty at the end would leave spaces behind.
    while (result.endsWith(QLatin1Char(' ')))
        result.chop(1);
    return result + QLatin1Char('\n');
}
