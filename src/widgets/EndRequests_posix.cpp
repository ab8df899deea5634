#include "widgets/EndRequests.h"

#include "core/EndSignals.h"

#include <QGuiApplication>

namespace fetchora {

EndRequests::EndRequests(QObject *parent) : QObject(parent)
{
    connect(new EndSignals(this), &EndSignals::endRequested, this, &EndRequests::endRequested);
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, &EndRequests::endRequested);
}

EndRequests::~EndRequests() = default;

}  // namespace fetchora
