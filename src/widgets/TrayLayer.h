#pragma once
// The notification-area ("tray") icon as the main window uses it: an icon, a
// tooltip, a popup menu built from keyed items, and three events.

#include <QIcon>
#include <QObject>
#include <QString>

namespace fetchora {

class TrayLayer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~TrayLayer() override = default;

    virtual void setIcon(const QIcon &icon) = 0;
    // A whole-number property set to 0 each time the window goes to the tray.
    virtual void setStyleValue(int value) = 0;
    virtual void setToolTip(const QString &text) = 0;
    virtual QString toolTip() const = 0;
    virtual void Show() = 0;
    virtual void Remove() = 0;
    virtual bool isShown() const = 0;
    // False when the window goes to the tray, True when it comes back.
    virtual void setRestored(bool restored) = 0;
    virtual void AddMenuItem(const QString &key, const QString &caption) = 0;
    virtual void ShowMenu() = 0;
    // Whether the desktop can show a tray icon at all. Without one the window
    // stays reachable on the taskbar when minimised.
    virtual bool available() const = 0;

signals:
    void Click(int button);  // 1 left, 2 right
    void DblClick();
    void MenuClick(int index, const QString &key);
    // The icon was shown and the desktop's tray has gone away (a panel
    // restarted or ended): nothing shows the icon any more.
    void HostLost();
};

}  // namespace fetchora
