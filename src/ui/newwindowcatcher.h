#pragma once

#include <QWebEnginePage>

class HomePage;

// The page of a window the Home page asked for (a link with a target of its
// own): its first address is a link the person followed, then it goes away.
class NewWindowCatcher final : public QWebEnginePage
{
    Q_OBJECT

public:
    NewWindowCatcher(HomePage &rules, QWebEngineProfile *profile, QObject *parent = nullptr);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    HomePage &m_rules;
};
