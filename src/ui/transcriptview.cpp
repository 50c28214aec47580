#include "ui/transcriptview.h"

#include "chat/chattranscript.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace {

constexpr int Margin = 4;
constexpr int TopMargin = 2;
constexpr int TabSpaces = 4;

} // namespace

TranscriptView::TranscriptView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::ClickFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
    m_asciiAdvance.fill(-1);
    m_sync.setSingleShot(true);
    m_sync.setInterval(0);
    connect(&m_sync, &QTimer::timeout, this, &TranscriptView::syncScrollBar);
}

TranscriptView::~TranscriptView() = default;

void TranscriptView::setTranscript(ChatTranscript *transcript)
{
    if (m_transcript)
        disconnect(m_transcript, nullptr, this, nullptr);
    m_transcript = transcript;
    if (transcript) {
        connect(transcript, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex &, int first, int last) { onRowsInserted(first, last); });
        connect(transcript, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex &, int first, int last) { onRowsRemoved(first, last); });
        connect(transcript, &QAbstractItemModel::modelReset, this, &TranscriptView::rewrapAll);
        connect(transcript, &QObject::destroyed, this, [this] {
            m_rows.clear();
            m_anchor = m_cursor = Position();
            viewport()->update();
        });
    }
    m_dropped = 0;
    rewrapAll();
    m_scrollToEnd = true;
    scheduleSync();
}

bool TranscriptView::isAtEnd()
{
    syncScrollBar();
    return verticalScrollBar()->value() == verticalScrollBar()->maximum();
}

void TranscriptView::onRowsInserted(int first, int last)
{
    // The transcript only ever appends; anything else is taken from the start.
    if (first != m_transcript->lineCount() - (last - first + 1)) {
        rewrapAll();
    } else {
        for (int row = first; row <= last; ++row)
            wrapLine(m_dropped + row);
    }
    m_scrollToEnd = true;
    scheduleSync();
}

void TranscriptView::onRowsRemoved(int first, int last)
{
    if (first != 0) {
        rewrapAll();
        return;
    }
    m_dropped += last + 1;
    int gone = 0;
    while (!m_rows.empty() && m_rows.front().line < m_dropped) {
        m_rows.pop_front();
        ++gone;
    }
    const Position start{m_dropped, 0};
    m_anchor = std::max(m_anchor, start);
    m_cursor = std::max(m_cursor, start);
    // What the reader looks at stays where it is.
    verticalScrollBar()->setValue(verticalScrollBar()->value() - gone);
    scheduleSync();
}

void TranscriptView::rewrapAll()
{
    m_rows.clear();
    m_asciiAdvance.fill(-1);
    m_otherAdvance.clear();
    m_wrappedWidth = wrapWidth();
    if (m_transcript) {
        for (int row = 0; row < m_transcript->lineCount(); ++row)
            wrapLine(m_dropped + row);
    }
    scheduleSync();
    viewport()->update();
}

qreal TranscriptView::advance(const QString &text, int at, int *units)
{
    const QChar c = text.at(at);
    *units = 1;
    if (c.unicode() < m_asciiAdvance.size()) {
        qreal &cached = m_asciiAdvance[c.unicode()];
        if (cached < 0) {
            const QFontMetricsF metrics(font());
            cached = c == QLatin1Char('\t') ? TabSpaces * metrics.horizontalAdvance(QLatin1Char(' '))
                                            : metrics.horizontalAdvance(c);
        }
        return cached;
    }
    char32_t code = c.unicode();
    if (c.isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate()) {
        code = QChar::surrogateToUcs4(c, text.at(at + 1));
        *units = 2;
    }
    auto cached = m_otherAdvance.constFind(code);
    if (cached == m_otherAdvance.constEnd())
        cached = m_otherAdvance.insert(code, QFontMetricsF(font()).horizontalAdvance(text.mid(at, *units)));
    return *cached;
}

void TranscriptView::wrapLine(qint64 line)
{
    const QString &text = lineText(line);
    const qreal width = m_wrappedWidth;
    const int size = static_cast<int>(text.size());
    int start = 0;
    qreal x = 0;
    int breakAt = -1;   // just after the last space of the row
    qreal xAtBreak = 0;
    for (int at = 0; at < size;) {
        int units = 1;
        const qreal w = advance(text, at, &units);
        const bool space = text.at(at) == QLatin1Char(' ') || text.at(at) == QLatin1Char('\t');
        if (!space && x + w > width && at > start) {
            const int end = breakAt > start ? breakAt : at;
            m_rows.push_back({line, start, end - start});
            x = end == at ? 0 : x - xAtBreak;
            start = end;
            breakAt = -1;
        }
        x += w;
        at += units;
        if (space) {
            breakAt = at;
            xAtBreak = x;
        }
    }
    m_rows.push_back({line, start, size - start});
}

qreal TranscriptView::wrapWidth() const
{
    // Shaping may make a row a little wider than the sum of its characters.
    return std::max<qreal>(1, viewport()->width() - 2 * Margin - QFontMetricsF(font()).averageCharWidth());
}

int TranscriptView::rowHeight() const
{
    return std::max(1, static_cast<int>(std::ceil(QFontMetricsF(font()).lineSpacing())));
}

