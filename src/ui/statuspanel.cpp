#include "ui/statuspanel.h"

#include "shell/core.h"
#include "ui/statuslight.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

StatusPanel::StatusPanel(Core &core, QWidget *parent)
    : QWidget(parent)
    , m_core(core)
    , m_light(new QLabel(this))
    , m_status(new QLabel(this))
    , m_peers(new QLabel(this))
{
    QFont bold = m_status->font();
    bold.setBold(true);
    m_status->setFont(bold);
    auto *texts = new QVBoxLayout;
    texts->addWidget(m_status);
    texts->addWidget(m_peers);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_light);
    layout->addLayout(texts, 1);
    for (StatusDisplay::Light light : {StatusDisplay::Light::Red, StatusDisplay::Light::Yellow, StatusDisplay::Light::Green})
        m_lights[static_cast<size_t>(light)] = StatusLight::picture(light, 40);
    connect(&core.status(), &StatusDisplay::changed, this, &StatusPanel::refresh);
    refresh();
}

void StatusPanel::refresh()
{
    const StatusDisplay &status = m_core.status();
    const int light = static_cast<int>(status.light());
    if (light != m_shownLight) {
        m_shownLight = light;
        m_light->setPixmap(m_lights[static_cast<size_t>(light)]);
    }
    m_status->setText(status.statusText());
    m_peers->setText(status.peerCountText());
}
