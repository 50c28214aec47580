#pragma once

#include <QProcess>
#include <QString>

// An X server without a screen (Xvfb) on a display number it picks itself,
// reachable only through its local socket. It ends with this object.
class VirtualDisplay final
{
    Q_DISABLE_COPY_MOVE(VirtualDisplay)

public:
    VirtualDisplay();
    ~VirtualDisplay();

    static bool isInstalled();
    // Starts the server and waits until it takes clients; false when it did not start.
    bool start();
    // ":N", empty before start() succeeded.
    QString name() const { return m_name; }
    // A window titled `title` is mapped and viewable on the display now.
    bool showsWindow(const QString &title) const;

private:
    QProcess m_server;
    QString m_name;
};
