#pragma once

#include <QTimer>

// The periodic timers of one copy, with their intervals. Which of them run
// from the start and who switches the others on is up to the start-up sequence.
struct CoreTimers
{
    CoreTimers();

    QTimer alive;            // keep-alive of control links
    QTimer blink;            // blinking scan notice
    QTimer browser;          // home-page refresh
    QTimer update;           // status display
    QTimer scan;             // subnet scan
    QTimer udp;              // discovery broadcast
    QTimer ipCheckup;        // address watch
    QTimer firstRunMessage;  // one-shot welcome balloon

    void stopAll();
};
