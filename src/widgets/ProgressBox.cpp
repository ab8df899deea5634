#include "widgets/ProgressBox.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace fetchora {

namespace {

// A screen reader knows the box as a progress bar with its percentage, not
// as an anonymous picture.
class AccessibleProgress : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleProgress(QWidget *box) : QAccessibleWidget(box, QAccessible::ProgressBar) {}
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return QString::number(box()->percent()) + QStringLiteral(" %");
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return box()->percent(); }
    void setCurrentValue(const QVariant &) override {}  // shown, not set
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    const ProgressBox *box() const { return static_cast<const ProgressBox *>(widget()); }
};

QAccessibleInterface *accessibleProgress(const QString &className, QObject *object)
{
    if (className == QLatin1String("fetchora::ProgressBox") && object && object->isWidgetType())
        return new AccessibleProgress(static_cast<QWidget *>(object));
    return nullptr;
}

}  // namespace

ProgressBox::ProgressBox(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    static const bool installed = (QAccessible::installFactory(accessibleProgress), true);
    (void)installed;
}

void ProgressBox::Cls()
{
    // Drawn at the screen's pixel density, so bar and percentage are as
    // sharp at 150 % and 200 % as at 100 %.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize().expandedTo(QSize(1, 1));
    if (m_image.size() != pixels || m_image.devicePixelRatio() != ratio) {
        m_image = QImage(pixels, QImage::Format_RGB32);
        m_image.setDevicePixelRatio(ratio);
    }
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

void ProgressBox::draw(qint64 value, qint64 minimum, qint64 maximum, bool withText)
{
    if (value < minimum)
        value = minimum;
    if (value > maximum)
        value = maximum;
    long percent = 100;
    if (maximum >= 1)
        percent = long(std::floor(double(value) / double(maximum) * 100.0 + 0.5));
    if (!AutoRedraw())
        setAutoRedraw(true);
    m_drawn = {value, maximum, withText};
    Cls();
    if (const int shown = value > 0 ? int(percent) : 0; shown != m_percent) {
        m_percent = shown;
        QAccessibleValueChangeEvent changed(this, shown);
        QAccessible::updateAccessibility(&changed);
    }
    if (value <= 0)
        return;
    // Rounded half to even, as the classic conversion to a whole number does.
    const int bar = int(std::nearbyint(ScaleWidth() / 100.0 * double(percent)));
    fillRect(QRect(0, 0, bar, ScaleHeight()), QColor(0, 0, 192));
    if (withText) {
        const QString text = QString::number(percent) + QStringLiteral(" %");
        const int x = (ScaleWidth() - textWidth(text)) / 2;
        const int y = (ScaleHeight() - textHeight(text)) / 2;
        printText(x, y, text, x <= bar ? QColor(Qt::white) : QColor(Qt::black));
    }
}

void ProgressBox::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    // Moved to a screen of another density: drawn again for that one.
    if (!m_image.isNull() && m_image.devicePixelRatio() != devicePixelRatioF())
        draw(m_drawn.value, 0, m_drawn.maximum, m_drawn.withText);
    if (m_image.isNull())
        p.fillRect(rect(), palette().color(QPalette::Window));
    else
        p.drawImage(QPointF(0, 0), m_image);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ProgressBox::resizeEvent(QResizeEvent *)
{
    Cls();
}

}  // namespace fetchora
