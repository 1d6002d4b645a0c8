#include "link/LinkSource.h"

#include "atcclient/TowrixProbe.h"
#include "link/SocketPlusLink.h"
#include "platform/RuntimeError.h"
#include "shell/Config.h"

#include <QCoreApplication>
#include <QTimer>

namespace quadrantel::link {

namespace {

LinkEvents EventsOf(LinkController& controller)
{
    return {[&controller](const std::string& index, std::int32_t bytes) { controller.Sck_DataArrival(index, bytes); },
            [&controller](const std::string& index) { controller.Sck_CloseSck(index); },
            [&controller](const std::string& index, std::int16_t number, const std::string& description) {
                controller.Sck_Error(index, number, description);
            }};
}

} // namespace

LinkSource::LinkSource(LinkController::Controls controls, LinkController::Hooks hooks, Parts parts)
    : c_(controls), table_(parts.table), atc_(parts.atc), data_(parts.table, parts.clock, std::move(parts.dump)),
      // The socket's events reach the controller only once both exist.
      sck_(parts.makeSocket ? parts.makeSocket(EventsOf(controller_)) : MakeSocketPlusLink(EventsOf(controller_))),
      controller_(controls, *sck_, data_, [this, &hooks] {
          hooks.checkAutoConnect = [this] { CheckAutoConnect(); };
          return std::move(hooks);
      }())
{
}

LinkSource::~LinkSource()
{
    // The socket's events call into the controller: the socket goes first.
    sck_.reset();
}

void LinkSource::Stop()
{
    platform::IgnoreErrors([&] {
        if (sck_)
            sck_->CloseSck(shell::globals().sServerName);
    });
    // A refused login unloads the window from inside one of the socket's own events: the
    // object is released once that event has returned, never under its feet.
    std::shared_ptr<LinkSocket> closed(std::move(sck_));
    if (QCoreApplication::instance())
        QTimer::singleShot(0, QCoreApplication::instance(), [closed] {});
}

std::optional<traffic::Fix> LinkSource::FixOf(const std::string& callsign) const
{
    const traffic::Position* p = table_.Record(callsign);
    if (!p)
        return std::nullopt;
    return traffic::Fix{*p, {}};
}

void LinkSource::CheckAutoConnect()
{
    switch (atc_.Connection()) {
    case atcclient::TowrixConnection::NotRunning:
        return;
    case atcclient::TowrixConnection::NotConnected:
        c_.lblError.setCaption("Towrix/Linkar not Running or not connected !");
        return;
    case atcclient::TowrixConnection::Connected:
        controller_.TryToConnect();
        return;
    }
}

} // namespace quadrantel::link
