#pragma once
// The history window: every attempt of history.log, newest first, and any
// two stored copies side by side. It reads the profile's files and writes
// none, so it opens beside a program or service that holds the profile.

#include "core/RuntimeError.h"
#include "history/CopyDiff.h"

#include <QList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;

namespace fetchora {

class CopyListModel;
class DiffView;
class HistoryFilter;
class HistoryFollower;
class HistoryModel;
class HistoryPlot;
class Profile;

// What the window shows, kept when it is opened again in another language.
struct HistoryView {
    CopyPair pair;
    int tab = 0;
    QString outcome, search;
};

class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    // `folder`: the profile's application folder; `password`: the ZIP password copies were packed with.
    HistoryWindow(const QString &folder, Language language, const QString &password, QWidget *parent = nullptr);
    ~HistoryWindow() override;

    const QList<StoredCopy> &copies() const { return m_copies; }
    CopyPair pair() const { return m_pair; }
    void setPair(CopyPair pair);
    void stepPair(int by);
    // The newer copy of the pair: what Open, Show and Copy path act on.
    void openCopy();
    void showCopyInFolder();
    void copyPath();
    Language language() const { return m_language; }
    HistoryView view() const;
    void setView(const HistoryView &view);

private:
    QString text(const char *german, const char *english) const;
    void loadCopies();
    // The same while the window is open, off the UI thread (a year of copies
    // takes a moment to read); one read at a time.
    void reloadCopies();
    void showCopies(const QList<StoredCopy> &copies);
    void fillPickers();
    void compare();
    void showSummary(const QString &summary);
    void rowChosen();
    // The copy acted on, or empty with the reason shown when it is gone.
    QString actedOn();
    // An attempt chosen on the plot, as a row of the model.
    void showAttempt(int row);

    QString m_folder;
    Language m_language;
    QString m_password;
    HistoryModel *m_model;
    HistoryFilter *m_filter;
    HistoryFollower *m_follower;
    QList<StoredCopy> m_copies;  // oldest first
    CopyListModel *m_copyList;   // both pickers list it
    bool m_reading = false;      // the manifest, off the UI thread
    bool m_readAgain = false;    // it changed again meanwhile
    CopyPair m_pair;
    QComboBox *m_outcome;
    QLineEdit *m_search;
    QTableView *m_table;
    QComboBox *m_older;
    QComboBox *m_newer;
    QCheckBox *m_sideBySide;
    QCheckBox *m_onlyChanges;
    QCheckBox *m_marked;
    DiffView *m_diff;
    QLabel *m_summary;
    QPushButton *m_open;
    QPushButton *m_show;
    QPushButton *m_copyPath;
    QTabWidget *m_views;  // the two copies, or the plot
    HistoryPlot *m_plot;
};

// Opens the window for the profile, as a window of its own.
HistoryWindow *openHistoryWindow(const Profile &profile, QWidget *parent = nullptr);

}  // namespace fetchora
