#pragma once
// The picture box the progress bar is drawn in. Drawing goes into a kept
// image (the box redraws itself from it), so what was drawn last stays on
// screen and tests can read it back.

#include <QColor>
#include <QImage>
#include <QWidget>

namespace fetchora {

class ProgressBox : public QWidget {
    Q_OBJECT
public:
    explicit ProgressBox(QWidget *parent = nullptr);

    int ScaleWidth() const { return width(); }
    int ScaleHeight() const { return height(); }
    bool AutoRedraw() const { return m_autoRedraw; }
    void setAutoRedraw(bool on) { m_autoRedraw = on; }

    void Cls();
    void fillRect(const QRect &r, QColor color);
    // Text drawn at (x, y) in the given colour.
    void printText(int x, int y, const QString &text, QColor color);
    int textWidth(const QString &text) const;
    int textHeight(const QString &text) const;

    // The progress bar: value clamped to [minimum, maximum], the percentage
    // rounded half up, a blue bar of that share of the width and, withText,
    // the percentage centred (white over the bar, black beside it). A value
    // that ends at 0 or below, or a maximum below 1, leaves the box empty.
    void draw(qint64 value, qint64 minimum, qint64 maximum, bool withText);

    // What was drawn since the last Cls: for the window's own tests.
    const QImage &image() const { return m_image; }
    int barWidth() const { return m_barWidth; }
    QString shownText() const { return m_text; }
    QColor textColor() const { return m_textColor; }
    // The share the bar shows, 0 to 100: what a screen reader reads as its value.
    int percent() const { return m_percent; }

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;

private:
    QImage m_image;
    bool m_autoRedraw = false;
    int m_barWidth = 0;
    QString m_text;
    QColor m_textColor;
    int m_percent = 0;
    struct {
        qint64 value = 0, maximum = 0;
        bool withText = false;
    } m_drawn;  // the last bar, clamped, to draw again at another density
};

}  // namespace fetchora
