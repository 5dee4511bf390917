#include "serial/notifymessage.h"

#include <QCoreApplication>
#include <new>

#include "serial/tsanorder.h"

TNotifyMessage::TNotifyMessage(unsigned msg, uintptr_t wParam, uintptr_t lParam,
                               std::unique_ptr<uint8_t[]> block)
    : QEvent(Kind()), msg(msg), wParam(wParam), lParam(lParam), block(std::move(block)) {}

QEvent::Type TNotifyMessage::Kind() {
    static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
    return kind;
}

void PostNotify(QObject* receiver, unsigned msg, uintptr_t wParam, uintptr_t lParam,
                std::unique_ptr<uint8_t[]> block) {
    // Runs on the reader and writer threads: out of memory must not end the
    // process there, so the notification is lost instead.
    try {
        auto* event = new TNotifyMessage(msg, wParam, lParam, std::move(block));
        TsanRelease(event);
        QCoreApplication::postEvent(receiver, event);
    } catch (const std::bad_alloc&) {
    }
}
