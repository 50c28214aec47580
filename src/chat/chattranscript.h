#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QString>
#include <deque>

// One transcript (the public room or one conversation): its lines in arrival
// order, each already made safe to show. Lines are appended at the end and,
// past either cap, dropped from the start, so a long day of chat costs only
// the new line and memory stays bounded whatever peers send.
class ChatTranscript final : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChatTranscript)

public:
    static constexpr int MaxLines = 100000;
    // Bounds the memory of one transcript when lines are huge (a line may be
    // as long as a control frame allows).
    static constexpr qsizetype MaxCharacters = 16 * 1024 * 1024;

    explicit ChatTranscript(QObject *parent = nullptr);

    // "nickname: text" from wire bytes (UTF-8), as it is shown.
    static QString lineText(const QByteArray &nickname, const QByteArray &text);
    // Control characters other than tab, and the line and paragraph
    // separators, become visible placeholders: a line stays one line and
    // nothing in it acts on the terminal, the layout or the reader.
    static QString visibleText(const QString &text);

    void appendLine(const QString &line);
    void appendMessage(const QByteArray &nickname, const QByteArray &text);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    int lineCount() const { return static_cast<int>(m_lines.size()); }
    const QString &line(int row) const { return m_lines[static_cast<size_t>(row)]; }
    QString lastLine() const { return m_lines.empty() ? QString() : m_lines.back(); }
    qsizetype characterCount() const { return m_characters; }
    // Every line followed by carriage return and line feed.
    QString text() const;

private:
    std::deque<QString> m_lines;
    qsizetype m_characters = 0;
};
