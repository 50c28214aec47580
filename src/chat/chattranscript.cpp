#include "chat/chattranscript.h"

namespace {

constexpr char16_t ControlPicturesBase = 0x2400;   // U+2400..U+241F stand for C0 controls
constexpr char16_t DeletePicture = 0x2421;
constexpr char16_t NewlinePicture = 0x2424;
constexpr char16_t ReplacementCharacter = 0xfffd;

char16_t placeholderOf(char16_t c)
{
    if (c < 0x20)
        return c == u'\t' ? c : static_cast<char16_t>(ControlPicturesBase + c);
    if (c == 0x7f)
        return DeletePicture;
    if (c >= 0x80 && c < 0xa0)
        return ReplacementCharacter;
    if (c == 0x2028 || c == 0x2029)
        return NewlinePicture;
    return c;
}

} // namespace

ChatTranscript::ChatTranscript(QObject *parent)
    : QAbstractListModel(parent)
{
}

QString ChatTranscript::lineText(const QByteArray &nickname, const QByteArray &text)
{
    return visibleText(QString::fromUtf8(nickname + ": " + text));
}

QString ChatTranscript::visibleText(const QString &text)
{
    QString shown = text;
    for (QChar &c : shown)
        c = QChar(placeholderOf(c.unicode()));
    return shown;
}

void ChatTranscript::appendLine(const QString &line)
{
    size_t drop = 0;
    qsizetype kept = m_characters;
    while (drop < m_lines.size()
           && (m_lines.size() - drop + 1 > static_cast<size_t>(MaxLines) || kept + line.size() > MaxCharacters)) {
        kept -= m_lines[drop].size();
        ++drop;
    }
    if (drop > 0) {
        beginRemoveRows({}, 0, static_cast<int>(drop) - 1);
        m_lines.erase(m_lines.begin(), m_lines.begin() + static_cast<std::ptrdiff_t>(drop));
        m_characters = kept;
        endRemoveRows();
    }
    const int row = lineCount();
    beginInsertRows({}, row, row);
    m_lines.push_back(line);
    m_characters += line.size();
    endInsertRows();
}

void ChatTranscript::appendMessage(const QByteArray &nickname, const QByteArray &text)
{
    appendLine(lineText(nickname, text));
}

int ChatTranscript::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : lineCount();
}

QVariant ChatTranscript::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= lineCount() || role != Qt::DisplayRole)
        return {};
    return line(index.row());
}

QString ChatTranscript::text() const
{
    QString all;
    all.reserve(m_characters + 2 * lineCount());
    for (const QString &line : m_lines)
        all += line + QLatin1String("\r\n");
    return all;
}
