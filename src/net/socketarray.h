#pragma once

#include "net/socketelement.h"

#include <QObject>
#include <memory>
#include <vector>

// An indexed array of socket elements. Element 0 always exists; a new element
// takes the next index and is never destroyed while the program runs, so
// per-connection records kept by index stay valid. Indices stop at MaxIndex.
class SocketArray final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SocketArray)

public:
    static constexpr int MaxIndex = 32000;

    explicit SocketArray(QObject *parent = nullptr);
    ~SocketArray() override;

    int count() const { return static_cast<int>(m_elements.size()); }
    SocketElement *at(int index) const;
    // Creates elements up to and including `index`; false beyond MaxIndex.
    bool ensure(int index);
    // The first index whose element is closed or failed, or count() when none is.
    int firstFreeIndex() const;
    // The last closed or failed element, else a new one; it comes back closed
    // and untagged. -1 when every element is busy and MaxIndex is reached.
    int allocate();
    // The local address every element binds to, now and when created later.
    void setLocalIP(const QString &address);
    void closeAll();

signals:
    void closed(int index);
    void connected(int index);
    void dataArrival(int index, qint64 bytes);
    void errorOccurred(int index, const QString &description);
    void stateChanged(int index, int state);
    void bytesWritten(int index, qint64 bytes);

private:
    void create();

    std::vector<std::unique_ptr<SocketElement>> m_elements;
    QString m_localIP;
};
