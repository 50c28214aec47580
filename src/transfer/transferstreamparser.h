#pragma once

#include <QByteArray>
#include <QList>

// Splits what a serving peer sends on a transfer connection into its
// messages, however TCP cut or merged them: "fileinfo:...|" and "wait:n|"
// end at their "|"; "GOFILE|" (or any other text, as older servers may
// send data bare) starts the file data, and every byte after it is data.
class TransferStreamParser final
{
public:
    // A message that has not ended within this many bytes is no message.
    static constexpr qsizetype MaxMessageLength = 65536;

    struct Event {
        enum Kind { FileInfo, Wait, Data, Malformed };
        Kind kind;
        QByteArray text;  // the body without keyword and "|", or the data bytes
    };

    QList<Event> feed(const QByteArray &bytes);
    bool inData() const { return m_inData; }

private:
    bool takeMessage(QList<Event> &events);
    // True when the buffer could still become `keyword` followed by a message.
    bool isPrefixOf(const char *keyword) const;

    QByteArray m_buffer;
    bool m_inData = false;
    bool m_fileInfoSeen = false;
    bool m_malformed = false;
};
