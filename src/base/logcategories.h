#pragma once

#include <QLoggingCategory>

// The logging categories of the program, quiet but for warnings unless
// QT_LOGGING_RULES switches them on (for example "quelm.net.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcNet)
Q_DECLARE_LOGGING_CATEGORY(lcTransfer)
Q_DECLARE_LOGGING_CATEGORY(lcShare)
Q_DECLARE_LOGGING_CATEGORY(lcChat)
Q_DECLARE_LOGGING_CATEGORY(lcDaemon)
