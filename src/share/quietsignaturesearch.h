#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class ControlConnections;

// A find-by-signature search whose answers are not listed: it asks every
// linked peer for files of one size and signature and tells which peers
// hold one. The search the Search tab shows, and its results, stay as they
// are, so work done in the background does not replace what a person reads.
class QuietSignatureSearch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QuietSignatureSearch)

public:
    explicit QuietSignatureSearch(ControlConnections &connections, QObject *parent = nullptr);

    // Replaces the search before; false when no peer is linked to ask.
    bool start(qint64 size, const QByteArray &signature);
    void stop();
    // The query answers must echo; empty while no search runs.
    QByteArray query() const { return m_query; }
    // A result that echoed query(), from the peer at `address`.
    void takeResult(const QString &address, const QByteArray &payload);

signals:
    void queryChanged(const QByteArray &query);
    void found(qint64 size, const QByteArray &signature, const QByteArray &sharedName, const QString &address);

private:
    void setQuery(const QByteArray &query);

    ControlConnections &m_connections;
    QByteArray m_query;
    qint64 m_size = -1;
    QByteArray m_signature;
};
