#include "serial/ioerror.h"

#include <cerrno>

TIoOutcome ClassifyIoError(int err) {
    switch (err) {
        case EINTR:
        case EAGAIN:
            return TIoOutcome::Retry;
        case EBADF:
            return TIoOutcome::Closed;
        default:
            return TIoOutcome::Failed;
    }
}
