#include "ui/nicknamedialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int MaxNicknameLength = 25;

} // namespace

NicknameDialog::NicknameDialog(const QString &suggestion, QWidget *parent)
    : QDialog(parent)
    , m_nickname(new QLineEdit(suggestion, this))
{
    setWindowTitle(QStringLiteral("Quelm Options"));
    m_nickname->setMaxLength(MaxNicknameLength);
    m_nickname->selectAll();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    // The first start cannot go on without a nickname.
    buttons->button(QDialogButtonBox::Cancel)->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_nickname, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_ok->setEnabled(!text.trimmed().isEmpty()); });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Nickname: (can be whatever you want)"), this));
    layout->addWidget(m_nickname);
    layout->addWidget(buttons);
}

QString NicknameDialog::nickname() const
{
    return m_nickname->text().trimmed();
}
