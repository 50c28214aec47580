#pragma once

#include <QAbstractScrollArea>
#include <QHash>
#include <QPointer>
#include <QTimer>
#include <array>
#include <deque>

class ChatTranscript;
class QTextLayout;

// Shows a chat transcript as plain text, wrapped to the width of the view,
// and keeps the newest line in view after every append.
//
// Lines are wrapped once, when they arrive or when the width changes, by
// adding up cached character widths; only the rows on screen are shaped and
// drawn. An append therefore costs the new line alone, and a line of any
// length never holds the event loop the way a text document's layout would.
// Text can be selected with the mouse and copied.
class TranscriptView final : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit TranscriptView(QWidget *parent = nullptr);
    ~TranscriptView() override;

    void setTranscript(ChatTranscript *transcript);
    // The newest line is in view: the caret stands at the end.
    bool isAtEnd();
    int displayRowCount() const { return static_cast<int>(m_rows.size()); }
    QString selectedText() const;
    void selectAll();
    void copy() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // One screen row: part of a transcript line. Lines are counted from the
    // first line the transcript ever held, so rows survive dropped lines.
    struct Row {
        qint64 line;
        int start;
        int length;
    };
    struct Position {
        qint64 line = -1;
        int column = 0;
        bool operator<(const Position &other) const
        {
            return line < other.line || (line == other.line && column < other.column);
        }
        bool operator==(const Position &other) const { return line == other.line && column == other.column; }
    };

    void onRowsInserted(int first, int last);
    void onRowsRemoved(int first, int last);
    void rewrapAll();
    void wrapLine(qint64 line);
    qreal advance(const QString &text, int at, int *units);
    qreal wrapWidth() const;
    int rowHeight() const;
    void scheduleSync();
    void syncScrollBar();
    const QString &lineText(qint64 line) const;
    QString rowText(const Row &row) const;
    void prepareLayout(QTextLayout &layout, const Row &row) const;
    Position positionAt(const QPoint &point);

    QPointer<ChatTranscript> m_transcript;
    std::deque<Row> m_rows;
    qint64 m_dropped = 0;      // lines dropped from the transcript's start so far
    qreal m_wrappedWidth = -1;
    bool m_scrollToEnd = false;
    QTimer m_sync;
    std::array<qreal, 128> m_asciiAdvance{};
    QHash<char32_t, qreal> m_otherAdvance;
    Position m_anchor;
    Position m_cursor;
};
