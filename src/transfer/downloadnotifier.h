#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class Prompter;

// The balloon at the end of a download, as the user chose in
// "ShowDownloadNotifications": "0" never, "1" only while the main window is
// minimised or hidden, "2" always; any other value never.
class DownloadNotifier final
{
public:
    enum class Outcome { Completed, Failed };

    explicit DownloadNotifier(Prompter &prompter);

    void notifyOutcome(Outcome outcome, const QString &fileName, const QByteArray &setting);

private:
    Prompter &m_prompter;
};
