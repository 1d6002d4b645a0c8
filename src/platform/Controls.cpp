#include "platform/Controls.h"

#include "platform/RuntimeError.h"

namespace quadrantel::platform {

void Control::setFocus()
{
    if (!focusHandler || !focusHandler())
        throw RuntimeError(5, "SetFocus", "Invalid procedure call or argument");
}

} // namespace quadrantel::platform
