#include "shell/SystemTray.h"

#include <QCursor>

namespace fetchora {

SystemTray::SystemTray(QObject *parent) : TrayLayer(parent), m_menu(std::make_unique<QMenu>())
{
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
