// Traffic panel: hidden at start, reached from View and File; a session
// against the simulated module logged, timed and saved as shown.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QScreen>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <atomic>
#include <thread>
#include <vector>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QToolButton>

#include "modbus/crc16.h"
#include "session/journalfollower.h"
#include "screenshot.h"
#include "traffic/journal.h"
#include "traffic/trafficstats.h"
#include "ui/trafficdock.h"
#include "ui/trafficlogmodel.h"
#include "window_fixture.h"

namespace {

using TrafficPanel = WindowTest;
using B = std::vector<uint8_t>;

// A peer on a pseudo-terminal that answers each request, 20 ms after it,
// with the next of its crafted replies.
class CraftedPeer {
public:
    explicit CraftedPeer(std::vector<B> replies) : replies_(std::move(replies)) {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throw std::runtime_error("pty");
        termios tio{};
        tcgetattr(slave_, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave_, TCSANOW, &tio);
        path_ = name;
        thread_ = std::thread([this] { Run(); });
    }
    ~CraftedPeer() {
        stop_ = true;
        thread_.join();
        close(master_);
        close(slave_);
    }
    const std::string& path() const { return path_; }

private:
    void Run() {
        size_t next = 0;
        while (!stop_) {
            pollfd fd{master_, POLLIN, 0};
            if (poll(&fd, 1, 50) <= 0 || !(fd.revents & POLLIN)) continue;
            uint8_t request[256];
            if (read(master_, request, sizeof request) <= 0) continue;
            if (next >= replies_.size()) continue;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the answer time
            const B& reply = replies_[next++];
            [[maybe_unused]] ssize_t n = write(master_, reply.data(), reply.size());
        }
    }

    std::vector<B> replies_;
    int master_ = -1, slave_ = -1;
    std::string path_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

B WithCrc(B frame) {
    const auto crc = ModbusCrc16(frame);
    frame.insert(frame.end(), crc.begin(), crc.end());
    return frame;
}

// The panel's rows as the view shows them, cells joined by tabs.
QStringList ShownRows(const TrafficLogModel& model) {
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column)
            cells << model.data(model.index(row, column), Qt::DisplayRole).toString();
        rows << cells.join('\t');
    }
    return rows;
}

// The rows of a saved text file: between the column names and the statistics.
QStringList SavedRows(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    qsizetype first = 0;
    while (first < lines.size() && !lines[first].startsWith("Time\t")) ++first;
    ++first;
    const qsizetype end = lines.indexOf("# Statistics");
    EXPECT_LE(first, end);
    return lines.mid(first, end - first);
}

// Saved and shown rows alike (the saved time with its date and offset); on
// a difference, the first differing row.
void ExpectSavedAsShown(const QString& path, const QStringList& shown) {
    const QStringList saved = SavedRows(path);
    ASSERT_EQ(saved.size(), shown.size());
    for (qsizetype i = 0; i < saved.size(); ++i) {
        QStringList savedCells = saved[i].split('\t');
        QStringList shownCells = shown[i].split('\t');
        if (shownCells[0] != "...") {
            ASSERT_TRUE(savedCells[0].contains("T" + shownCells[0])) << "row " << i;
            savedCells[0] = shownCells[0];
        }
        ASSERT_EQ(savedCells.join('\t').toStdString(), shown[i].toStdString()) << "row " << i;
    }
}

TEST_F(TrafficPanel, HiddenAtStartAndReachedFromTheMenus) {
    auto* dock = form.findChild<TrafficDock*>("dockTraffic");
    ASSERT_TRUE(dock);
    EXPECT_FALSE(dock->isVisible());
    auto* show = form.findChild<QAction*>("actionTraffic");
    ASSERT_TRUE(show);
    EXPECT_TRUE(form.menuView->actions().contains(show));
    EXPECT_FALSE(show->shortcut().isEmpty());
    const QList<QAction*> file = form.menuFile->actions();
    auto* save = form.findChild<QAction*>("actionSaveTraffic");
    ASSERT_TRUE(save);
    auto* open = form.findChild<QAction*>("actionOpenTraffic");
    ASSERT_TRUE(open);
    EXPECT_GE(file.indexOf(open), 0);
    // In File, somewhere before Exit (other entries share the menu).
    EXPECT_GE(file.indexOf(save), 0);
    EXPECT_LT(file.indexOf(save), file.indexOf(form.actionExit));
    show->trigger();
    EXPECT_TRUE(dock->isVisible());
}

