#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Everything the core needs from a person goes through this interface: the
// desktop implements it with real widgets, tests with scripted answers. Every
// message box carries the program's title "Quelm".
class Prompter
{
public:
    enum class Buttons { Ok, RetryCancel, AbortRetryIgnore, YesNo };
    enum class Icon { None, Information, Exclamation, Critical, Question };
    enum class Answer { Ok, Cancel, Abort, Retry, Ignore, Yes, No };

    // Balloon icon flags as the program passes them.
    static constexpr int BalloonInformation = 1;
    static constexpr int BalloonWarning = 2;
    static constexpr int BalloonError = 3;

    virtual ~Prompter() = default;

    virtual Answer messageBox(const QString &text, Buttons buttons, Icon icon) = 0;
    virtual void showBalloon(const QString &title, const QString &text, int iconFlags) = 0;
    // Asks for the nickname on the very first start. Returns nothing when the
    // person closes the question without giving one, which ends start-up.
    virtual std::optional<QByteArray> askFirstNickname(const QByteArray &suggestion) = 0;
    // Whether the main window is out of sight: minimised, hidden to the
    // notification area, or absent as in a copy without a window.
    virtual bool isMainWindowMinimizedOrHidden() const { return true; }
};
