#pragma once

#include "link/LinkController.h"

#include <memory>

namespace quadrantel::link {

// The link's socket: one element of the socket class, keyed by the server name, with its
// events routed to the link.
std::unique_ptr<LinkSocket> MakeSocketPlusLink(LinkEvents events);

} // namespace quadrantel::link
