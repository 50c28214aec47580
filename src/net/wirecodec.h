#ifndef QUELM_NET_WIRECODEC_H
#define QUELM_NET_WIRECODEC_H

#include <QByteArray>

// Framing and the two encodings of control messages. A message is first
// substitution-coded (every byte becomes two), then shifted byte by byte with
// a key built from the two peers' identifiers, then wrapped in markers.
// All texts are byte strings; a byte's code is its unsigned value.
class WireCodec final
{
public:
    static constexpr char StartMarker[] = "|quelm|";
    static constexpr char EndMarker[] = "****";
    // The end marker of one frame followed by the start of the next.
    static constexpr char Separator[] = "****|quelm|";
    // Ends the unframed identity lines that open a control connection.
    static constexpr char HandshakeTerminator[] = "!!!!";
    static constexpr qsizetype StartMarkerLength = sizeof(StartMarker) - 1;
    static constexpr qsizetype EndMarkerLength = sizeof(EndMarker) - 1;
    static constexpr qsizetype SeparatorLength = sizeof(Separator) - 1;

    static constexpr int EncodeMode = 0;
    static constexpr int DecodeMode = 1;

    // Substitution code: mode 0 encodes, mode 1 decodes, other modes give "".
    static QByteArray codeText(const QByteArray &text, int mode);

    // floor(ln(n) * cos(n) * 137); 0 when n <= 0 or not representable.
    static qint32 curve(qint64 n);
    static qint32 keyValue(const QByteArray &key);
    // Brings v into 0..255 in steps of 255, so 0 and 255 both stay put.
    static int wrap(qint64 v);

    static QByteArray shiftEncode(const QByteArray &key, const QByteArray &text);
    static QByteArray shiftDecode(const QByteArray &key, const QByteArray &text);

    static QByteArray frameKey(const QByteArray &senderId, const QByteArray &receiverId);
    // The complete frame of message as sent by ownId to peerId.
    static QByteArray frameMessage(const QByteArray &message, const QByteArray &ownId,
                                   const QByteArray &peerId);
    // The message carried by a frame body that peerId sent to ownId.
    static QByteArray unframeMessage(const QByteArray &body, const QByteArray &ownId,
                                     const QByteArray &peerId);
};

#endif
