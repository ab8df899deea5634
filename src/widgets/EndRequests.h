#pragma once
// Requests to end the program that come from outside the window: the
// termination signals (SIGTERM, SIGINT, SIGHUP) and the end of the desktop
// session. The program answers them as it answers the close box.

#include <QObject>

namespace fetchora {

class EndRequests : public QObject {
    Q_OBJECT
public:
    explicit EndRequests(QObject *parent = nullptr);
    ~EndRequests() override;

signals:
    void endRequested();
};

}  // namespace fetchora
