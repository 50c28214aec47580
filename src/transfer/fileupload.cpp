#include "transfer/fileupload.h"

#include "net/socketelement.h"
#include "net/wirekeywords.h"

FileUpload::FileUpload(QObject *parent)
    : QObject(parent)
{
    m_stallTimer.setSingleShot(true);
    m_stallTimer.setInterval(StallTimeoutMs);
    connect(&m_stallTimer, &QTimer::timeout, this, &FileUpload::onStallTimeout);
}

FileUpload::Start FileUpload::start(SocketElement *socket, const QString &path, qint64 offset)
{
    stop();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return Start::Failed;
    const qint64 size = m_file.size();
    if (offset >= size || !m_file.seek(offset)) {
        m_file.close();
        return offset >= size ? Start::NothingToSend : Start::Failed;
    }
    m_socket = socket;
    m_remaining = size - offset;
    m_markerSent = false;
    m_stallTimer.start();
    pump();
    return Start::Sending;
}

void FileUpload::onBytesWritten()
{
    m_stallTimer.start();
    pump();
}

void FileUpload::onStallTimeout()
{
    if (!m_socket)
        return;
    const int index = m_socket->index();
    stop();
    emit stalled(index);
}

void FileUpload::pump()
{
    while (m_socket && m_remaining > 0 && m_socket->bytesToWrite() < HighWater) {
        if (m_socket->state() != SocketElement::Connected) {
            const int index = m_socket->index();
            stop();
            emit failed(index);
            return;
        }
        QByteArray block = m_file.read(qMin(BlockSize, m_remaining));
        if (block.isEmpty()) {
            const int index = m_socket->index();
            stop();
            emit failed(index);
            return;
        }
        m_remaining -= block.size();
        if (!m_markerSent) {
            block.prepend(WireKeywords::DataMarker);
            m_markerSent = true;
        }
        m_socket->sendData(block);
    }
    if (m_socket && m_remaining == 0) {
        const int index = m_socket->index();
        stop();
        emit finished(index);
    }
}

void FileUpload::stop()
{
    m_stallTimer.stop();
    m_socket = nullptr;
    m_remaining = 0;
    m_file.close();
}

int FileUpload::connectionIndex() const
{
    return m_socket ? m_socket->index() : -1;
}
