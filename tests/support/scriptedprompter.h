#pragma once

#include "base/prompter.h"

#include <QList>
#include <QStringList>
#include <functional>

// A prompter that answers from a script and records everything it was shown.
class ScriptedPrompter final : public Prompter
{
public:
    struct Box {
        QString text;
        Buttons buttons;
        Icon icon;
    };
    struct Balloon {
        QString title;
        QString text;
        int iconFlags;
    };

    // Answers for message boxes, taken in order; when none is left the first
    // button of the box is pressed (OK, Retry, Abort or Yes).
    QList<Answer> answers;
    // Runs before each message box is answered, e.g. to end a process.
    std::function<void(const Box &)> onBox;
    // Answers for the first-start nickname question, in order; nothing left
    // means the person closed the question.
    QList<std::optional<QByteArray>> nicknames;
    // What the main window's state reads as: minimised or hidden, or in sight.
    bool mainWindowHidden = true;

    QList<Box> boxes;
    QList<Balloon> balloons;
    QList<QByteArray> nicknameSuggestions;

    QStringList boxTexts() const;
    QStringList balloonTitles() const;

    Answer messageBox(const QString &text, Buttons buttons, Icon icon) override;
    void showBalloon(const QString &title, const QString &text, int iconFlags) override;
    std::optional<QByteArray> askFirstNickname(const QByteArray &suggestion) override;
    bool isMainWindowMinimizedOrHidden() const override { return mainWindowHidden; }
};
