#include "net/refusedlinks.h"

#include "base/logcategories.h"

void RefusedLinks::note(const QString &address, const QString &reason)
{
    // A flood from one address repeats one reason: keep one entry for it, renewed.
    if (!m_entries.empty() && m_entries.back().address == address && m_entries.back().reason == reason) {
        m_entries.back().when = QDateTime::currentDateTime();
        return;
    }
    qCInfo(lcNet) << "link with" << address << "refused or cut:" << reason;
    m_entries.push_back({address, reason, QDateTime::currentDateTime()});
    if (m_entries.size() > MaxEntries)
        m_entries.pop_front();
}
