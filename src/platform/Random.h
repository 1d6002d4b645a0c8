#pragma once

namespace quadrantel::platform {

// Uniform random numbers in [0, 1); tests inject a scripted source.
class Random {
public:
    virtual ~Random() = default;
    virtual double next() = 0;
};

Random& DefaultRandom();

} // namespace quadrantel::platform
