#pragma once

#include "shell/blockidmodel.h"

#include <QObject>
#include <QString>
#include <QStringList>

class Core;

// The options dialog without its widgets: it loads every setting and the
// blocked users when the dialog opens, and validates and stores them, in a
// fixed order, only when the dialog is confirmed. The dialog shows `values`
// and the blocked-users model and hands the edited values back.
class OptionsForm final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OptionsForm)

public:
    enum class Balloons { Never, MinimisedOnly, Always };

    struct Values {
        QString nickname;
        bool enableScanning = true;
        bool enableIPLookout = true;
        bool enableTCP = true;
        bool enableUDP = true;
        Balloons balloons = Balloons::MinimisedOnly;
        bool customPortChosen = false;
        QString customPort;
        QString downloadsFolder;
        QStringList sharedFolders;
        bool keepUnfinishedDownloads = false;
    };

    static constexpr int PortTextLength = 5;
    static constexpr char FolderPickerTitle[] =
        "Select any folder to add... (folders inside it will be added automatically)";
    static constexpr char FlushedText[] = "The local host cache has been flushed. For best results, please restart "
                                          "Quelm and it will be rebuilt based on new connections.";
    static constexpr char QuitWithoutSetupText[] =
        "Quelm cannot start without a nickname. Quit Quelm without setting it up?";

    // At the first start there is no nickname yet, Cancel is not offered and
    // OK waits for a nickname.
    OptionsForm(Core &core, bool firstStart, QObject *parent = nullptr);

    bool isFirstStart() const { return m_firstStart; }
    BlockIdModel &blockedUsers() { return m_blockedUsers; }

    void load();
    // False while OK must stay disabled: a first start without a nickname.
    bool canConfirm() const;
    void store();
    // Empties the remembered hosts at once; Cancel does not undo it.
    void flushHostCache();
    // Whether the dialog may close without OK. At the first start that ends
    // the program, so the person is asked first.
    bool mayCloseWithoutOk();

    // The stored form of a typed port: its number, or empty (automatic) for
    // a text that is no number or lies outside 1 to 65536.
    static QString storedPort(const QString &typed);
    // A typed downloads folder without its final separator, except the root.
    static QString storedDownloadsFolder(const QString &typed);

    Values values;

private:
    void storeSwitches();
    QByteArray setting(const char *name, const char *defaultValue = "") const;

    Core &m_core;
    bool m_firstStart;
    BlockIdModel m_blockedUsers;
};
