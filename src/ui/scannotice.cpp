#include "ui/scannotice.h"

void ScanNotice::setTextShown(bool shown)
{
    if (shown == m_shown)
        return;
    m_shown = shown;
    update();
}

void ScanNotice::paintEvent(QPaintEvent *event)
{
    if (m_shown)
        QLabel::paintEvent(event);
}
