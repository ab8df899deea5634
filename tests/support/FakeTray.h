#pragma once
// A tray layer that only remembers what it was told; tests raise its events.

#include "widgets/TrayLayer.h"

#include <QList>
#include <QPair>
#include <utility>

namespace fetchora::testing {

class FakeTray : public TrayLayer {
public:
    using TrayLayer::TrayLayer;

    void setIcon(const QIcon &) override {}
    void setStyleValue(int) override {}
    void setToolTip(const QString &text) override { tip = text; }
    QString toolTip() const override { return tip; }
    void Show() override { shown = true; }
    void Remove() override { shown = false; }
    bool isShown() const override { return shown; }
    void setRestored(bool) override {}
    void AddMenuItem(const QString &key, const QString &caption) override { m_building.append({key, caption}); }
    void ShowMenu() override { menus.append(std::exchange(m_building, {})); }
    bool available() const override { return true; }

    QString tip;
    bool shown = false;
    QList<QList<QPair<QString, QString>>> menus;  // every menu shown: key and caption of each item

private:
    QList<QPair<QString, QString>> m_building;
};

}  // namespace fetchora::testing
