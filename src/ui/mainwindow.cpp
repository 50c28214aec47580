#include "ui/mainwindow.h"

#include "shell/core.h"
#include "ui/appicon.h"
#include "ui/chatpage.h"
#include "ui/downloadspage.h"
#include "ui/searchpage.h"
#include "ui/statuspanel.h"
#include "ui/trayicon.h"
#include "ui/userlistpanel.h"

#include <QCloseEvent>
#include <QLabel>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

MainWindow::MainWindow(Core &core, QWidget *parent)
    : QMainWindow(parent)
    , m_core(core)
    , m_tray(new TrayIcon(*this, this))
    , m_tabs(new QTabWidget(this))
    , m_ipLabel(new QLabel(this))
    , m_blinkLabel(new QLabel(QStringLiteral("Quelm is scanning the local area network for people to share with..."),
                              this))
{
    setWindowTitle(QStringLiteral("Quelm Beta"));
    setWindowIcon(AppIcon::make());
    auto *search = new SearchPage(core, m_tabs);
    m_tabs->addTab(new QWidget(m_tabs), QStringLiteral("Home"));
    m_tabs->addTab(search, QStringLiteral("Search"));
    m_tabs->addTab(new DownloadsPage(core, m_tabs), QStringLiteral("Downloads"));
    m_tabs->addTab(new ChatPage(core.chat(), m_tabs), QStringLiteral("Chat"));
    // Ctrl+1 to Ctrl+4 bring the four tabs to the front.
    for (int tab = 0; tab < 4; ++tab)
        new QShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + tab)), this,
                      [this, tab] { m_tabs->setCurrentIndex(tab); });
    connect(&core.sharing().search(), &SearchService::searchTabRequested, this,
            [this, search](const QByteArray &text, const QString &category) {
                search->showSearch(text, category);
                m_tabs->setCurrentWidget(search);
            });

    auto *pages = new QWidget(this);
    auto *pagesLayout = new QVBoxLayout(pages);
    pagesLayout->setContentsMargins(0, 0, 0, 0);
    pagesLayout->addWidget(new StatusPanel(core, pages));
    pagesLayout->addWidget(makeHeader());
    pagesLayout->addWidget(m_tabs, 1);

    auto *splitter = new QSplitter(this);
    splitter->addWidget(pages);
    splitter->addWidget(new UserListPanel(core, splitter));
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({660, 280});

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(splitter, 1);
    setCentralWidget(central);
    statusBar()->addPermanentWidget(m_ipLabel);
    resize(960, 600);

    connect(&core, &Core::captionChanged, this, &QWidget::setWindowTitle);
    connect(&core, &Core::ipLabelChanged, m_ipLabel, &QLabel::setText);
    connect(&core, &Core::blinkLabelVisibilityChanged, this, [this](bool visible) {
        // Hiding would let the layout jump; the notice keeps its place.
        m_blinkLabel->setStyleSheet(visible ? QString() : QStringLiteral("color: transparent"));
    });
    connect(&core, &Core::trayIconInstalled, m_tray, &TrayIcon::install);
    connect(m_tray, &TrayIcon::exitRequested, this, &MainWindow::exitRequested);
}

void MainWindow::showBalloon(const QString &title, const QString &text, int iconFlags)
{
    if (!m_tray->showBalloon(title, text, iconFlags))
        statusBar()->showMessage(title + QLatin1String(": ") + text, 15000);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (TrayIcon::isAvailable())
        hide();
    else
        showMinimized();
}

QWidget *MainWindow::makeHeader()
{
    auto *header = new QWidget(this);
    auto *layout = new QVBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    QFont font = m_blinkLabel->font();
    font.setBold(true);
    m_blinkLabel->setFont(font);
    layout->addWidget(m_blinkLabel);
    return header;
}
