#pragma once

#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

class SocketElement;

// Sends one file from an offset on one connection: "GOFILE|" and the data,
// refilled in large blocks each time the socket has written some out, so the
// event loop stays free and no more than a bounded amount waits in memory.
class FileUpload final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileUpload)

public:
    static constexpr qint64 BlockSize = 1024 * 1024;
    // The socket is refilled while less than this waits in it.
    static constexpr qint64 HighWater = 4 * 1024 * 1024;
    // An upload of which the system has taken no byte for this long has
    // stalled: its requester reads nothing.
    static constexpr int StallTimeoutMs = 10000;

    enum class Start { Sending, NothingToSend, Failed };

    explicit FileUpload(QObject *parent = nullptr);

    // `socket` must stay alive while the upload runs; stop() lets it go.
    Start start(SocketElement *socket, const QString &path, qint64 offset);
    // The socket has written bytes out: the upload goes on and is refilled.
    void onBytesWritten();
    void stop();
    bool isRunning() const { return m_socket != nullptr; }
    int connectionIndex() const;

signals:
    // Every byte of the file has been handed to the socket.
    void finished(int index);
    // Reading the file or sending failed; the connection should close.
    void failed(int index);
    // No byte was taken within the stall timeout; the connection should close.
    void stalled(int index);

private:
    void pump();
    void onStallTimeout();

    SocketElement *m_socket = nullptr;
    QTimer m_stallTimer;
    QFile m_file;
    qint64 m_remaining = 0;
    bool m_markerSent = false;
};
