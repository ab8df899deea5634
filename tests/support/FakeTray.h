#pragma once
// A tray layer that only remembers what it was told; tests raise its events.

#include "shell/TrayLayer.h"

#include <QList>
#include <QPair>
#include <utility>

namespace fetchora::testing {

class FakeTray : public TrayLayer {
    Q_OBJECT
public:
    using TrayLayer::TrayLayer;

    void setIcon(const QIcon &picture) override { icon = picture; ++iconSets; }
    void setStyleValue(int value) override { style = value; }
    void setToolTip(const QString &text) override { tip = text; }
    QString toolTip() const override { return tip; }
    void Show() override { shown = true; }
    void Remove() override { shown = false; }
    bool isShown() const override { return shown; }
    void setRestored(bool r) override { restored = r; }
    void AddMenuItem(const QString &key, const QString &caption) override { pending.append({key, caption}); }
    void ShowMenu() override { menus.append(std::exchange(pending, {})); }
    bool available() const override { return true; }

    QIcon icon;
    int iconSets = 0, style = -1;
    QString tip;
    bool shown = false, restored = true;
    QList<QPair<QString, QString>> pending;
    QList<QList<QPair<QString, QString>>> menus;  // every menu shown
};

}  // namespace fetchora::testing
