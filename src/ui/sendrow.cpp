#include "ui/sendrow.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

SendRow::SendRow(QWidget *parent)
    : QWidget(parent)
    , m_box(new QLineEdit(this))
    , m_button(new QPushButton(QStringLiteral("Send"), this))
{
    m_box->installEventFilter(this);
    setFocusProxy(m_box);
    connect(m_box, &QLineEdit::returnPressed, this, [this] {
        if (m_button->isEnabled())
            emit sendRequested();
    });
    connect(m_button, &QPushButton::clicked, this, &SendRow::sendRequested);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_box, 1);
    layout->addWidget(m_button);
}

bool SendRow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_box && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        m_button->setDefault(event->type() == QEvent::FocusIn);
    return QWidget::eventFilter(watched, event);
}
