#include "widgets/SystemTray.h"

#include <QCursor>

namespace fetchora {

SystemTray::SystemTray(QObject *parent) : TrayLayer(parent), m_menu(std::make_unique<QMenu>())
{
    m_watch.setInterval(1000);
    connect(&m_watch, &QTimer::timeout, this, &SystemTray::watchHost);
    connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Context: emit Click(2); break;
        case QSystemTrayIcon::Trigger: emit Click(1); break;
        case QSystemTrayIcon::DoubleClick: emit DblClick(); break;
        default: break;
        }
    });
}

SystemTray::~SystemTray() = default;

void SystemTray::Show()
{
    m_icon.show();
    m_hostSeen = available();
    m_watch.start();
}

void SystemTray::Remove()
{
    m_watch.stop();
    m_icon.hide();
}

void SystemTray::watchHost()
{
    // A tray that was there and is gone; one that was never there (a bare
    // window manager) leaves the minimised window on the taskbar anyway.
    const bool now = available();
    if (m_hostSeen && !now) {
        m_watch.stop();
        emit HostLost();
    }
    m_hostSeen = now;
}

void SystemTray::AddMenuItem(const QString &key, const QString &caption)
{
    // Each item once: an item of the same key replaces the earlier one.
    for (QAction *a : m_menu->actions()) {
        if (a->data().toString() == key) {
            m_menu->removeAction(a);
            a->deleteLater();
        }
    }
    QAction *action = m_menu->addAction(caption);
    action->setData(key);
    connect(action, &QAction::triggered, this, [this, key] { emit MenuClick(0, key); });
}

void SystemTray::ShowMenu()
{
    m_menu->popup(QCursor::pos());
    // The next right-click builds the menu anew from the texts of that moment.
    connect(
        m_menu.get(), &QMenu::aboutToHide, this,
        [this] {
            QMetaObject::invokeMethod(
                this, [this] { m_menu->clear(); }, Qt::QueuedConnection);
        },
        Qt::SingleShotConnection);
}

}  // namespace fetchora
