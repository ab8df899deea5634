#include "mainwindow/ProgressBox.h"

#include <QFontMetrics>
#include <QPainter>

namespace fetchora {

ProgressBox::ProgressBox(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ProgressBox::Cls()
{
    if (m_image.size() != size())
        m_image = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    m_image.fill(palette().color(QPalette::Window));
    m_barWidth = 0;
    m_text.clear();
    m_textColor = QColor();
    update();
}

void ProgressBox::fillRect(const QRect &r, QColor color)
{
    if (m_image.isNull())
        Cls();
    QPainter p(&m_image);
    p.fillRect(r, color);
    m_barWidth = r.width();
    update();
}

void ProgressBox::printText(int x, int y, const QString &text, QColor color)
{
    if (m_image.isNull())
        Cls();
    QPainter p(&m_image);
    p.setFont(font());
    p.setPen(color);
    p.drawText(x, y + QFontMetrics(font()).ascent(), text);
    m_text = text;
    m_textColor = color;
    update();
}

int ProgressBox::textWidth(const QString &text) const
{
    return QFontMetrics(font()).horizontalAdvance(text);
}

int ProgressBox::textHeight(const QString &) const
{
    return QFontMetrics(font()).height();
}

void ProgressBox::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (m_image.isNull())
        p.fillRect(rect(), palette().color(QPalette::Window));
    else
        p.drawImage(0, 0, m_image);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ProgressBox::resizeEvent(QResizeEvent *)
{
    Cls();
}

}  // namespace fetchora
