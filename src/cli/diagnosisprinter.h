#pragma once

#include <QJsonObject>
#include <QString>

// The text of a diagnose reply: every field under a readable label, the
// lists as indented tables, and last the findings, the sentences that say
// why peers may not be seen.
class DiagnosisPrinter final
{
public:
    DiagnosisPrinter() = delete;

    static QString text(const QJsonObject &reply);

private:
    static QString settingsText(const QJsonObject &reply);
    static QString blockedText(const QJsonObject &reply);
    static QString peersText(const QJsonObject &reply);
    static QString refusedText(const QJsonObject &reply);
    static QString findingsText(const QJsonObject &reply);
};
