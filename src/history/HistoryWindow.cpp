#include "history/HistoryWindow.h"

#include "core/HandOver.h"
#include "core/Profile.h"
#include "history/CopyList.h"
#include "history/DiffView.h"
#include "history/HistoryLog.h"
#include "history/HistoryModel.h"
#include "history/HistoryPlot.h"

#include <QApplication>
#include <algorithm>
#include <utility>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcHistory, "fetchora.history", QtWarningMsg)

namespace fetchora {

namespace {

constexpr int kFileManagerAnswerMs = 2000;
constexpr qsizetype kWholeLines = 10000;

// Reads of the manifest still running when the program ends: it waits a moment for them.
DetachedThreads &manifestReads()
{
    static DetachedThreads reads(1000);
    return reads;
}

QLabel *buddyLabel(const QString &caption, QWidget *buddy)
{
    auto *label = new QLabel(caption);
    label->setBuddy(buddy);
    buddy->setAccessibleName(QString(caption).remove(u'&').remove(u':'));
    return label;
}

}  // namespace

QString HistoryWindow::text(const char *german, const char *english) const
{
    return QString::fromUtf8(m_language == Language::German ? german : english);
}

HistoryWindow::HistoryWindow(const QString &folder, Language language, const QString &password, QWidget *parent)
    : QWidget(parent, Qt::Window), m_folder(folder), m_language(language), m_password(password),
      m_model(new HistoryModel(language, this)), m_filter(new HistoryFilter(this)),
      m_follower(new HistoryFollower(folder + QStringLiteral("/history.log"), this)),
      m_copyList(new CopyListModel(language, this))
{
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(text("Verlauf – %1", "History – %1").arg(QDir::toNativeSeparators(folder)));

    m_outcome = new QComboBox;
    m_outcome->setObjectName(QStringLiteral("outcomeBox"));
    m_outcome->addItem(text("alle", "all"), QString());
    for (const QString &outcome : historyOutcomes())
        m_outcome->addItem(outcomeWord(outcome, language), outcome);
    m_search = new QLineEdit;
    m_search->setObjectName(QStringLiteral("searchEdit"));
    m_search->setClearButtonEnabled(true);
    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(buddyLabel(text("&Ergebnis:", "&Outcome:"), m_outcome));
    filterRow->addWidget(m_outcome);
    filterRow->addWidget(buddyLabel(text("&Suchen:", "&Search:"), m_search));
    filterRow->addWidget(m_search, 1);

    m_filter->setSourceModel(m_model);
    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("attemptTable"));
    m_table->setAccessibleName(text("Versuche", "Attempts"));
    m_table->setModel(m_filter);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setWordWrap(false);
    // One line a row: uniform heights keep a year of rows cheap to scroll.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);

    m_older = new QComboBox;
    m_older->setObjectName(QStringLiteral("olderBox"));
    m_newer = new QComboBox;
    m_newer->setObjectName(QStringLiteral("newerBox"));
    pickFrom(m_older, m_copyList);
    pickFrom(m_newer, m_copyList);
    m_sideBySide = new QCheckBox(text("&Nebeneinander", "Side &by side"));
    m_sideBySide->setObjectName(QStringLiteral("sideBySideBox"));
    m_sideBySide->setChecked(true);
    m_onlyChanges = new QCheckBox(text("Nur Än&derungen", "Only &changes"));
    m_onlyChanges->setObjectName(QStringLiteral("onlyChangesBox"));
    m_marked = new QCheckBox(text("Änderungen ma&rkieren", "Mar&k changes"));
    m_marked->setObjectName(QStringLiteral("markChangesBox"));
    m_marked->setToolTip(text("Geänderte CSV-Zellen und Pixel", "Changed CSV cells and pixels"));
    m_marked->setChecked(true);
    auto *pickRow = new QHBoxLayout;
    pickRow->addWidget(buddyLabel(text("Ä&lter:", "O&lder:"), m_older));
    pickRow->addWidget(m_older, 1);
    pickRow->addWidget(buddyLabel(text("Ne&uer:", "Ne&wer:"), m_newer));
    pickRow->addWidget(m_newer, 1);
    // The view's switches get a row of their own: beside the pickers they
    // made the window wider than a small screen at 200 %.
    auto *viewRow = new QHBoxLayout;
    viewRow->addWidget(m_sideBySide);
    viewRow->addWidget(m_onlyChanges);
    viewRow->addWidget(m_marked);
    viewRow->addStretch(1);

