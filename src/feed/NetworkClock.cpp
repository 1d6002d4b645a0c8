#include "feed/NetworkClock.h"

#include "platform/Clock.h"

namespace quadrantel::feed {

void NetworkClock::FileArrived(std::int64_t updatedMs, std::int64_t serverMs)
{
    // A file may be served some time after it was made (a cache in between): the server's
    // time of the answer dates its arrival better, unless the two cannot be one file's.
    std::int64_t at = updatedMs;
    if (updatedMs == 0)
        at = serverMs != 0 ? serverMs : local_.nowMSecs();
    else if (serverMs > updatedMs && serverMs - updatedMs <= kMaxDeliveryMs)
        at = serverMs;
    atArrivalMs_ = at;
    arrivalMono_ = local_.monotonicMSecs();
    known_ = true;
}

std::int64_t NetworkClock::NowMs() const
{
    return known_ ? atArrivalMs_ + SinceArrivalMs() : local_.nowMSecs();
}

std::int64_t NetworkClock::SinceArrivalMs() const
{
    return known_ ? local_.monotonicMSecs() - arrivalMono_ : 0;
}

} // namespace quadrantel::feed
