#pragma once

#include <QDialog>
#include <functional>
#include <memory>

class Core;
class OptionsForm;
class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTableView;
class QTabWidget;

// "Quelm Options": shows an OptionsForm on three pages and hands the edits
// back to it on OK. The dialog is not modal; whoever opens it disables the
// main window meanwhile.
class OptionsDialog final : public QDialog
{
    Q_OBJECT

public:
    // Picks a folder; empty when the person cancels.
    using FolderPicker = std::function<QString(QWidget *owner)>;

    OptionsDialog(Core &core, bool firstStart, QWidget *parent = nullptr);
    ~OptionsDialog() override;

    OptionsForm &form() { return *m_form; }
    QTabWidget &pages() { return *m_pages; }
    void setFolderPicker(FolderPicker picker) { m_pickFolder = std::move(picker); }
    static QString browseForFolder(QWidget *owner);

    // Shows the form's values again, after they were changed from outside.
    void showValues();
    void accept() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // At the first start Escape does nothing and the close box asks first.
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *makeNetworkPage();
    QWidget *makeAdvancedOptions();
    QWidget *makeLocalFilesPage();
    QWidget *makePrivacyPage();
    void takeValues();
    void addBlockId();
    void setCustomPort(bool custom);

    std::unique_ptr<OptionsForm> m_form;
    FolderPicker m_pickFolder = &OptionsDialog::browseForFolder;
    QTabWidget *m_pages;
    QLineEdit *m_nickname;
    QCheckBox *m_enableScanning;
    QRadioButton *m_balloonNever;
    QRadioButton *m_balloonMiniOnly;
    QRadioButton *m_balloonAlways;
    QCheckBox *m_enableIPLookout;
    QCheckBox *m_enableTCP;
    QCheckBox *m_enableUDP;
    QRadioButton *m_autoPort;
    QRadioButton *m_customPortOption;
    QLineEdit *m_customPort;
    QLineEdit *m_downloads;
    QListWidget *m_folders;
    QCheckBox *m_keepUnfinished;
    QLineEdit *m_addBlockId;
    QPushButton *m_addBlockIdButton;
    QTableView *m_blockIds;
    QPushButton *m_ok;
    QPushButton *m_cancel;
};
