#include "ui/optionsdialog.h"

#include "shell/optionsform.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace {

QLabel *note(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

OptionsDialog::OptionsDialog(Core &core, bool firstStart, QWidget *parent)
    : QDialog(parent)
    , m_form(std::make_unique<OptionsForm>(core, firstStart))
    , m_pages(new QTabWidget(this))
    , m_ok(new QPushButton(QStringLiteral("OK"), this))
    , m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setWindowTitle(QStringLiteral("Quelm Options"));
    m_pages->addTab(makeNetworkPage(), QStringLiteral("Network"));
    m_pages->addTab(makeLocalFilesPage(), QStringLiteral("Local Files"));
    m_pages->addTab(makePrivacyPage(), QStringLiteral("Local Privacy"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(QStringLiteral("Sharing copyrighted files is bad. Do not do it."), this), 1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pages, 1);
    layout->addLayout(buttons);

    m_ok->setDefault(true);
    m_cancel->setEnabled(!firstStart);
    m_nickname->setObjectName(QStringLiteral("NicknameBox"));
    m_customPort->setObjectName(QStringLiteral("CustomPortBox"));
    m_downloads->setObjectName(QStringLiteral("DownloadBox"));
    m_folders->setObjectName(QStringLiteral("FolderList"));
    m_keepUnfinished->setObjectName(QStringLiteral("KeepUnfinishedDownloads"));
    m_addBlockId->setObjectName(QStringLiteral("AddBlockIDBox"));
    m_blockIds->setObjectName(QStringLiteral("BlockIDList"));
    connect(m_ok, &QPushButton::clicked, this, &OptionsDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &OptionsDialog::reject);
    connect(m_nickname, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_form->values.nickname = text;
        m_ok->setEnabled(m_form->canConfirm());
    });
    m_form->load();
    showValues();
}

OptionsDialog::~OptionsDialog() = default;

QWidget *OptionsDialog::makeNetworkPage()
{
    auto *page = new QWidget(this);
    m_nickname = new QLineEdit(page);
    m_enableScanning = new QCheckBox(QStringLiteral("Enable Network Scanning?"), page);
    m_balloonNever = new QRadioButton(QStringLiteral("Never"), page);
    m_balloonMiniOnly = new QRadioButton(QStringLiteral("Only if Minimized or Hidden"), page);
    m_balloonAlways = new QRadioButton(QStringLiteral("Always"), page);
    auto *balloons = new QButtonGroup(page);
    for (QRadioButton *button : {m_balloonNever, m_balloonMiniOnly, m_balloonAlways})
        balloons->addButton(button);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(QStringLiteral("Nickname: (can be whatever you want)"), page));
    layout->addWidget(m_nickname);
    auto *scanning = new QHBoxLayout;
    scanning->addWidget(m_enableScanning);
    scanning->addWidget(new QLabel(QStringLiteral("(for automatic connecting, when available)"), page), 1);
    layout->addLayout(scanning);
    layout->addWidget(note(QStringLiteral("Announce Download Errors and Completion in System Tray Balloons:"), page));
    auto *balloonRow = new QHBoxLayout;
    for (QRadioButton *button : {m_balloonNever, m_balloonMiniOnly, m_balloonAlways})
        balloonRow->addWidget(button);
    balloonRow->addStretch(1);
    layout->addLayout(balloonRow);
    layout->addWidget(makeAdvancedOptions());
    layout->addStretch(1);
    return page;
}