void TranscriptView::scheduleSync()
{
    if (!m_sync.isActive())
        m_sync.start();
}

void TranscriptView::syncScrollBar()
{
    m_sync.stop();
    QScrollBar *bar = verticalScrollBar();
    const int visible = std::max(1, (viewport()->height() - TopMargin) / rowHeight());
    bar->setPageStep(visible);
    bar->setRange(0, std::max(0, displayRowCount() - visible));
    if (m_scrollToEnd)
        bar->setValue(bar->maximum());
    m_scrollToEnd = false;
    viewport()->update();
}

const QString &TranscriptView::lineText(qint64 line) const
{
    return m_transcript->line(static_cast<int>(line - m_dropped));
}

QString TranscriptView::rowText(const Row &row) const
{
    return lineText(row.line).mid(row.start, row.length);
}

void TranscriptView::prepareLayout(QTextLayout &layout, const Row &row) const
{
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabStopDistance(TabSpaces * QFontMetricsF(font()).horizontalAdvance(QLatin1Char(' ')));
    layout.setText(rowText(row));
    layout.setFont(font());
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setPosition({0, 0});
    layout.endLayout();
}

void TranscriptView::paintEvent(QPaintEvent *)
{
    if (m_sync.isActive())
        syncScrollBar();
    QPainter painter(viewport());
    const int height = rowHeight();
    const int first = verticalScrollBar()->value();
    const int count = viewport()->height() / height + 2;
    const Position from = std::min(m_anchor, m_cursor);
    const Position to = std::max(m_anchor, m_cursor);
    for (int i = 0; i < count && first + i < displayRowCount(); ++i) {
        const Row &row = m_rows[static_cast<size_t>(first + i)];
        QTextLayout layout;
        prepareLayout(layout, row);
        QList<QTextLayout::FormatRange> selection;
        const Position rowStart{row.line, row.start};
        const Position rowEnd{row.line, row.start + row.length};
        if (from < to && from < rowEnd && rowStart < to) {
            const int start = std::max(from, rowStart).column - row.start;
            const int end = (rowEnd < to ? rowEnd : to).column - row.start;
            QTextLayout::FormatRange range;
            range.start = start;
            range.length = end - start;
            range.format.setBackground(palette().brush(QPalette::Highlight));
            range.format.setForeground(palette().brush(QPalette::HighlightedText));
            selection.append(range);
        }
        painter.setPen(palette().color(QPalette::Text));
        layout.draw(&painter, QPointF(Margin, TopMargin + i * height), selection);
    }
}

void TranscriptView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    const bool atEnd = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    if (!qFuzzyCompare(wrapWidth(), m_wrappedWidth))
        rewrapAll();
    m_scrollToEnd = m_scrollToEnd || atEnd;
    syncScrollBar();
}

void TranscriptView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        rewrapAll();
}

void TranscriptView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else
        QAbstractScrollArea::keyPressEvent(event);
}

TranscriptView::Position TranscriptView::positionAt(const QPoint &point)
{
    if (m_rows.empty())
        return {};
    const int index = std::clamp(verticalScrollBar()->value() + (point.y() - TopMargin) / rowHeight(), 0, displayRowCount() - 1);
    const Row &row = m_rows[static_cast<size_t>(index)];
    QTextLayout layout;
    prepareLayout(layout, row);
    const int column = layout.lineAt(0).xToCursor(point.x() - Margin);
    return {row.line, row.start + std::clamp(column, 0, row.length)};
}

void TranscriptView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_cursor = positionAt(event->position().toPoint());
    if (!(event->modifiers() & Qt::ShiftModifier))
        m_anchor = m_cursor;
    viewport()->update();
}

void TranscriptView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QPoint point = event->position().toPoint();
    QScrollBar *bar = verticalScrollBar();
    if (point.y() < 0)
        bar->setValue(bar->value() - 1);
    else if (point.y() > viewport()->height())
        bar->setValue(bar->value() + 1);
    m_cursor = positionAt(point);
    viewport()->update();
}

void TranscriptView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *copyAction = menu.addAction(tr("&Copy"), this, &TranscriptView::copy);
    copyAction->setEnabled(!(m_anchor == m_cursor));
    menu.addSeparator();
    menu.addAction(tr("Select &All"), this, &TranscriptView::selectAll);
    menu.exec(event->globalPos());
}

QString TranscriptView::selectedText() const
{
    if (!m_transcript || m_anchor == m_cursor)
        return {};
    const Position from = std::min(m_anchor, m_cursor);
    const Position to = std::max(m_anchor, m_cursor);
    QStringList lines;
    for (qint64 line = from.line; line <= to.line; ++line) {
        const QString &text = lineText(line);
        const int start = line == from.line ? from.column : 0;
        const int end = line == to.line ? to.column : static_cast<int>(text.size());
        lines.append(text.mid(start, end - start));
    }
    return lines.join(QLatin1Char('\n'));
}

void TranscriptView::selectAll()
{
    if (!m_transcript || m_transcript->lineCount() == 0)
        return;
    m_anchor = {m_dropped, 0};
    const qint64 last = m_dropped + m_transcript->lineCount() - 1;
    m_cursor = {last, static_cast<int>(lineText(last).size())};
    viewport()->update();
}

void TranscriptView::copy() const
{
    const QString text = selectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}
