#pragma once

#include "platform/MessageWindow.h"
#include "platform/Winsock.h"

#include <cstdint>
#include <memory>
#include <string>

// The process-wide side of the socket layer: the socket service's reference count, the one
// hidden message window, the routing of socket notices and lookup answers to the object that
// owns the socket or the lookup, the holders of freshly accepted connections, and the
// English texts of socket error codes. Single-threaded, like the rest of the program.
namespace quadrantel::net {

using platform::ws::Socket;

constexpr std::uint32_t kLookupMessage = 0x8000;
constexpr std::uint32_t kSocketMessage = 0x8001;
constexpr long kSelectMask = 0x3B; // FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE

// Whoever owns sockets or lookups: CSocketPlus objects. The registry does not own them,
// except the holders of accepted connections.
class SocketOwner {
public:
    virtual ~SocketOwner() = default;
    virtual std::intptr_t WndProc(platform::MessageWindow::Handle window, std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam) = 0;
};

// Service start and stop, once per socket object; raise platform::RuntimeError on failure.
long InitiateProcesses();
long FinalizeProcesses();

// The first registration creates the message window, the last unregistration destroys it.
// With `select` the socket's notices (mask 0x3B) are posted to the window as 0x8001.
bool RegisterSocket(Socket s, SocketOwner* owner, bool select);
void UnregisterSocket(Socket s);
bool IsSocketRegistered(Socket s);
void ChangeSocketOwner(Socket s, SocketOwner* owner);

// Starts an asynchronous lookup answered as message 0x8000 to the owner; `buffer` must hold
// platform::ws::kMaxGetHostStruct bytes until the answer arrives or the task is cancelled.
// Returns the task handle, 0 on failure (the reason is the last socket error).
int StartLookup(const std::string& host, char* buffer, SocketOwner* owner);
void RemoveResolution(int task);

// Holders of accepted connections that no object has taken yet, keyed by socket handle.
void AddAcceptedSocket(Socket s, std::unique_ptr<SocketOwner> holder);
bool IsAcceptedSocket(Socket s);
SocketOwner* GetAcceptedSocketHolder(Socket s);
// Hands the holder back to the caller (who usually lets it go); null when there is none.
std::unique_ptr<SocketOwner> RemoveAcceptedSocket(Socket s);

std::string GetErrorDescription(long code);

// State, for diagnostics and tests.
bool ServiceStarted();
int ObjectCount();
platform::MessageWindow::Handle MessageWindowHandle();
int SocketRouteCount();
int LookupRouteCount();
int SocketRouteSlot(Socket s); // 1-based, 0 when there is no route
int AcceptedSocketCount();

} // namespace quadrantel::net
