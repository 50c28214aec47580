#include "share/sharednametext.h"

#include <algorithm>

QString SharedNameText::forDisplay(QByteArrayView sharedName)
{
    const qsizetype colon = sharedName.indexOf(':');
    const QByteArrayView root = colon > 0 ? sharedName.first(colon) : QByteArrayView();
    const bool numberedRoot =
        !root.isEmpty() && std::all_of(root.begin(), root.end(), [](char c) { return c >= '0' && c <= '9'; });
    QString text = QString::fromUtf8(numberedRoot ? sharedName.sliced(colon + 1) : sharedName);
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return text;
}
