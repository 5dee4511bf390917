#include "serial/notifywindow.h"

#include "serial/notifymessage.h"
#include "serial/tcomm.h"
#include "serial/tsanorder.h"

TNotifyWindow::TNotifyWindow(TComm* owner) : QObject(owner), owner_(owner) {}

bool TNotifyWindow::event(QEvent* e) {
    TsanAcquire(e);
    if (e->type() != TNotifyMessage::Kind()) return QObject::event(e);
    auto* m = static_cast<TNotifyMessage*>(e);
    // Taken out of the event so the block is freed right after the handler,
    // also if the handler throws.
    const std::unique_ptr<uint8_t[]> block = std::move(m->block);
    void* lParam = block ? static_cast<void*>(block.get()) : reinterpret_cast<void*>(m->lParam);
    owner_->HandleNotifyMessage(m->msg, m->wParam, lParam);
    return true;
}
