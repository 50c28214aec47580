#include "ui/addcomputerrow.h"

#include "common/dottedaddress.h"
#include "net/connectionfailuretext.h"
#include "shell/core.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

AddComputerRow::AddComputerRow(Core &core, QWidget *parent)
    : QWidget(parent)
    , m_core(core)
    , m_box(new QLineEdit(QStringLiteral("0.0.0.0"), this))
    , m_message(new QLabel(this))
{
    m_box->setToolTip(QStringLiteral("The address (such as 192.168.1.20) or the name of a computer running Quelm"));
    m_message->setWordWrap(true);
    m_message->hide();
    auto *add = new QPushButton(QStringLiteral("Add Computer"), this);
    connect(add, &QPushButton::clicked, this, &AddComputerRow::addComputer);
    connect(m_box, &QLineEdit::returnPressed, this, &AddComputerRow::addComputer);
    Network &network = core.network();
    connect(&network.resolver(), &HostNameResolver::resolved, this, &AddComputerRow::onResolved);
    connect(&network.connections(), &ControlConnections::outgoingConnected, this,
            [this](int, const QString &address) { onConnected(address); });
    connect(&network.connections(), &ControlConnections::outgoingFailed, this, &AddComputerRow::onFailed);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_box, 0, 0);
    layout->addWidget(add, 0, 1);
    layout->addWidget(m_message, 1, 0, 1, 2);
    layout->setColumnStretch(0, 1);
}

QString AddComputerRow::message() const
{
    return m_message->isHidden() ? QString() : m_message->text();
}

void AddComputerRow::addComputer()
{
    const QString text = m_box->text().trimmed();
    m_name.clear();
    m_address.clear();
    const bool isAddress = DottedAddress::isValid(QStringView(text));
    if (!isAddress && !HostNameResolver::isHostName(text)) {
        // The text stays, so the person can correct it.
        say(QStringLiteral("\"%1\" is neither an address nor a computer name. Type an address such as 192.168.1.20 "
                           "or the computer's name.")
                .arg(text));
        return;
    }
    if (isAddress && text == m_core.localPeer().address()) {
        say(QStringLiteral("%1 is this computer's own address.").arg(text));
        return;
    }
    if (isAddress && m_core.network().connections().findConnection(text) >= 0) {
        say(QStringLiteral("Already connected to %1.").arg(text));
        return;
    }
    (isAddress ? m_address : m_name) = text;
    say(QStringLiteral("Connecting to %1...").arg(text));
    m_box->setText(m_core.network().discovery().addComputer(text));
}

void AddComputerRow::onResolved(const QString &name, const QString &address)
{
    if (name != m_name)
        return;
    m_name.clear();
    if (address.isEmpty()) {
        say(QStringLiteral("No computer named %1 was found. Check the name, or type its address instead.").arg(name));
        return;
    }
    m_address = address;
    say(QStringLiteral("Connecting to %1 (%2)...").arg(name, address));
}

void AddComputerRow::onConnected(const QString &address)
{
    if (address != m_address)
        return;
    m_address.clear();
    say(QStringLiteral("Connected to %1.").arg(address));
}

void AddComputerRow::onFailed(const QString &address, int errorNumber)
{
    if (address != m_address)
        return;
    m_address.clear();
    say(ConnectionFailureText::explain(errorNumber, address, m_core.localPeer().port()));
}

void AddComputerRow::say(const QString &text)
{
    m_message->setText(text);
    m_message->show();
}
