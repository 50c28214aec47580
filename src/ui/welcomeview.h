#pragma once

#include <QTextBrowser>

class HomePage;

// The welcome page shipped with the program, shown as plain rich text so the
// Home tab needs no web engine when there is no update page. Links within the
// page scroll to their place; others go to the Home page's rules.
class WelcomeView final : public QTextBrowser
{
    Q_OBJECT

public:
    explicit WelcomeView(HomePage &rules, QWidget *parent = nullptr);
};
