#include "base/logcategories.h"

Q_LOGGING_CATEGORY(lcNet, "quelm.net", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTransfer, "quelm.transfer", QtWarningMsg)
Q_LOGGING_CATEGORY(lcShare, "quelm.share", QtWarningMsg)
Q_LOGGING_CATEGORY(lcChat, "quelm.chat", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDaemon, "quelm.daemon", QtWarningMsg)
