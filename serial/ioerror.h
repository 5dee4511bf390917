// The one errno mapping of the serial threads.
#pragma once

enum class TIoOutcome {
    Retry,   // EINTR, EAGAIN: wait and try again
    Closed,  // EBADF: the descriptor was closed under the thread; end without a notification
    Failed,  // anything else (EIO after a hang-up): notify the owner and end
};

TIoOutcome ClassifyIoError(int err);
