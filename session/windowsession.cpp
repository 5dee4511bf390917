#include "session/windowsession.h"

#include <QDateTime>

#include "session/link.h"
#include "session/loopcheckjob.h"

WindowSession::WindowSession(Link* link, WindowRequest* requests, QObject* parent)
    : QObject(parent), link_(link), requests_(requests), loopCheck_(new LoopCheckJob(link, this)) {}

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
                                    int firstRegister) {
    captured_.modbus = std::move(block);
    captured_.modbusVerdict = verdict;
    captured_.modbusFirstRegister = firstRegister;
    captured_.modbusTime = QDateTime::currentDateTime();
    emit repliesCaptured();
}

void WindowSession::KeepHartValues(HartDynamicValues values) {
    captured_.hart = std::move(values);
    captured_.hartTime = QDateTime::currentDateTime();
    emit repliesCaptured();
}
