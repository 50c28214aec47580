#include "support/scriptedprompter.h"

namespace {

Prompter::Answer firstButton(Prompter::Buttons buttons)
{
    switch (buttons) {
    case Prompter::Buttons::RetryCancel:
        return Prompter::Answer::Retry;
    case Prompter::Buttons::AbortRetryIgnore:
        return Prompter::Answer::Abort;
    case Prompter::Buttons::YesNo:
        return Prompter::Answer::Yes;
    case Prompter::Buttons::Ok:
        break;
    }
    return Prompter::Answer::Ok;
}

} // namespace

QStringList ScriptedPrompter::boxTexts() const
{
    QStringList texts;
    for (const Box &box : boxes)
        texts.append(box.text);
    return texts;
}

QStringList ScriptedPrompter::balloonTitles() const
{
    QStringList titles;
    for (const Balloon &balloon : balloons)
        titles.append(balloon.title);
    return titles;
}

Prompter::Answer ScriptedPrompter::messageBox(const QString &text, Buttons buttons, Icon icon)
{
    const Box box{text, buttons, icon};
    boxes.append(box);
    if (onBox)
        onBox(box);
    return answers.isEmpty() ? firstButton(buttons) : answers.takeFirst();
}

void ScriptedPrompter::showBalloon(const QString &title, const QString &text, int iconFlags)
{
    balloons.append({title, text, iconFlags});
}

std::optional<QByteArray> ScriptedPrompter::askFirstNickname(const QByteArray &suggestion)
{
    nicknameSuggestions.append(suggestion);
    return nicknames.isEmpty() ? std::nullopt : nicknames.takeFirst();
}
