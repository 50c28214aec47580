#include "cli/progressdisplay.h"

#include "cli/jsonfield.h"
#include "cli/progressbar.h"
#include "common/controlprotocol.h"

namespace Key = ControlProtocol::Key;

ProgressDisplay::ProgressDisplay(Mode mode, int columns)
    : m_mode(mode)
    , m_columns(columns)
{
}

QString ProgressDisplay::update(const QJsonObject &event, qint64 elapsedMs)
{
    const qint64 received = JsonField::integer(event, Key::Received);
    const qint64 total = JsonField::integer(event, Key::Total);
    const QString status = JsonField::text(event, Key::Status);
    const qint64 rate = JsonField::integer(event, Key::Rate);
    QString line = status + QStringLiteral("  ") + ProgressBar::text(received, total, rate, elapsedMs);

    if (m_mode == Mode::Terminal) {
        const int width = qMax(1, m_columns - 1);
        if (line.size() > width)
            line = status + QStringLiteral("  ") + ProgressBar::text(received, total, rate, elapsedMs, false);
        if (line.size() > width)
            line = ProgressBar::text(received, total, rate, elapsedMs, false).trimmed();
        line.truncate(width);
        // Spaces cover what is left of a longer line drawn before.
        const QString text = QLatin1Char('\r') + line + QString(qMax<qsizetype>(0, m_drawnWidth - line.size()), QLatin1Char(' '));
        m_drawnWidth = line.size();
        return text;
    }

    const bool complete = total > 0 && received >= total;
    const bool due = m_lastLineAt < 0 || status != m_lastStatus || elapsedMs - m_lastLineAt >= LineIntervalMs
                     || (complete && !m_lineComplete);
    if (!due)
        return {};
    m_lastStatus = status;
    m_lastLineAt = elapsedMs;
    m_lineComplete = complete;
    return line + QLatin1Char('\n');
}

QString ProgressDisplay::release()
{
    if (m_drawnWidth == 0)
        return {};
    m_drawnWidth = 0;
    return QStringLiteral("\n");
}
