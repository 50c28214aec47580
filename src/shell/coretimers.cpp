#include "shell/coretimers.h"

CoreTimers::CoreTimers()
{
    alive.setInterval(30000);
    blink.setInterval(1000);
    browser.setInterval(60000);
    update.setInterval(5000);
    scan.setInterval(500);
    udp.setInterval(30000);
    ipCheckup.setInterval(15000);
    firstRunMessage.setInterval(4000);
    firstRunMessage.setSingleShot(true);
}

void CoreTimers::stopAll()
{
    for (QTimer *timer : {&alive, &blink, &browser, &update, &scan, &udp, &ipCheckup, &firstRunMessage})
        timer->stop();
}
