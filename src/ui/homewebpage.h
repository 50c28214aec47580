#pragma once

#include <QWebEnginePage>

class HomePage;

// The page of the Home browser: every navigation is put to the Home page's
// rules first, and a link that asks for a new window opens outside too.
class HomeWebPage final : public QWebEnginePage
{
    Q_OBJECT

public:
    HomeWebPage(HomePage &rules, QObject *parent = nullptr);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    HomePage &m_rules;
};
