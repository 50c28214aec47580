#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>

// The texts of a transfer connection. Requests and answers are coded twice
// with the substitution code, which uses letters and digits only, so the
// closing "|" of each message is the only "|" on the wire before the data.
class TransferMessages final
{
public:
    struct FileInfo {
        qint64 size = 0;
        QByteArray nickname;
        QByteArray signature;
    };
    struct FileRequest {
        QByteArray sharedName;
        qint64 offset = 0;
    };

    static QByteArray encodeTwice(const QByteArray &text);
    static QByteArray decodeTwice(const QByteArray &text);

    static QByteArray fileInfoRequest(const QByteArray &sharedName);
    static QByteArray fileInfo(qint64 size, const QByteArray &nickname, const QByteArray &signature);
    // The fresh form when `offset` is 0.
    static QByteArray fileRequest(const QByteArray &sharedName, qint64 offset);
    static QByteArray wait(int position);

    // `body` is the text between the keyword and the closing "|". Nothing
    // when the size is not a plain non-negative decimal number.
    static std::optional<FileInfo> parseFileInfo(const QByteArray &body);
    // Nothing when the shared name is empty. A missing, negative or
    // non-numeric offset reads as 0.
    static std::optional<FileRequest> parseFileRequest(const QByteArray &body);
    // A plain non-negative decimal number, or nothing.
    static std::optional<qint64> parseCount(const QByteArray &text);
};
