#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Random.h"

#include <random>

namespace quadrantel::platform {
namespace {

class MtRandom final : public Random {
public:
    double next() override { return dist_(engine_); }

private:
    std::mt19937_64 engine_{std::random_device{}()};
    std::uniform_real_distribution<double> dist_{0.0, 1.0};
};

class SilentDialogs final : public Dialogs {
public:
    int messageBox(const std::string&, int, const std::string&) override { return Ok; }
    std::string inputBox(const std::string&, const std::string&, const std::string&) override { return {}; }
};

Dialogs* g_dialogs = nullptr;

} // namespace

Clock& DefaultClock()
{
    static SystemClock clock;
    return clock;
}

Random& DefaultRandom()
{
    static MtRandom random;
    return random;
}

Dialogs& CurrentDialogs()
{
    static SilentDialogs silent;
    return g_dialogs ? *g_dialogs : silent;
}

void SetDialogs(Dialogs* dialogs)
{
    g_dialogs = dialogs;
}

} // namespace quadrantel::platform
