#ifndef QUELM_COMMON_FORMATSIZE_H
#define QUELM_COMMON_FORMATSIZE_H

#include <QString>

// The one display form of a byte count: "N Bytes" below 1 KB, otherwise the
// count in KB, MB or GB with exactly two decimals ("1.50 KB").
QString formatSize(qint64 bytes);

#endif
