#pragma once

#include <QWidget>

class QLabel;

// Shown while start-up runs; its status line follows the start-up steps.
class SplashWindow final : public QWidget
{
    Q_OBJECT

public:
    explicit SplashWindow(QWidget *parent = nullptr);

    void setStatus(const QString &status);
    QString status() const;

private:
    QLabel *m_status;
};
