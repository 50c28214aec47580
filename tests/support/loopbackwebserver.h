#pragma once

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>

// A small HTTP server on 127.0.0.1 for pages a test shows in a web view. It
// answers every GET with the page stored for its path (404 otherwise), closes
// the connection after each answer and remembers every path it was asked
// for, query included.
class LoopbackWebServer final : public QObject
{
public:
    LoopbackWebServer();

    void setPage(const QString &path, const QByteArray &html) { m_pages.insert(path, html); }
    QUrl address(const QString &path) const;
    QStringList requests() const { return m_requests; }
    int requestCount(const QString &path) const;

private:
    void answer(QTcpSocket *socket);

    QTcpServer m_server;
    QHash<QString, QByteArray> m_pages;
    QStringList m_requests;
};
