#pragma once

#include <QWidget>

class HomePage;
class QWebEngineView;
class WelcomeView;

// The Home tab: the update page in a web view when an update page is
// configured, otherwise the shipped welcome page without any web engine.
// Links that leave the page open in the desktop's browser.
class HomeTab final : public QWidget
{
    Q_OBJECT

public:
    explicit HomeTab(HomePage &home, QWidget *parent = nullptr);

    // Null when the welcome view is shown.
    QWebEngineView *browser() const { return m_browser; }
    // Null when the web view is shown.
    WelcomeView *welcomeView() const { return m_welcome; }

private:
    void makeBrowser(HomePage &home);

    QWebEngineView *m_browser = nullptr;
    WelcomeView *m_welcome = nullptr;
};
