#pragma once

#include <QPixmap>
#include <QWidget>

#include <array>

class Core;
class QLabel;

// The status line: a traffic light, what the connection state means and how
// many files and peers there are.
class StatusPanel final : public QWidget
{
    Q_OBJECT

public:
    explicit StatusPanel(Core &core, QWidget *parent = nullptr);

private:
    void refresh();

    Core &m_core;
    QLabel *m_light;
    QLabel *m_status;
    QLabel *m_peers;
    // One picture per light, drawn once: the status changes with every peer.
    std::array<QPixmap, 3> m_lights;
    int m_shownLight = -1;
};
