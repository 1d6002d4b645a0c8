#pragma once

#include "platform/Random.h"

#include <cstddef>
#include <vector>

namespace quadrantel::test {

// Returns the scripted values in turn, starting over at the end.
class ScriptedRandom final : public platform::Random {
public:
    explicit ScriptedRandom(std::vector<double> values) : values_(std::move(values)) {}
    double next() override
    {
        const double v = values_[i_ % values_.size()];
        ++i_;
        return v;
    }
    std::size_t calls() const { return i_; }

private:
    std::vector<double> values_;
    std::size_t i_ = 0;
};

} // namespace quadrantel::test
