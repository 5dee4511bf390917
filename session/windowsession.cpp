#include "session/windowsession.h"

#include <QDateTime>

#include "exchange/replyverdict.h"
#include "exchange/requestcodes.h"
#include "session/link.h"
#include "session/loopcheckjob.h"

WindowSession::WindowSession(Link* link, WindowRequest* requests, QObject* parent)
    : QObject(parent), link_(link), requests_(requests), loopCheck_(new LoopCheckJob(link, this)) {
    // The cross-check compares the newest values, whichever run read them.
    connect(link_, &Link::stepReplied, this,
            [this](const SequenceStep& step, const QByteArray& reply, const QString& source) {
                const auto bytes = std::span(reinterpret_cast<const uint8_t*>(reply.constData()),
                                             static_cast<size_t>(reply.size()));
                if (step.code == kCodeHartCommand3) {
                    if (auto values = ParseHartCommand3Values(bytes))
                        KeepHartValues(std::move(*values), source);
                } else if (step.code == kCodeModbusTest) {
                    const auto request = std::span(
                        reinterpret_cast<const uint8_t*>(step.frame.data()), step.frame.size());
                    if (const auto start = VariablesReadStart(request))
                        KeepModbusReply({bytes.begin(), bytes.end()},
                                        JudgeReply(step.code, step.frame, reply.toStdString()),
                                        *start, source);
                }
            });
}

bool WindowSession::PortOpen() const { return portOpen_ ? portOpen_() : link_->IsOpen(); }

bool WindowSession::EnsurePortOpen() {
    if (PortOpen()) return true;
    if (pressPortButton_) pressPortButton_();
    return PortOpen();
}

void WindowSession::ClosePort() {
    if (PortOpen() && pressPortButton_) pressPortButton_();
}

WindowSettings WindowSession::Settings() const {
    return settings_ ? settings_() : WindowSettings{};
}

void WindowSession::KeepModbusReply(std::vector<uint8_t> block, const ReplyVerdict& verdict,
                                    int firstRegister, const QString& source) {
    captured_.modbus = std::move(block);
    captured_.modbusVerdict = verdict;
    captured_.modbusFirstRegister = firstRegister;
    captured_.modbusTime = QDateTime::currentDateTime();
    captured_.modbusSource = source;
    emit repliesCaptured();
}

void WindowSession::KeepHartValues(HartDynamicValues values, const QString& source) {
    captured_.hart = std::move(values);
    captured_.hartTime = QDateTime::currentDateTime();
    captured_.hartSource = source;
    emit repliesCaptured();
}
