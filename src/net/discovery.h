#pragma once

#include "net/discoverysocket.h"
#include "net/localnetwork.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <functional>

class LocalPeer;
class SettingsStore;
class SocketArray;

// Finds peers on the own subnet: the UDP announcement and its reception, the
// TCP probe of the subnet's addresses, and an address typed by the user. Every
// source only asks for a connection; the handshake does the rest.
class Discovery final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Discovery)

public:
    // Datagrams longer than this are no announcement; the socket drops them unread.
    static constexpr int MaxDatagramSize = 2048;
    // Addresses taken from one datagram; the rest is ignored.
    static constexpr int MaxPiecesPerDatagram = 64;
    // Datagrams read in one pass; more wait for the next pass.
    static constexpr int MaxDatagramsPerPass = 256;
    // Announcements that arrive within this time after a pass wait in the
    // socket and are read together at its end.
    static constexpr int ReadPauseMs = 1000;
    static constexpr int AnnouncementShift = -5;
    // The probe keeps one spare element while the control array is this small.
    static constexpr int ReserveUpToCount = 60;
    static constexpr int TicksPerBlock = 255;
    static constexpr int MissesBeforeFirstBlock = 5;
    static constexpr int LastHost = 254;

    static constexpr int ScanIntervalMs = 500;
    static constexpr int AnnouncementIntervalMs = 30000;

    struct Context {
        bool testOnly = false;
        // Connects to a typed host, which may be a name to look up.
        std::function<void(const QString &)> connectToTypedHost;
    };

    Discovery(SettingsStore &settings, SocketArray &sockets, const LocalPeer &localPeer,
              std::function<void(const QString &)> connectTo, Context context, QObject *parent = nullptr);

    // The subnet scan probes one address every ScanIntervalMs while it is
    // on. Switching it off puts it back to its first address; switching on a
    // running scan keeps its rhythm. Announcements are acted on whether the
    // scan runs or not.
    void setScanning(bool on);
    bool isScanning() const { return m_scanTimer.isActive(); }
    // Announces this copy now and every AnnouncementIntervalMs.
    void startAnnouncing();
    bool isAnnouncing() const { return m_announceTimer.isActive(); }
    // The end of the run: no more probes, announcements or datagrams.
    void stop();

    // Opens the UDP socket anew on the listening port, for the network of the
    // current address.
    void configureDiscoverySocket();
    void closeDiscoverySocket();
    // Sends the announcement of the own address to the subnet.
    void udpTick();
    // One probe of the subnet scan.
    void scanTick();
    void setScanPosition(int host, int block, int blockTicks);
    // Reads the announcements waiting in the socket, MaxDatagramsPerPass at most.
    void readAnnouncements();
    // A pass that waits for the pause's end is rescheduled to the new pause.
    void setReadPause(int ms);
    // A control connection is up; a connection into the probed neighbouring
    // block keeps the wider probe moving on.
    void noteConnected(const QString &remoteAddress);
    // The address typed by the user; returns what the input box shows afterwards.
    QString addComputer(const QString &text);

    // Where the announcement goes: the own block's or the own /16's broadcast address.
    QString announcementDestination() const;
    QByteArray announcement() const;
    // The addresses a datagram announces: at most MaxPiecesPerDatagram pieces
    // are looked at, and only dotted IPv4 addresses among them are kept.
    static QStringList announcedAddresses(const QByteArray &datagram);

    int scanHost() const { return m_scanHost; }
    int scanBlock() const { return m_scanBlock; }
    int scanBlockTicks() const { return m_scanBlockTicks; }
    int scanMisses() const { return m_scanMisses; }
    DiscoverySocket &socket() { return m_socket; }

signals:
    // The scan went on or off.
    void scanningChanged(bool on);

private:
    void onDataArrival();
    void reserveSocket();
    // The first `count` numbers of the own address, dotted.
    QString ownPrefix(int count) const;
    bool enabled(const char *name, const char *defaultValue) const;

    SettingsStore &m_settings;
    SocketArray &m_sockets;
    std::function<void(const QString &)> m_connectTo;
    const LocalPeer &m_localPeer;
    Context m_context;
    QTimer m_scanTimer;
    QTimer m_announceTimer;
    QTimer m_readTimer;
    QElapsedTimer m_lastRead;
    int m_readPauseMs = ReadPauseMs;
    DiscoverySocket m_socket;
    LocalNetwork m_localNetwork;
    int m_scanHost = 0;
    int m_scanBlock = 0;
    int m_scanBlockTicks = 0;
    int m_scanMisses = 0;
};
