// Traffic panel: hidden at start, reached from View and File; a session
// against the simulated module logged, timed and saved as shown.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QToolButton>

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
