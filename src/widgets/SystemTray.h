#pragma once
// The tray layer over QSystemTrayIcon.

#include "widgets/TrayLayer.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>

namespace fetchora {

class SystemTray final : public TrayLayer {
    Q_OBJECT
public:
    explicit SystemTray(QObject *parent = nullptr);
    ~SystemTray() override;

    void setIcon(const QIcon &icon) override { m_icon.setIcon(icon); }
    void setStyleValue(int value) override { m_style = value; }
    void setToolTip(const QString &text) override { m_icon.setToolTip(text); }
    QString toolTip() const override { return m_icon.toolTip(); }
    void Show() override;
    void Remove() override;
    bool isShown() const override { return m_icon.isVisible(); }
    void setRestored(bool restored) override { m_restored = restored; }
    void AddMenuItem(const QString &key, const QString &caption) override;
    void ShowMenu() override;
    bool available() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }

private:
    void watchHost();

    QSystemTrayIcon m_icon{this};  // a child, so that a test can raise its activations
    std::unique_ptr<QMenu> m_menu;
    // Qt says nothing when the tray goes away: while the icon is shown, the
    // tray is looked for now and then.
    QTimer m_watch;
    bool m_hostSeen = false;
    int m_style = 0;
    bool m_restored = true;
};

}  // namespace fetchora
