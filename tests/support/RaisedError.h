#pragma once

#include "platform/RuntimeError.h"

namespace quadrantel::test {

// The number of the run-time error the call raises, 0 when it raises none.
template <typename Call> long RaisedError(Call&& call)
{
    try {
        call();
    } catch (const platform::RuntimeError& e) {
        return e.number();
    }
    return 0;
}

} // namespace quadrantel::test
