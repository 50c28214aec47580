#include "ui/splashwindow.h"

#include "shell/core.h"
#include "ui/appicon.h"

#include <QLabel>
#include <QVBoxLayout>

SplashWindow::SplashWindow(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
    , m_status(new QLabel(QStringLiteral("Initializing..."), this))
{
    auto *picture = new QLabel(this);
    picture->setPixmap(AppIcon::make().pixmap(64, 64));
    picture->setAlignment(Qt::AlignCenter);
    auto *title = new QLabel(QStringLiteral("Quelm"), this);
    QFont titleFont = title->font();
    titleFont.setPointSize(titleFont.pointSize() * 2);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    auto *version = new QLabel(QStringLiteral("Version %1").arg(QLatin1String(Core::Version)), this);
    version->setAlignment(Qt::AlignCenter);
    m_status->setAlignment(Qt::AlignCenter);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 24);
    layout->addWidget(picture);
    layout->addWidget(title);
    layout->addWidget(version);
    layout->addSpacing(12);
    layout->addWidget(m_status);
    setMinimumWidth(320);
}

void SplashWindow::setStatus(const QString &status)
{
    m_status->setText(status);
    // Start-up does not return to the event loop between its steps.
    m_status->repaint();
}

QString SplashWindow::status() const
{
    return m_status->text();
}