TEST_F(TrafficPanel, SessionAgainstTheSimulatorIsTimedAndSavedAsShown) {
    constexpr int kDelayMs = 300;
    SimOptions options;
    options.replyDelayMs = kDelayMs;
    OpenOnSimulator(options);

    // Command 3 before any identity: the instrument ignores the zero address.
    Click(ui->Button16);
    ASSERT_TRUE(messages.WaitForCount(1, 4000));
    Click(ui->Button7);
    ASSERT_TRUE(WaitFor([&] { return !ui->Edit32->text().isEmpty(); }, 4000));
    Click(ui->Button16);
    ASSERT_TRUE(WaitFor([&] { return !ui->Edit30->text().isEmpty(); }, 4000));
    Click(ui->Button4);
    ASSERT_TRUE(WaitFor([&] { return !ui->Memo10->toPlainText().isEmpty(); }, 4000));

    const TrafficLog& log = form.Traffic->log();
    for (int code : {100, 103, 302}) {
        const RequestKindStats* kind = log.stats().Find(code);
        ASSERT_TRUE(kind) << code;
        EXPECT_EQ(kind->replies, 1u) << code;
        // The module waits for the end of the request, then the delay.
        EXPECT_GE(*kind->Min(), kDelayMs - 50) << code;
        EXPECT_LE(*kind->Max(), kDelayMs + 400) << code;
    }
    EXPECT_EQ(log.stats().Find(103)->requests, 2u);
    EXPECT_EQ(log.stats().Find(103)->timeouts, 1u);

    const QStringList shown = ShownRows(*form.Traffic);
    const QStringList timeouts = shown.filter("\tTIMEOUT\tHART Command 3\t");
    ASSERT_EQ(timeouts.size(), 1);
    EXPECT_TRUE(timeouts[0].contains("run the HART identity query first"));
    EXPECT_EQ(shown.filter("\tRX\tHART Command 3\tOK\t").filter("checksum").filter(" OK").size(),
              1);
    EXPECT_EQ(timeouts[0].split('\t')[kTrafficVerdictColumn].left(8), "timeout:");
    EXPECT_EQ(shown.filter("\tRX\tMODBUS Test\t").filter("CRC").filter(" OK").size(), 1);

    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(form.dockTraffic->Save(dir.filePath("traffic.txt"), &error)) << error.toStdString();
    ExpectSavedAsShown(dir.filePath("traffic.txt"), shown);
    ASSERT_TRUE(form.dockTraffic->Save(dir.filePath("traffic.csv"), &error));
    QFile csv(dir.filePath("traffic.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_TRUE(csv.readAll().contains(",TIMEOUT,HART Command 3,timeout:"));
    EXPECT_FALSE(form.dockTraffic->Save(dir.filePath("missing/traffic.txt"), &error));

    // Opened again, each form shows the same rows in a read-only panel.
    for (const char* name : {"traffic.txt", "traffic.csv"}) {
        TrafficDock* opened = OpenTrafficFile(&form, form.dockTraffic, dir.filePath(name), &error);
        ASSERT_TRUE(opened) << error.toStdString();
        EXPECT_EQ(opened->objectName(), "dockTrafficFile");
        auto* view = opened->findChild<QTableView*>("TrafficView");
        ASSERT_TRUE(view);
        const auto* model = qobject_cast<const QSortFilterProxyModel*>(view->model());
        ASSERT_TRUE(model);
        const auto* read = qobject_cast<const TrafficLogModel*>(model->sourceModel());
        ASSERT_TRUE(read);
        EXPECT_EQ(ShownRows(*read).join('\n').toStdString(), shown.join('\n').toStdString()) << name;
        EXPECT_FALSE(opened->findChild<QToolButton*>("TrafficClear")->isVisibleTo(opened));
        opened->close();
    }
    // The journal holds the same session, row by row, as it went: the
    // panel's rows byte for byte (one clock reading an event for both).
    const QString journal = QString::fromStdString(form.Journal->path());
    ASSERT_FALSE(journal.isEmpty());
    QFile file(journal);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList written = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(written[0].startsWith("# Tavrix Configurator ")) << written[0].toStdString();
    written.removeIf([](const QString& line) { return line.startsWith("# "); });
    ASSERT_FALSE(written.isEmpty());
    EXPECT_TRUE(written.takeFirst().startsWith("Time\t+ms\tDir\t"));
    const auto journalLine = [](const QString& shownRow) {
        std::vector<std::string> row;
        for (const QString& cell : shownRow.split('\t')) row.push_back(cell.toStdString());
        return JournalLine(row);
    };
    ASSERT_EQ(written.size(), shown.size());
    for (qsizetype i = 0; i < shown.size(); ++i)
        EXPECT_EQ(written[i].toStdString() + "\n",
                  JournalLine(SavedRow(form.Traffic->log(), static_cast<size_t>(i))))
            << i;
    // and reads back as a saved log does: the same rows, judged again.
    TrafficDock* reopened = OpenTrafficFile(&form, form.dockTraffic, journal, &error);
    ASSERT_TRUE(reopened) << error.toStdString();
    const auto* reread = qobject_cast<const TrafficLogModel*>(
        qobject_cast<const QSortFilterProxyModel*>(
            reopened->findChild<QTableView*>("TrafficView")->model())
            ->sourceModel());
    const QStringList rows = ShownRows(*reread);
    ASSERT_EQ(rows.size(), shown.size());
    for (qsizetype i = 0; i < shown.size(); ++i)
        EXPECT_EQ(journalLine(rows[i]), journalLine(shown[i])) << i;
    reopened->close();
    QFile notTraffic(dir.filePath("profile.ini"));
    ASSERT_TRUE(notTraffic.open(QIODevice::WriteOnly));
    notTraffic.write("[Module]\nMode=1\n");
    notTraffic.close();
    EXPECT_FALSE(OpenTrafficFile(&form, form.dockTraffic, notTraffic.fileName(), &error));
    EXPECT_TRUE(error.contains("line 1: not the traffic log's column names")) << error.toStdString();
}

// Faulty MODBUS replies from a crafted peer: each gets its verdict, the
// statistics count them apart, "Problems only" shows just them, and the
// response time is the peer's answer time, not the 0 ms a line time taken
// off on a pseudo-terminal used to leave.
TEST_F(TrafficPanel, FaultyRepliesFromACraftedPeerAreJudged) {
    B badCrc = WithCrc({1, 3, 4, 0x41, 0x40, 0, 0});
    badCrc.back() ^= 0xFF;
    CraftedPeer peer({WithCrc({1, 3, 4, 0x41, 0x40, 0, 0}), WithCrc({5, 3, 4, 0x41, 0x40, 0, 0}),
                      badCrc, WithCrc({1, 0x83, 2}), B{1, 3, 4, 0x41},
                      WithCrc({1, 3, 4, 0x41, 0x40, 0, 0})});
    ui->SPREALCOM->setEditText(QString::fromStdString(peer.path()));
    Click(ui->Button1);
    ASSERT_TRUE(form.PortOpen) << messages.texts().join("|").toStdString();
    ui->PageControl1->setCurrentWidget(ui->TabSheet3);
    ui->Edit18->setText("001");
    ui->Edit19->setText("0");
    ui->Edit20->setText("2");
    const TrafficLog& log = form.Traffic->log();
    const auto received = [&] {
        return std::count_if(log.events().begin(), log.events().end(),
                             [](const TrafficEvent& e) { return e.kind == TrafficKind::Received; });
    };
    for (int i = 1; i <= 6; ++i) {
        Click(ui->Button4);
        ASSERT_TRUE(WaitFor([&] { return received() == i; }, 5000)) << i;
    }
    QStringList verdicts;
    for (const TrafficEvent& event : log.events())
        if (event.kind == TrafficKind::Received)
            verdicts << QString::fromStdString(GradedText(event.graded));
    const QStringList expected = {
        "OK",
        "fault: slave 5 answered; 1 was asked",
        "fault: CRC EF 24, expected EF DB",
        "exception: 02 Illegal data address",
        "fault: reply incomplete: 4 of 9 bytes",
        "OK",
    };
    EXPECT_EQ(verdicts.join('|').toStdString(), expected.join('|').toStdString());
    const RequestKindStats* kind = log.stats().Find(302);
    ASSERT_TRUE(kind);
    EXPECT_EQ(kind->requests, 6u);
    EXPECT_EQ(kind->good, 2u);
    EXPECT_EQ(kind->wrong, 3u);
    EXPECT_EQ(kind->exceptions, 1u);
    EXPECT_GE(*kind->Min(), 15);

    auto* dock = form.findChild<TrafficDock*>("dockTraffic");
    auto* view = dock->findChild<QTableView*>("TrafficView");
    auto* problems = dock->findChild<QCheckBox*>("TrafficProblemsOnly");
    dock->show();
    dock->setFloating(true);
    dock->resize(QSize(1280, 560).boundedTo(dock->screen()->availableGeometry().size()));
    view->selectRow(view->model()->rowCount() - 5);  // the exception and its notes
    SaveScreenshot(dock, "traffic.png");
    SaveDarkScreenshot(dock, "traffic-dark.png");
    ASSERT_TRUE(view && problems);
    problems->setChecked(true);
    ASSERT_EQ(view->model()->rowCount(), 4);
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(view->model()->index(row, kTrafficVerdictColumn).data().toString(),
                  expected[row + 1]);
    problems->setChecked(false);
}

// Rows added while the panel was closed: reopened, it shows the newest.
TEST_F(TrafficPanel, ReopenedPanelShowsTheNewestRow) {
    auto* dock = form.findChild<TrafficDock*>("dockTraffic");
    dock->show();
    dock->hide();
    ExchangeRecord request;
    request.code = 201;
    for (int i = 0; i < 300; ++i) form.Traffic->Sent(request);
    dock->show();
    auto* view = dock->findChild<QTableView*>("TrafficView");
    QApplication::processEvents();
    ASSERT_GT(view->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
}

TEST_F(TrafficPanel, DaySessionStaysWithinItsHistoryAndSavesAsShown) {
    const std::string query = "QQQ#QX#";
    const std::string reply = "QX#BA2:31,MD:1,ADR:007,JTM:050,XY1:3#";
    for (int i = 0; i < 10003; ++i) {
        ExchangeRecord request;
        request.code = 202;
        request.frame.assign(query.begin(), query.end());
        form.Traffic->Sent(request);
        form.Traffic->Received(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(),
                               &request);
    }
    const TrafficLog& log = form.Traffic->log();
    EXPECT_EQ(log.events().size(), TrafficLog::kDefaultCapacity);
    EXPECT_EQ(log.dropped(), 6u);
    EXPECT_EQ(log.stats().Find(202)->replies, 10003u);
    const QStringList shown = ShownRows(*form.Traffic);
    ASSERT_EQ(shown.size(), int(TrafficLog::kDefaultCapacity) + 1);
    EXPECT_TRUE(shown[0].endsWith("6 earlier events dropped (the history keeps the last 20000)"));

    QTemporaryDir dir;
    ASSERT_TRUE(form.dockTraffic->Save(dir.filePath("day.txt"), nullptr));
    ExpectSavedAsShown(dir.filePath("day.txt"), shown);

    form.findChild<QToolButton*>("TrafficClear")->click();
    EXPECT_EQ(form.Traffic->rowCount(), 0);
    EXPECT_TRUE(log.stats().kinds().empty());
}

// View > Traffic Journal is on at start; off, nothing more is written; on
// again, the next event starts a new file in the same folder.
TEST_F(TrafficPanel, JournalTurnedOffAndOnFromTheViewMenu) {
    auto* toggle = form.findChild<QAction*>("actionJournal");
    ASSERT_TRUE(toggle);
    EXPECT_TRUE(toggle->isCheckable());
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_TRUE(form.findChild<QAction*>("actionJournalFolder"));
    EXPECT_TRUE(QString::fromStdString(form.Journal->folder()).endsWith("/tavrix"));
    OpenOnSimulator();
    const std::string first = form.Journal->path();
    ASSERT_FALSE(first.empty());
    const auto size = [](const std::string& path) { return QFileInfo(QString::fromStdString(path)).size(); };
    toggle->trigger();
    EXPECT_TRUE(form.Journal->path().empty());
    const qint64 closedAt = size(first);
    Click(ui->Button6);
    ASSERT_TRUE(WaitFor([&] { return !ui->Memo10->toPlainText().isEmpty(); }, 4000));
    EXPECT_EQ(size(first), closedAt);
    toggle->trigger();
    Click(ui->Button6);
    ASSERT_TRUE(WaitFor([&] { return !form.Journal->path().empty(); }, 4000));
    EXPECT_NE(form.Journal->path(), first);
    EXPECT_EQ(size(first), closedAt);
}

}  // namespace