QWidget *OptionsDialog::makeAdvancedOptions()
{
    auto *frame = new QGroupBox(QStringLiteral("Advanced Options"), this);
    m_enableIPLookout = new QCheckBox(QStringLiteral("Auto Reset on Local IP Address Change"), frame);
    m_enableTCP = new QCheckBox(QStringLiteral("TCP"), frame);
    m_enableUDP = new QCheckBox(QStringLiteral("UDP"), frame);
    m_autoPort = new QRadioButton(QStringLiteral("Automatic"), frame);
    m_customPortOption = new QRadioButton(QStringLiteral("Custom:"), frame);
    m_customPort = new QLineEdit(frame);
    auto *flush = new QPushButton(QStringLiteral("Flush Host Cache..."), frame);
    connect(flush, &QPushButton::clicked, this, [this] { m_form->flushHostCache(); });
    connect(m_autoPort, &QRadioButton::clicked, this, [this] { setCustomPort(false); });
    connect(m_customPortOption, &QRadioButton::clicked, this, [this] { setCustomPort(true); });

    auto *layout = new QGridLayout(frame);
    layout->addWidget(m_enableIPLookout, 0, 0, 1, 4);
    layout->addWidget(new QLabel(QStringLiteral("Scan Protocols:"), frame), 1, 0);
    layout->addWidget(m_enableTCP, 1, 1);
    layout->addWidget(m_enableUDP, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("Custom Network Port:"), frame), 2, 0);
    layout->addWidget(m_autoPort, 2, 1);
    layout->addWidget(m_customPortOption, 2, 2);
    layout->addWidget(m_customPort, 2, 3);
    layout->addWidget(new QLabel(QStringLiteral("(1-65536)"), frame), 2, 4);
    layout->addWidget(flush, 3, 0, 1, 2);
    layout->addWidget(note(QStringLiteral("Note: Most advanced option changes require a restart of the Quelm software "
                                          "to take effect."),
                           frame),
                      4, 0, 1, 5);
    return frame;
}

QWidget *OptionsDialog::makeLocalFilesPage()
{
    auto *page = new QWidget(this);
    m_downloads = new QLineEdit(page);
    m_folders = new QListWidget(page);
    m_keepUnfinished = new QCheckBox(QStringLiteral("Keep unfinished downloads when Quelm exits"), page);
    auto *browse = new QPushButton(QStringLiteral("Browse..."), page);
    auto *add = new QPushButton(QStringLiteral("Add Folder..."), page);
    auto *remove = new QPushButton(QStringLiteral("Remove Selected..."), page);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString folder = m_pickFolder(this);
        if (!folder.isEmpty())
            m_downloads->setText(folder);
    });
    connect(add, &QPushButton::clicked, this, [this] {
        const QString folder = m_pickFolder(this);
        if (!folder.isEmpty())
            m_folders->addItem(folder);
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (QListWidgetItem *item = m_folders->currentItem(); item && item->isSelected())
            delete item;
    });

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(QStringLiteral("Downloads Folder: (your downloads will be saved here)"), page));
    auto *downloadRow = new QHBoxLayout;
    downloadRow->addWidget(m_downloads, 1);
    downloadRow->addWidget(browse);
    layout->addLayout(downloadRow);
    layout->addWidget(
        note(QStringLiteral("Note: Your downloads folder will automatically be made available to others."), page));
    layout->addWidget(
        new QLabel(QStringLiteral("Shared Folders: (the folders you want to make available to others)"), page));
    layout->addWidget(m_folders, 1);
    auto *folderButtons = new QHBoxLayout;
    folderButtons->addWidget(add);
    folderButtons->addWidget(remove);
    folderButtons->addStretch(1);
    layout->addLayout(folderButtons);
    layout->addWidget(m_keepUnfinished);
    layout->addWidget(note(QStringLiteral("(they go on by themselves at the next start, once a peer with the same "
                                          "file is connected)"),
                           page));
    return page;
}

QWidget *OptionsDialog::makePrivacyPage()
{
    auto *page = new QWidget(this);
    m_addBlockId = new QLineEdit(page);
    m_addBlockIdButton = new QPushButton(QStringLiteral("Add"), page);
    m_addBlockIdButton->setAutoDefault(false);
    m_blockIds = new QTableView(page);
    m_blockIds->setModel(&m_form->blockedUsers());
    m_blockIds->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_blockIds->setSelectionMode(QAbstractItemView::SingleSelection);
    m_blockIds->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_blockIds->verticalHeader()->hide();
    m_blockIds->horizontalHeader()->setStretchLastSection(true);
    m_blockIds->setColumnWidth(0, 200);
    auto *unblock = new QPushButton(QStringLiteral("Un-Block User..."), page);
    connect(m_addBlockIdButton, &QPushButton::clicked, this, &OptionsDialog::addBlockId);
    connect(unblock, &QPushButton::clicked, this, [this] {
        const QModelIndexList rows = m_blockIds->selectionModel()->selectedRows();
        if (!rows.isEmpty())
            m_form->blockedUsers().removeRow(rows.first().row());
    });
    // While the box has the focus, Enter adds the identifier instead of OK.
    m_addBlockId->installEventFilter(this);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(
        new QLabel(QStringLiteral("Block a Unique ID: (do NOT type nicknames, this is case sensitive)"), page));
    auto *addRow = new QHBoxLayout;
    addRow->addWidget(m_addBlockId, 1);
    addRow->addWidget(m_addBlockIdButton);
    layout->addLayout(addRow);
    layout->addWidget(new QLabel(QStringLiteral("Blocked Users:"), page));
    layout->addWidget(m_blockIds, 1);
    auto *unblockRow = new QHBoxLayout;
    unblockRow->addStretch(1);
    unblockRow->addWidget(unblock);
    layout->addLayout(unblockRow);
    return page;
}