    m_diff = new DiffView(language);
    m_diff->setObjectName(QStringLiteral("diffView"));
    m_diff->setAccessibleName(text("Unterschiede", "Differences"));
    m_summary = new QLabel;
    m_summary->setObjectName(QStringLiteral("summaryLabel"));
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->setWordWrap(true);  // a long summary takes lines, not the window's width
    showSummary({});
    m_open = new QPushButton(text("Ö&ffnen", "O&pen"));
    m_open->setObjectName(QStringLiteral("openButton"));
    m_show = new QPushButton(text("Im Datei&manager zeigen", "Show in &file manager"));
    m_show->setObjectName(QStringLiteral("showButton"));
    m_copyPath = new QPushButton(text("&Pfad kopieren", "Copy pa&th"));
    m_copyPath->setObjectName(QStringLiteral("copyPathButton"));
    for (QPushButton *b : {m_open, m_show, m_copyPath})
        b->setToolTip(text("Die neuere Kopie", "The newer copy"));
    auto *actRow = new QHBoxLayout;
    actRow->addWidget(m_summary, 1);
    actRow->addWidget(m_open);
    actRow->addWidget(m_show);
    actRow->addWidget(m_copyPath);

    auto *comparePane = new QWidget;
    auto *compareLayout = new QVBoxLayout(comparePane);
    compareLayout->setContentsMargins(0, 0, 0, 0);
    compareLayout->addLayout(pickRow);
    compareLayout->addLayout(viewRow);
    compareLayout->addWidget(m_diff, 1);
    compareLayout->addLayout(actRow);
    // The plot shares the lower half with the two copies; a click on it
    // chooses its attempt in the table above.
    m_plot = new HistoryPlot(m_model, language);
    m_views = new QTabWidget;
    m_views->setObjectName(QStringLiteral("viewTabs"));
    m_views->setAccessibleName(text("Ansicht", "View"));
    m_views->addTab(comparePane, text("Zwei &Kopien", "Two cop&ies"));
    m_views->addTab(m_plot, text("Verlauf als &Bild", "&Graph over time"));
    auto *splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(m_table);
    splitter->addWidget(m_views);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(splitter, 1);
    const QList<QWidget *> order = {m_outcome,     m_search,  m_table, m_older, m_newer, m_sideBySide,
                                    m_onlyChanges, m_marked, m_diff,  m_open,  m_show,  m_copyPath};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    setTabOrder(m_table, m_views);
    setTabOrder(m_copyPath, m_plot);

