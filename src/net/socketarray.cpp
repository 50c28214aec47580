#include "net/socketarray.h"

SocketArray::SocketArray(QObject *parent)
    : QObject(parent)
{
    create();
}

SocketArray::~SocketArray() = default;

SocketElement *SocketArray::at(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return m_elements[static_cast<size_t>(index)].get();
}

bool SocketArray::ensure(int index)
{
    if (index < 0 || index > MaxIndex)
        return false;
    while (count() <= index)
        create();
    return true;
}

int SocketArray::firstFreeIndex() const
{
    for (int i = 0; i < count(); ++i) {
        const int state = at(i)->state();
        if (state == SocketElement::Closed || state == SocketElement::Error)
            return i;
    }
    return count();
}

int SocketArray::allocate()
{
    int slot = -1;
    for (int i = count() - 1; i >= 0; --i) {
        const int state = at(i)->state();
        if (state == SocketElement::Closed || state == SocketElement::Error) {
            slot = i;
            break;
        }
    }
    if (slot < 0) {
        slot = count();
        if (!ensure(slot))
            return -1;
    }
    SocketElement *element = at(slot);
    element->close();
    element->setTag(QString());
    return slot;
}

void SocketArray::setLocalIP(const QString &address)
{
    m_localIP = address;
    for (const auto &element : m_elements)
        element->setLocalIP(address);
}

void SocketArray::closeAll()
{
    for (const auto &element : m_elements)
        element->close();
}

void SocketArray::create()
{
    auto element = std::make_unique<SocketElement>(count());
    element->setLocalIP(m_localIP);
    SocketElement *raw = element.get();
    connect(raw, &SocketElement::closed, this, &SocketArray::closed);
    connect(raw, &SocketElement::connected, this, &SocketArray::connected);
    connect(raw, &SocketElement::dataArrival, this, &SocketArray::dataArrival);
    connect(raw, &SocketElement::errorOccurred, this, &SocketArray::errorOccurred);
    connect(raw, &SocketElement::stateChanged, this, &SocketArray::stateChanged);
    connect(raw, &SocketElement::bytesWritten, this, &SocketArray::bytesWritten);
    m_elements.push_back(std::move(element));
}
