#include "ui/mainwindow.h"

#include "base/settingnames.h"
#include "chat/chat.h"
#include "shell/core.h"
#include "ui/appicon.h"
#include "ui/chatpage.h"
#include "ui/downloadspage.h"
#include "ui/hometab.h"
#include "ui/optionsdialog.h"
#include "ui/scannotice.h"
#include "ui/searchpage.h"
#include "ui/statuspanel.h"
#include "ui/trayicon.h"
#include "ui/userlistpanel.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
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
    , m_home(new HomeTab(core.homePage(), m_tabs))
    , m_downloads(new DownloadsPage(core, m_tabs))
    , m_splitter(new QSplitter(this))
    , m_notifications(QDBusConnection::sessionBus())
    , m_ipLabel(new QLabel(this))
    , m_blinkLabel(new ScanNotice(QStringLiteral("Quelm is scanning the local area network for people to share with..."),
                                  this))
{
    setWindowTitle(QStringLiteral("Quelm Beta"));
    setWindowIcon(AppIcon::make());
    auto *search = new SearchPage(core, m_tabs);
    m_tabs->addTab(m_home, QStringLiteral("Home"));
    m_tabs->addTab(search, QStringLiteral("Search"));
    const int downloadsTab = m_tabs->addTab(m_downloads, QStringLiteral("Downloads"));
    m_tabs->addTab(new ChatPage(core.chat(), m_tabs), QStringLiteral("Chat"));
    // Ctrl+1 to Ctrl+4 bring the four tabs to the front; the search tab comes
    // with the cursor in its box.
    for (int tab = 0; tab < 4; ++tab)
        new QShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + tab)), this, [this, tab] {
            m_tabs->setCurrentIndex(tab);
            m_tabs->currentWidget()->setFocus();
        });
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this, this, &MainWindow::exit);
    connect(&core.sharing().search(), &SearchService::searchTabRequested, this,
            [this, search] { m_tabs->setCurrentWidget(search); });
    // What an action started or how a download failed shows on the status line.
    const auto showStatusMessage = [this](const QString &text) { statusBar()->showMessage(text, 15000); };
    connect(search, &SearchPage::statusMessage, this, showStatusMessage);
    connect(m_downloads, &DownloadsPage::statusMessage, this, showStatusMessage);
    m_tabs->setTabToolTip(downloadsTab, m_downloads->runningSummary());
    connect(m_downloads, &DownloadsPage::runningSummaryChanged, this,
            [this, downloadsTab](const QString &summary) { m_tabs->setTabToolTip(downloadsTab, summary); });

    auto *pages = new QWidget(this);
    auto *pagesLayout = new QVBoxLayout(pages);
    pagesLayout->setContentsMargins(0, 0, 0, 0);
    pagesLayout->addWidget(new StatusPanel(core, pages));
    pagesLayout->addWidget(makeHeader());
    pagesLayout->addWidget(m_tabs, 1);

    m_splitter->addWidget(pages);
    m_splitter->addWidget(new UserListPanel(core, m_splitter));
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({DefaultSize.width() * 3 / 4, DefaultSize.width() / 4});

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(m_splitter, 1);
    layout->addWidget(makeFooter());
    setCentralWidget(central);
    statusBar()->addPermanentWidget(m_ipLabel);
    restoreLayout();

    connect(&m_notifications, &DesktopNotifications::undelivered, this, &MainWindow::showOnStatusLine);
    ShellPresence &presence = core.presence();
    connect(&presence, &ShellPresence::captionChanged, this, &QWidget::setWindowTitle);
    connect(&presence, &ShellPresence::ipLabelChanged, m_ipLabel, &QLabel::setText);
    connect(&presence, &ShellPresence::scanNoticeVisibilityChanged, m_blinkLabel, &ScanNotice::setTextShown);
    connect(&presence, &ShellPresence::trayIconInstalled, m_tray, &TrayIcon::install);
    connect(m_tray, &TrayIcon::exitRequested, this, &MainWindow::exit);
    SharedIndex &index = core.sharing().sharedIndex();
    connect(&index, &SharedIndex::walkStarted, this,
            [this] { statusBar()->showMessage(QStringLiteral("Indexing shared folders...")); });
    connect(&index, &SharedIndex::walkProgress, this, [this](qint64 found) {
        statusBar()->showMessage(QStringLiteral("Indexing shared folders... %1 file(s) found").arg(found));
    });
    connect(&index, &SharedIndex::rebuilt, statusBar(), &QStatusBar::clearMessage);
    ContentHashes &hashes = core.sharing().contentHashes();
    connect(&hashes, &ContentHashes::progressChanged, this,
            [this](const HashingProgress &progress) { statusBar()->showMessage(progress.text()); });
    connect(&hashes, &ContentHashes::progressDone, statusBar(), &QStatusBar::clearMessage);
    connect(&core.chat(), &Chat::statusMessage, this, [this](const QString &text) {
        statusBar()->showMessage(text, 15000);
    });
}