    connect(m_outcome, &QComboBox::currentIndexChanged, this,
            [this] { m_filter->setOutcome(m_outcome->currentData().toString()); });
    connect(m_search, &QLineEdit::textChanged, m_filter, &HistoryFilter::setSearch);
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &HistoryWindow::rowChosen);
    const auto picked = [this] { setPair({m_older->currentIndex(), m_newer->currentIndex()}); };
    connect(m_older, &QComboBox::activated, this, picked);
    connect(m_newer, &QComboBox::activated, this, picked);
    connect(m_sideBySide, &QCheckBox::toggled, m_diff, &DiffView::setSideBySide);
    connect(m_onlyChanges, &QCheckBox::toggled, m_diff, &DiffView::setOnlyChanges);
    connect(m_marked, &QCheckBox::toggled, m_diff, &DiffView::setMarked);
    connect(m_open, &QPushButton::clicked, this, &HistoryWindow::openCopy);
    connect(m_show, &QPushButton::clicked, this, &HistoryWindow::showCopyInFolder);
    connect(m_copyPath, &QPushButton::clicked, this, &HistoryWindow::copyPath);
    connect(m_plot, &HistoryPlot::attemptChosen, this, &HistoryWindow::showAttempt);
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, m_plot,
            [this](const QModelIndex &current) { m_plot->setChosen(m_filter->mapToSource(current).row()); });
    const auto key = [this](QKeySequence sequence, auto slot) {
        auto *shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    key(QKeySequence(Qt::ALT | Qt::Key_Left), [this] { stepPair(-1); });
    key(QKeySequence(Qt::ALT | Qt::Key_Right), [this] { stepPair(1); });
    key(QKeySequence(Qt::Key_F7), [this] { m_diff->stepChange(1); });
    key(QKeySequence(Qt::SHIFT | Qt::Key_F7), [this] { m_diff->stepChange(-1); });
    key(QKeySequence(QKeySequence::Close), [this] { close(); });

    connect(m_follower, &HistoryFollower::reloaded, this, [this] {
        m_model->setLines(m_follower->lines());
        reloadCopies();
    });
    connect(m_follower, &HistoryFollower::appended, this, [this](qsizetype count) {
        m_model->showAppended();
        for (int row = 0; row < count; ++row) {
            if (m_model->entry(row).outcome == QLatin1String("stored")) {
                reloadCopies();
                break;
            }
        }
    });
    m_model->setLines(m_follower->readAll());
    loadCopies();
    qCInfo(lcHistory, "listed %lld attempts, %lld copies", qlonglong(m_model->rowCount()), qlonglong(m_copies.size()));
    m_table->resizeColumnsToContents();
    // At 200 % on a small screen that would not fit: never more than nine
    // tenths of what the screen has room for.
    const QSize room = screen() ? screen()->availableGeometry().size() * 9 / 10 : QSize(960, 640);
    resize(QSize(960, 640).boundedTo(room));
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::loadCopies()
{
    showCopies(readManifest(manifestIn(m_folder)).copies);
}

void HistoryWindow::reloadCopies()
{
    if (m_reading) {
        m_readAgain = true;
        return;
    }
    m_reading = true;
    auto *watcher = new QFutureWatcher<QList<StoredCopy>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        watcher->deleteLater();
        m_reading = false;
        showCopies(watcher->result());
        if (std::exchange(m_readAgain, false))
            reloadCopies();
    });
    watcher->setFuture(runOffUiThreadIn(manifestReads(), [manifest = manifestIn(m_folder)] {
        return readManifest(manifest).copies;
    }));
}

void HistoryWindow::showCopies(const QList<StoredCopy> &copies)
{
    // A new copy moves the pair along when it showed the newest.
    const bool wasNewest = m_pair == newestPair(int(m_copies.size()));
    m_copies = copies;
    fillPickers();
    const int count = int(m_copies.size());
    if (wasNewest || m_pair.newer >= count || m_pair.older >= count)
        setPair(newestPair(count));
    else
        setPair(m_pair);
}

void HistoryWindow::fillPickers()
{
    m_copyList->setCopies(m_copies);
}

void HistoryWindow::setPair(CopyPair pair)
{
    m_pair = pair;
    m_older->setCurrentIndex(pair.older);
    m_newer->setCurrentIndex(pair.newer);
    compare();
}

void HistoryWindow::stepPair(int by)
{
    setPair(steppedPair(m_pair, by, int(m_copies.size())));
}

void HistoryWindow::compare()
{
    if (m_pair.older < 0 || m_pair.newer < 0) {
        m_diff->show(CopyComparison{});
        m_diff->setPlainText(text("Noch keine gespeicherte Kopie.", "No copy stored yet."));
        showSummary({});
        return;
    }
    const CopyComparison c =
        compareCopies(m_copies[m_pair.older].path, m_copies[m_pair.newer].path, m_password);
    // Shown whole, a long text takes the view many seconds: its equal parts are folded.
    if (c.lines.size() > kWholeLines)
        m_onlyChanges->setChecked(true);
    m_diff->show(c);
    QString summary;
    const QLocale locale(m_language == Language::German ? QLocale::German : QLocale::English);
    if (c.kind == CopyComparison::Text)
        summary = c.changes == 0 ? text("gleich", "equal")
                                 : text("%1 Änderungen (F7, Umschalt+F7)", "%1 changes (F7, Shift+F7)").arg(c.changes);
    else if (c.kind == CopyComparison::Gone)
        summary = text("nicht mehr da", "gone");
    else if (c.kind == CopyComparison::Image && c.pixels.outcome == PixelDifference::SizesDiffer)
        summary = text("verschieden groß", "sizes differ");
    else if (c.kind == CopyComparison::Image && c.pixels.changed == 0)
        summary = c.sha256[0] == c.sha256[1] ? text("gleich", "equal") : text("kein Pixel geändert", "no pixel changed");
    else if (c.kind == CopyComparison::Image)
        summary = text("%1 Pixel geändert", "%1 pixels changed").arg(locale.toString(c.pixels.changed));
    if (c.changedCells > 0)
        summary += text(", %1 geänderte Zellen", ", %1 changed cells").arg(locale.toString(c.changedCells));
    if (!c.inner[1].isEmpty())
        summary += text(" – in der ZIP-Datei: %1", " – inside the ZIP: %1").arg(c.inner[1]);
    showSummary(summary);
    // A screen reader hears what the colours show.
    m_diff->setAccessibleDescription(summary);
}

