#ifndef QUELM_SHARE_FILESIGNATURE_H
#define QUELM_SHARE_FILESIGNATURE_H

#include <QByteArray>
#include <QString>

// The file signature: the MD5 of a file's first bytes, about one in 1024, so
// signing a large share stays cheap. It names a file's content across peers.
class FileSignature final
{
public:
    static constexpr qint64 MaxSignatureLength = 3145728;

    // fileLength / 1024, halves to the even neighbour, at most 3 MiB.
    static qint64 signatureLength(qint64 fileLength);
    // True when the file opens for reading or is refused only for want of
    // permission. Surrounding blanks and one trailing "/" are ignored.
    static bool fileIsPresent(const QString &path);
    // 32 lower-case hexadecimal digits.
    static QByteArray md5Text(const QByteArray &bytes);
    // The signature; "-1" when the path is no readable file or the signature
    // length is 0, "" when the file fails the presence test.
    static QByteArray computeFileSignature(const QString &path);

private:
    static QByteArray computeWithPresenceTest(const QString &path);
};

#endif
