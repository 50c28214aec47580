#pragma once

#include <QJsonObject>
#include <QString>

// Shows the progress events of a download. On a terminal one line is drawn
// over and over with a carriage return; into a file or pipe, where those
// would pile up, a plain line is written when the status changes, when the
// file completes, and otherwise at most every LineIntervalMs.
class ProgressDisplay final
{
public:
    enum class Mode { Terminal, Lines };

    static constexpr qint64 LineIntervalMs = 5000;

    // On a terminal a line keeps within `columns` - 1 characters, since one
    // that wrapped could not be drawn over: the bar and then the status give
    // way before the figures, and only a very narrow terminal cuts them.
    explicit ProgressDisplay(Mode mode, int columns = 80);

    // What to write for a progress event that arrived `elapsedMs` after the
    // download was asked for; often empty in Lines mode.
    QString update(const QJsonObject &event, qint64 elapsedMs);
    // What to write before any other output, so that it starts on a line of its own.
    QString release();

private:
    Mode m_mode;
    int m_columns;
    QString m_lastStatus;
    qint64 m_lastLineAt = -1;
    qsizetype m_drawnWidth = 0;
    bool m_lineComplete = false;
};
