#pragma once

#include <QWebEnginePage>

// The page of a window the Home page asked for (a link with a target of its
// own): its first address goes to the desktop's browser, then it goes away.
class NewWindowCatcher final : public QWebEnginePage
{
    Q_OBJECT

public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
};
