// Traffic panel: hidden at start, reached from View and File; a session
// against the simulated module logged, timed and saved as shown.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QTemporaryDir>
#include <QToolButton>

#include "session/journalfollower.h"
#include "traffic/trafficstats.h"
#include "ui/trafficdock.h"
#include "ui/trafficlogmodel.h"
#include "window_fixture.h"

namespace {

using TrafficPanel = WindowTest;

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

// Saved and shown rows alike; on a difference, the first differing row.
void ExpectSavedAsShown(const QString& path, const QStringList& shown) {
    const QStringList saved = SavedRows(path);
    ASSERT_EQ(saved.size(), shown.size());
    for (qsizetype i = 0; i < saved.size(); ++i)
        ASSERT_EQ(saved[i].toStdString(), shown[i].toStdString()) << "row " << i;
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
    EXPECT_EQ(shown.filter("\tRX\tHART Command 3\t").filter("checksum").filter(" OK").size(), 1);
    EXPECT_EQ(shown.filter("\tRX\tMODBUS Test\t").filter("CRC").filter(" OK").size(), 1);

    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(form.dockTraffic->Save(dir.filePath("traffic.txt"), &error)) << error.toStdString();
    ExpectSavedAsShown(dir.filePath("traffic.txt"), shown);
    ASSERT_TRUE(form.dockTraffic->Save(dir.filePath("traffic.csv"), &error));
    QFile csv(dir.filePath("traffic.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_TRUE(csv.readAll().contains("\"TIMEOUT\",\"HART Command 3\""));
    EXPECT_FALSE(form.dockTraffic->Save(dir.filePath("missing/traffic.txt"), &error));

    // The journal holds the same session, row by row, as it went (each event
    // timed by its own clock reading, so the time columns are left out).
    const QString journal = QString::fromStdString(form.Journal->path());
    ASSERT_FALSE(journal.isEmpty());
    QFile file(journal);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList written = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(written[0].startsWith("# Tavrix Configurator ")) << written[0].toStdString();
    written.removeIf([](const QString& line) { return line.startsWith("# "); });
    ASSERT_FALSE(written.isEmpty());
    EXPECT_TRUE(written.takeFirst().startsWith("Time\t+ms\tDir\t"));
    const auto columns = [](const QString& row) { return row.split('\t').mid(2, 5); };
    ASSERT_EQ(written.size(), shown.size());
    for (qsizetype i = 0; i < shown.size(); ++i)
        EXPECT_EQ(columns(written[i]), columns(shown[i])) << i;
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

}  // namespace
