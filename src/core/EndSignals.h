#pragma once
// The termination signals (SIGTERM, SIGINT, SIGHUP) as a Qt signal on the
// event loop, so the program can end as it chooses instead of where the
// signal happened to hit. Needs only Qt Core: the window and the headless
// service both use it. One instance at a time.

#include <QObject>

namespace fetchora {

class EndSignals : public QObject {
    Q_OBJECT
public:
    explicit EndSignals(QObject *parent = nullptr);
    // The signals end the process again as they normally do.
    ~EndSignals() override;

signals:
    void endRequested();
};

}  // namespace fetchora
