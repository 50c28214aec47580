#include "ui/welcomeview.h"

#include "shell/homepage.h"

#include <QFile>

WelcomeView::WelcomeView(HomePage &rules, QWidget *parent)
    : QTextBrowser(parent)
{
    setOpenLinks(false);
    QFile page(QStringLiteral(":/home/welcome.html"));
    if (page.open(QIODevice::ReadOnly))
        setHtml(QString::fromUtf8(page.readAll()));
    connect(this, &QTextBrowser::anchorClicked, &rules, [this, &rules](const QUrl &address) {
        if (address.scheme().isEmpty() && !address.fragment().isEmpty())
            scrollToAnchor(address.fragment());
        else
            rules.followLink(address);
    });
}