MainWindow::~MainWindow()
{
    delete m_options;
}

void MainWindow::showBalloon(const QString &title, const QString &text, int iconFlags)
{
    if (!m_tray->showBalloon(title, text, iconFlags) && !m_notifications.show(title, text, iconFlags))
        showOnStatusLine(title, text);
}

void MainWindow::showOnStatusLine(const QString &title, const QString &text)
{
    QString line = title + QLatin1String(": ") + text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    statusBar()->showMessage(line, BalloonOnStatusLineMs);
}

OptionsDialog *MainWindow::optionsDialog() const
{
    return m_options;
}

void MainWindow::openOptions()
{
    if (m_options) {
        m_options->raise();
        return;
    }
    setEnabled(false);
    // Without a parent: a disabled parent would disable the dialog as well.
    m_options = new OptionsDialog(m_core, false);
    m_options->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_options, &QDialog::finished, this, [this] {
        setEnabled(true);
        show();
    });
    m_options->show();
}

void MainWindow::exit()
{
    if (!m_core.confirmExit())
        return;
    rememberGeometry();
    hide();
    m_tray->remove();
    emit exitRequested();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    // While the options dialog is open the window takes no orders.
    if (!isEnabled())
        return;
    // Without the icon nothing could bring a hidden window back, so the close
    // box is the way out.
    if (!m_tray->isInstalled()) {
        exit();
        return;
    }
    rememberGeometry();
    showMinimized();
    hide();
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    // A click on the bare window announces this copy at once.
    Discovery &discovery = m_core.network().discovery();
    discovery.configureDiscoverySocket();
    discovery.udpTick();
    QMainWindow::mousePressEvent(event);
}

void MainWindow::restoreLayout()
{
    SettingsStore &settings = m_core.settings();
    m_splitter->restoreState(QByteArray::fromBase64(settings.get(QLatin1String(SettingNames::WindowSplitter))));
    m_downloads->restoreLayout(QByteArray::fromBase64(settings.get(QLatin1String(SettingNames::DownloadsLayout))));
    if (restoreGeometry(QByteArray::fromBase64(settings.get(QLatin1String(SettingNames::WindowGeometry)))))
        return;
    // The first size fits small screens too, such as 1366 by 768 less the
    // desktop's panels and the window's own frame.
    const QRect available = screen()->availableGeometry();
    resize(DefaultSize.boundedTo(available.size() - QSize(FrameAllowance, FrameAllowance)));
}

void MainWindow::rememberGeometry()
{
    SettingsStore &settings = m_core.settings();
    settings.set(QLatin1String(SettingNames::WindowGeometry), saveGeometry().toBase64());
    settings.set(QLatin1String(SettingNames::WindowSplitter), m_splitter->saveState().toBase64());
    settings.set(QLatin1String(SettingNames::DownloadsLayout), m_downloads->saveLayout().toBase64());
}

QWidget *MainWindow::makeHeader()
{
    auto *header = new QWidget(this);
    auto *layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    QFont font = m_blinkLabel->font();
    font.setBold(true);
    m_blinkLabel->setFont(font);
    auto *options = new QPushButton(QStringLiteral("Options..."), header);
    connect(options, &QPushButton::clicked, this, &MainWindow::openOptions);
    layout->addWidget(m_blinkLabel, 1);
    layout->addWidget(options);
    return header;
}

QWidget *MainWindow::makeFooter()
{
    auto *footer = new QWidget(this);
    auto *layout = new QHBoxLayout(footer);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *siteLink = new QLabel(QStringLiteral("<a href=\"help\">Quelm help</a>"), footer);
    auto *aboutLink = new QLabel(QStringLiteral("<a href=\"about\">About Vendrakos</a>"), footer);
    connect(siteLink, &QLabel::linkActivated, this, [this] { openHelpPage({}); });
    connect(aboutLink, &QLabel::linkActivated, this, [this] { openHelpPage(QStringLiteral("about")); });
    layout->addWidget(new QLabel(QStringLiteral("Quelm %1 - file sharing and chat for your local network")
                                     .arg(QLatin1String(Core::Version)),
                                 footer),
                      1);
    layout->addWidget(siteLink);
    layout->addWidget(aboutLink);
    return footer;
}

QUrl MainWindow::writeHelpPage()
{
    const QString path = QDir(m_core.config().programFolder).filePath(QStringLiteral("welcome.html"));
    QFile::remove(path);
    QFile::copy(QStringLiteral(":/home/welcome.html"), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return QUrl::fromLocalFile(path);
}

void MainWindow::openHelpPage(const QString &fragment)
{
    QUrl address = writeHelpPage();
    address.setFragment(fragment);
    QDesktopServices::openUrl(address);
}
