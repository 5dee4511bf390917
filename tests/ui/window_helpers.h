// Helpers for window tests: waiting with deadlines, clicking through the
// application object (so handler exceptions reach its message box), and
// reading the modal message box that a handler shows.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// Processes events until `done` holds or `timeoutMs` passes; returns `done()`.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qWait(1);
    }
    return true;
}

// Processes events for `ms` milliseconds.
inline void Pump(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qWait(1);
    }
}

// Collects the texts of modal message boxes shown while it lives, closing
// each one as soon as it appears.
class ModalWatcher {
public:
    ModalWatcher() : poll_(std::make_unique<QTimer>()) {
        poll_->setInterval(5);
        QObject::connect(poll_.get(), &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                if (onShown) {
                    poll_->stop();  // the hook may wait: the box is seen once
                    onShown(box);
                    poll_->start();
                }
                texts_.push_back(box->text());
                details_.push_back(box->detailedText());
                informative_.push_back(box->informativeText());
                icons_.push_back(box->icon());
                // The hook may have answered it (Cancel) already.
                if (box->isVisible()) box->done(QMessageBox::Ok);
            }
        });
        poll_->start();
    }
    // Called with each box before it is read and closed (a screenshot, or a
    // click of its own answer).
    std::function<void(QMessageBox*)> onShown;
    const QStringList& texts() const { return texts_; }
    const QStringList& details() const { return details_; }  // detailed texts, one per box
    const QStringList& informative() const { return informative_; }  // shown under the text
    const QList<QMessageBox::Icon>& icons() const { return icons_; }
    void clear() {
        texts_.clear();
        details_.clear();
        informative_.clear();
        icons_.clear();
    }
    // Waits until `count` messages were seen or the deadline passed.
    bool WaitForCount(int count, int timeoutMs) {
        return WaitFor([&] { return texts_.size() >= count; }, timeoutMs);
    }

private:
    std::unique_ptr<QTimer> poll_;
    QStringList texts_;
    QStringList details_;
    QStringList informative_;
    QList<QMessageBox::Icon> icons_;
};

// A click as the engineer makes it: through the event loop and the
// application object.
inline void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