void HistoryWindow::rowChosen()
{
    const QString path = m_table->currentIndex().data(HistoryModel::CopyRole).toString();
    for (int i = int(m_copies.size()) - 1; i >= 0 && !path.isEmpty(); --i) {
        if (m_copies[i].path == path) {
            setPair({std::max(0, i - 1), i});
            return;
        }
    }
}

QString HistoryWindow::actedOn()
{
    if (m_pair.newer < 0)
        return {};
    const QString path = m_copies[m_pair.newer].path;
    if (!QFileInfo::exists(path)) {
        showSummary(text("Die Kopie ist nicht mehr da: %1", "The copy is gone: %1").arg(path));
        return {};
    }
    return path;
}

void HistoryWindow::showAttempt(int row)
{
    // The user asked for this very attempt: a filter that hides it gives way,
    // rather than another attempt being shown in its place.
    const QModelIndex source = m_model->index(row, 0);
    if (!m_filter->mapFromSource(source).isValid()) {
        m_outcome->setCurrentIndex(0);
        m_search->clear();
    }
    const QModelIndex shown = m_filter->mapFromSource(source);
    m_table->setCurrentIndex(shown);
    m_table->scrollTo(shown);
}

void HistoryWindow::openCopy()
{
    if (const QString path = actedOn(); !path.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void HistoryWindow::showCopyInFolder()
{
    const QString path = actedOn();
    if (path.isEmpty())
        return;
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // Bounded: a file manager that does not answer must not hold the window.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kFileManagerAnswerMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [folder](QDBusPendingCallWatcher *w) {
        if (w->isError())
            QDesktopServices::openUrl(folder);
        w->deleteLater();
    });
}

void HistoryWindow::copyPath()
{
    if (m_pair.newer < 0)
        return;
    // The path of a copy that is gone is still worth having (to look for it).
    const QString path = m_copies[m_pair.newer].path;
    QApplication::clipboard()->setText(QDir::toNativeSeparators(path));
    if (!QFileInfo::exists(path))
        showSummary(text("Die Kopie ist nicht mehr da: %1", "The copy is gone: %1").arg(path));
}

HistoryWindow *openHistoryWindow(const Profile &profile, QWidget *parent)
{
    auto *window = new HistoryWindow(profile.folder(), profile.language(),
                                     profile.settings().text(Setting::Password), parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

HistoryView HistoryWindow::view() const
{
    return {m_pair, m_views->currentIndex(), m_outcome->currentData().toString(), m_search->text()};
}

void HistoryWindow::setView(const HistoryView &view)
{
    m_outcome->setCurrentIndex(std::max(0, m_outcome->findData(view.outcome)));
    m_search->setText(view.search);
    m_views->setCurrentIndex(view.tab);
    const int count = int(m_copies.size());
    if (view.pair.older >= 0 && view.pair.older < count && view.pair.newer >= 0 && view.pair.newer < count)
        setPair(view.pair);
}

void HistoryWindow::showSummary(const QString &summary)
{
    m_summary->setText(summary);
    // Selectable text takes the focus, and a screen reader would land on a
    // label that says nothing: an empty summary takes none.
    m_summary->setFocusPolicy(summary.isEmpty() ? Qt::NoFocus : Qt::ClickFocus);
}

}  // namespace fetchora
