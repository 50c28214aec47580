#pragma once

#include <QLabel>

// The line that blinks while the subnet scan runs. Blinking only skips
// drawing the text: it keeps its place, and a blink repaints this line alone
// instead of restyling it.
class ScanNotice final : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

    void setTextShown(bool shown);
    bool isTextShown() const { return m_shown; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_shown = true;
};
