#include "ui/widgetprompter.h"

#include "shell/optionsform.h"
#include "ui/mainwindow.h"
#include "ui/optionsdialog.h"

#include <QMessageBox>

namespace {

QMessageBox::StandardButtons standardButtons(Prompter::Buttons buttons)
{
    switch (buttons) {
    case Prompter::Buttons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    case Prompter::Buttons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case Prompter::Buttons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case Prompter::Buttons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon messageIcon(Prompter::Icon icon)
{
    switch (icon) {
    case Prompter::Icon::Information:
        return QMessageBox::Information;
    case Prompter::Icon::Exclamation:
        return QMessageBox::Warning;
    case Prompter::Icon::Critical:
        return QMessageBox::Critical;
    case Prompter::Icon::Question:
        return QMessageBox::Question;
    case Prompter::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

Prompter::Answer answerFor(int button)
{
    switch (button) {
    case QMessageBox::Retry:
        return Prompter::Answer::Retry;
    case QMessageBox::Abort:
        return Prompter::Answer::Abort;
    case QMessageBox::Ignore:
        return Prompter::Answer::Ignore;
    case QMessageBox::Yes:
        return Prompter::Answer::Yes;
    case QMessageBox::No:
        return Prompter::Answer::No;
    case QMessageBox::Ok:
        return Prompter::Answer::Ok;
    default:
        return Prompter::Answer::Cancel;
    }
}

} // namespace

Prompter::Answer WidgetPrompter::messageBox(const QString &text, Buttons buttons, Icon icon)
{
    QMessageBox box(messageIcon(icon), QStringLiteral("Quelm"), text, standardButtons(buttons), m_window);
    return answerFor(box.exec());
}

void WidgetPrompter::showBalloon(const QString &title, const QString &text, int iconFlags)
{
    if (m_window)
        m_window->showBalloon(title, text, iconFlags);
}

std::optional<QByteArray> WidgetPrompter::askFirstNickname(const QByteArray &suggestion)
{
    // The options dialog is the first-start question; it stores everything itself.
    OptionsDialog dialog(m_window->core(), true);
    dialog.form().values.nickname = QString::fromUtf8(suggestion);
    dialog.showValues();
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.form().values.nickname.toUtf8();
}

bool WidgetPrompter::isMainWindowMinimizedOrHidden() const
{
    return !m_window || !m_window->isVisible() || m_window->isMinimized();
}
