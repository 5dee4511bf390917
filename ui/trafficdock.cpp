#include "ui/trafficdock.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QCheckBox>
#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <chrono>

#include "traffic/trafficformat.h"
#include "ui/trafficlogmodel.h"

namespace {

QPlainTextEdit* ReadOnlyText(const char* objectName, QWidget* parent) {
    auto* text = new QPlainTextEdit(parent);
    text->setObjectName(objectName);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return text;
}

// Only the rows whose verdict is a problem (and the dropped-events row).
class ProblemFilter : public QSortFilterProxyModel {
public:
    ProblemFilter(TrafficLogModel* model, QObject* parent)
        : QSortFilterProxyModel(parent), model_(model) {
        setSourceModel(model);
    }
    void SetProblemsOnly(bool on) {
        problemsOnly_ = on;
        invalidateRowsFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex&) const override {
        if (!problemsOnly_) return true;
        const TrafficEvent* event = TrafficEventAt(model_->log(), static_cast<size_t>(row));
        return !event || IsProblem(event->graded.grade);
    }

private:
    TrafficLogModel* model_;
    bool problemsOnly_ = false;
};

}  // namespace

TrafficDock::TrafficDock(TrafficLogModel* model, QWidget* parent)
    : QDockWidget("Traffic", parent), model_(model) {
    setObjectName("dockTraffic");
    auto* body = new QWidget(this);

    filter_ = new ProblemFilter(model_, this);
    view_ = new QTableView(body);
    view_->setObjectName("TrafficView");
    view_->setModel(filter_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setWordWrap(false);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view_->verticalHeader()->hide();
    // Fixed row heights keep a view of 20 000 rows quick.
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 4);
    view_->horizontalHeader()->setStretchLastSection(true);
    // The verdict, reason first, is read without widening its column.
    const int widths[] = {95, 45, 60, 150, 330, 35, 220, 120};
    for (int column = 0; column < static_cast<int>(std::size(widths)); ++column)
        view_->setColumnWidth(column, widths[column]);

    detail_ = ReadOnlyText("TrafficDetail", body);
    statistics_ = ReadOnlyText("TrafficStatistics", body);
    auto* clear = new QToolButton(body);
    clear->setText("Clear");
    clear->setObjectName("TrafficClear");
    clear_ = clear;
    auto* problemsOnly = new QCheckBox("Problems only", body);
    problemsOnly->setObjectName("TrafficProblemsOnly");
    problemsOnly->setToolTip("Show only warnings, faults, exceptions, timeouts and blocks not handled");

    auto* right = new QWidget(body);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(statistics_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(problemsOnly);
    buttons->addStretch();
    buttons->addWidget(clear);
    rightLayout->addLayout(buttons);

    auto* lower = new QSplitter(Qt::Horizontal, body);
    lower->addWidget(detail_);
    lower->addWidget(right);
    auto* split = new QSplitter(Qt::Vertical, body);
    split->addWidget(view_);
    split->addWidget(lower);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(split);
    setWidget(body);

    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TrafficDock::ShowDetail);
    // Statistics are redrawn at most a few times a second, and only when seen.
    statisticsTimer_ = new QTimer(this);
    statisticsTimer_->setSingleShot(true);
    statisticsTimer_->setInterval(200);
    connect(statisticsTimer_, &QTimer::timeout, this, &TrafficDock::ShowStatistics);
    connect(model_, &TrafficLogModel::statisticsChanged, this, [this] {
        if (isVisible() && !statisticsTimer_->isActive()) statisticsTimer_->start();
    });
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (!visible) return;
        ShowStatistics();
        // Reopened: the newest row is what the engineer came for.
        atBottom_ = true;
        view_->scrollToBottom();
    });
    connect(problemsOnly, &QCheckBox::toggled, this, [this](bool on) {
        static_cast<ProblemFilter*>(filter_)->SetProblemsOnly(on);
        view_->scrollToBottom();
    });
    connect(model_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = view_->verticalScrollBar();
        atBottom_ = bar->value() == bar->maximum();
    });
    connect(model_, &QAbstractItemModel::rowsInserted, this, &TrafficDock::FollowNewRows);
    connect(clear, &QToolButton::clicked, model_, &TrafficLogModel::Clear);
    ShowStatistics();
}

void TrafficDock::SetReadOnly() { clear_->hide(); }

void TrafficDock::ShowDetail() {
    const QModelIndex current = view_->currentIndex();
    const QModelIndex source = filter_->mapToSource(current);
    const TrafficEvent* event =
        source.isValid() ? TrafficEventAt(model_->log(), static_cast<size_t>(source.row()))
                         : nullptr;
    detail_->setPlainText(event ? QString::fromStdString(TrafficDetail(*event)) : QString());
}

void TrafficDock::ShowStatistics() {
    QStringList lines;
    for (const std::string& line : FormatTrafficStats(model_->log().stats()))
        lines << QString::fromStdString(line);
    statistics_->setPlainText(lines.join('\n'));
}

void TrafficDock::FollowNewRows() {
    if (atBottom_ && isVisible()) view_->scrollToBottom();
}

bool TrafficDock::Save(const QString& path, QString* error) const {
    const TrafficSaveHeader header{TAVRIX_VERSION, std::chrono::system_clock::now()};
    const bool csv = path.endsWith(".csv", Qt::CaseInsensitive);
    const std::string text =
        csv ? TrafficCsv(model_->log(), header) : TrafficText(model_->log(), header);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}
