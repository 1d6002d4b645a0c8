#pragma once

namespace quadrantel::platform {

// Lets pending events of the loop run once.
void DoEvents();
// A blocking wait that keeps the event loop running until the deadline.
void PumpingSleep(int milliseconds);

} // namespace quadrantel::platform
