#pragma once

#include "base/prompter.h"

class MainWindow;

// Answers the core's questions with real message boxes and dialogs.
class WidgetPrompter final : public Prompter
{
public:
    void setMainWindow(MainWindow *window) { m_window = window; }

    Answer messageBox(const QString &text, Buttons buttons, Icon icon) override;
    void showBalloon(const QString &title, const QString &text, int iconFlags) override;
    std::optional<QByteArray> askFirstNickname(const QByteArray &suggestion) override;
    bool isMainWindowMinimizedOrHidden() const override;

private:
    MainWindow *m_window = nullptr;
};
