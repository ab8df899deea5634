#pragma once
// Acts on a modal dialog once its exec() loop is running: polls for the
// active modal widget of the given type, runs the action on it and rejects
// the dialog if the action left it open. With no dialog after about five
// seconds the wait ends (and closes whatever modal widget is up), so a
// failing test cannot hang the run.

#include <QApplication>
#include <QTimer>
#include <functional>

namespace fetchora::testing {

template <class Dialog>
class WhenModalIsUp {
public:
    explicit WhenModalIsUp(std::function<void(Dialog &)> act) : m_act(std::move(act))
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this] { poll(); });
        m_poll.start();
    }

    bool seen() const { return m_seen; }

private:
    void poll()
    {
        if (auto *dlg = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            m_poll.stop();
            m_seen = true;
            m_act(*dlg);
            if (dlg->isVisible())
                dlg->reject();
        } else if (--m_triesLeft <= 0) {
            m_poll.stop();
            if (QWidget *other = QApplication::activeModalWidget())
                other->close();
        }
    }

    std::function<void(Dialog &)> m_act;
    QTimer m_poll;
    int m_triesLeft = 500;
    bool m_seen = false;
};

}  // namespace fetchora::testing
