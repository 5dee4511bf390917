// One notification from a serial thread to the main thread, carried as a Qt
// event. A received block travels inside it and is freed with it, so a
// notification that is never delivered (its receiver deleted) leaks nothing.
#pragma once

#include <QEvent>
#include <cstdint>
#include <memory>

class QObject;

class TNotifyMessage : public QEvent {
public:
    TNotifyMessage(unsigned msg, uintptr_t wParam, uintptr_t lParam,
                   std::unique_ptr<uint8_t[]> block);
    static QEvent::Type Kind();

    unsigned msg;
    uintptr_t wParam;
    uintptr_t lParam;
    std::unique_ptr<uint8_t[]> block;  // MSG_RX_DATA only: wParam bytes and a zero byte
};

// Thread-safe; notifications to one receiver are delivered in posting order.
void PostNotify(QObject* receiver, unsigned msg, uintptr_t wParam = 0, uintptr_t lParam = 0,
                std::unique_ptr<uint8_t[]> block = {});