bool OptionsDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_addBlockId && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        const bool focused = event->type() == QEvent::FocusIn;
        m_addBlockIdButton->setDefault(focused);
        m_ok->setDefault(!focused);
    }
    return QDialog::eventFilter(watched, event);
}

void OptionsDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_form->isFirstStart()) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void OptionsDialog::closeEvent(QCloseEvent *event)
{
    if (!m_form->mayCloseWithoutOk()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void OptionsDialog::addBlockId()
{
    m_form->blockedUsers().addIdentifier(m_addBlockId->text().toUtf8());
    m_addBlockId->clear();
    m_addBlockId->setFocus();
}

void OptionsDialog::setCustomPort(bool custom)
{
    if (!custom)
        m_customPort->clear();
    m_customPort->setEnabled(custom);
}

void OptionsDialog::showValues()
{
    const OptionsForm::Values &values = m_form->values;
    m_nickname->setText(values.nickname);
    m_enableScanning->setChecked(values.enableScanning);
    m_enableIPLookout->setChecked(values.enableIPLookout);
    m_enableTCP->setChecked(values.enableTCP);
    m_enableUDP->setChecked(values.enableUDP);
    m_balloonNever->setChecked(values.balloons == OptionsForm::Balloons::Never);
    m_balloonMiniOnly->setChecked(values.balloons == OptionsForm::Balloons::MinimisedOnly);
    m_balloonAlways->setChecked(values.balloons == OptionsForm::Balloons::Always);
    m_autoPort->setChecked(!values.customPortChosen);
    m_customPortOption->setChecked(values.customPortChosen);
    m_customPort->setText(values.customPort);
    m_customPort->setEnabled(values.customPortChosen);
    m_downloads->setText(values.downloadsFolder);
    m_folders->clear();
    m_folders->addItems(values.sharedFolders);
    m_keepUnfinished->setChecked(values.keepUnfinishedDownloads);
}

void OptionsDialog::takeValues()
{
    OptionsForm::Values &values = m_form->values;
    values.nickname = m_nickname->text();
    values.enableScanning = m_enableScanning->isChecked();
    values.enableIPLookout = m_enableIPLookout->isChecked();
    values.enableTCP = m_enableTCP->isChecked();
    values.enableUDP = m_enableUDP->isChecked();
    values.balloons = m_balloonNever->isChecked()    ? OptionsForm::Balloons::Never
                      : m_balloonAlways->isChecked() ? OptionsForm::Balloons::Always
                                                     : OptionsForm::Balloons::MinimisedOnly;
    values.customPortChosen = m_customPortOption->isChecked();
    values.customPort = m_customPort->text();
    values.downloadsFolder = m_downloads->text();
    values.sharedFolders.clear();
    for (int row = 0; row < m_folders->count(); ++row)
        values.sharedFolders.append(m_folders->item(row)->text());
    values.keepUnfinishedDownloads = m_keepUnfinished->isChecked();
}

void OptionsDialog::accept()
{
    takeValues();
    if (!m_form->canConfirm())
        return;
    m_ok->setEnabled(false);
    m_cancel->setEnabled(false);
    setEnabled(false);
    m_form->store();
    QDialog::accept();
}

QString OptionsDialog::browseForFolder(QWidget *owner)
{
    return QFileDialog::getExistingDirectory(owner, QLatin1String(OptionsForm::FolderPickerTitle));
}
