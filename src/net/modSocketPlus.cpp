#include "net/modSocketPlus.h"

#include "platform/RuntimeError.h"

#include <map>
#include <vector>

namespace quadrantel::net {
namespace {

namespace ws = platform::ws;
using platform::MessageWindow;

// Parallel tables of (handle, owner); a freed slot holds -1 and is reused before the table grows.
class RouteTable {
public:
    void add(std::int64_t handle, SocketOwner* owner)
    {
        for (std::size_t i = 0; i < handles_.size(); ++i) {
            if (handles_[i] == handle)
                return;
            if (handles_[i] == -1) {
                handles_[i] = handle;
                owners_[i] = owner;
                return;
            }
        }
        handles_.push_back(handle);
        owners_.push_back(owner);
    }
    void remove(std::int64_t handle)
    {
        const int i = slot(handle);
        if (i > 0) {
            handles_[i - 1] = -1;
            owners_[i - 1] = nullptr;
        }
    }
    void change(std::int64_t handle, SocketOwner* owner)
    {
        const int i = slot(handle);
        if (i > 0)
            owners_[i - 1] = owner;
    }
    SocketOwner* find(std::int64_t handle) const
    {
        const int i = slot(handle);
        return i > 0 ? owners_[i - 1] : nullptr;
    }
    int slot(std::int64_t handle) const
    {
        if (handle == -1)
            return 0;
        for (std::size_t i = 0; i < handles_.size(); ++i)
            if (handles_[i] == handle)
                return static_cast<int>(i) + 1;
        return 0;
    }
    int count() const { return static_cast<int>(handles_.size()); }
    void reset()
    {
        handles_.clear();
        owners_.clear();
    }

private:
    std::vector<std::int64_t> handles_;
    std::vector<SocketOwner*> owners_;
};

struct Module {
    bool serviceStarted = false;
    int objectCount = 0;
    bool hasOwners = false; // the socket-owner collection exists
    std::map<Socket, SocketOwner*> owners;
    std::map<Socket, std::unique_ptr<SocketOwner>> accepted;
    MessageWindow::Handle window = 0;
    MessageWindow::Handle subclassed = 0;
    MessageWindow::Procedure previous;
    RouteTable lookupRoutes;
    RouteTable socketRoutes;
};

Module& M()
{
    static Module m;
    return m;
}

std::intptr_t RoutingProcedure(MessageWindow::Handle window, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam)
{
    Module& m = M();
    if (message == kLookupMessage || message == kSocketMessage) {
        RouteTable& table = message == kLookupMessage ? m.lookupRoutes : m.socketRoutes;
        SocketOwner* owner = table.find(static_cast<std::int64_t>(wParam));
        return owner ? owner->WndProc(window, message, wParam, lParam) : 0;
    }
    return m.previous ? m.previous(window, message, wParam, lParam) : 0;
}

bool Subclass(MessageWindow::Handle window)
{
    Module& m = M();
    if (m.subclassed)
        return false;
    m.subclassed = window;
    m.previous = MessageWindow::SetProcedure(window, RoutingProcedure);
    return true;
}

bool UnSubclass()
{
    Module& m = M();
    if (!m.subclassed)
        return false;
    // The routes go with the window: a new window starts with empty tables.
    m.lookupRoutes.reset();
    m.socketRoutes.reset();
    MessageWindow::SetProcedure(m.subclassed, std::move(m.previous));
    m.previous = nullptr;
    m.subclassed = 0;
    return true;
}

long CreateWinsockMessageWindow()
{
    M().window = MessageWindow::Create();
    return M().window ? 0 : 7;
}

long DestroyWinsockMessageWindow()
{
    Module& m = M();
    if (m.window) {
        if (!MessageWindow::Destroy(m.window))
            throw platform::RuntimeError(7, "modSocketPlus.DestroyWinsockMessageWindow", "Out of memory");
        m.window = 0;
    }
    return 0;
}

} // namespace

long InitiateProcesses()
{
    Module& m = M();
    ++m.objectCount;
    if (!m.serviceStarted) {
        m.serviceStarted = true;
        const int rc = ws::WSAStartup(0x0101);
        if (rc != 0)
            throw platform::RuntimeError(rc, "modSocketPlus.InitiateProcesses", GetErrorDescription(rc));
    }
    return 0;
}

long FinalizeProcesses()
{
    Module& m = M();
    --m.objectCount;
    if (m.serviceStarted && m.objectCount == 0) {
        if (ws::WSACleanup() == ws::kSocketError) {
            const int e = ws::WSAGetLastError();
            throw platform::RuntimeError(e, "modSocketPlus.FinalizeProcesses", GetErrorDescription(e));
        }
        UnSubclass();
        m.serviceStarted = false;
    }
    return 0;
}

bool RegisterSocket(Socket s, SocketOwner* owner, bool select)
{
    Module& m = M();
    if (!m.hasOwners) {
        m.hasOwners = true;
        if (CreateWinsockMessageWindow() != 0)
            throw platform::RuntimeError(7, "modSocketPlus.RegisterSocket", "Out of memory");
        Subclass(m.window);
    }
    m.socketRoutes.add(s, owner);
    if (select && ws::WSAAsyncSelect(s, m.window, kSocketMessage, kSelectMask) == ws::kSocketError) {
        const int e = ws::WSAGetLastError();
        throw platform::RuntimeError(e, "modSocketPlus.RegisterSocket", GetErrorDescription(e));
    }
    m.owners[s] = owner;
    return true;
}

void UnregisterSocket(Socket s)
{
    Module& m = M();
    m.socketRoutes.remove(s);
    platform::IgnoreErrors([&] {
        m.owners.erase(s);
        if (m.owners.empty()) {
            m.hasOwners = false;
            UnSubclass();
            DestroyWinsockMessageWindow();
        }
    });
}

bool IsSocketRegistered(Socket s)
{
    return M().owners.count(s) > 0;
}

void ChangeSocketOwner(Socket s, SocketOwner* owner)
{
    M().socketRoutes.change(s, owner);
    auto it = M().owners.find(s);
    if (it != M().owners.end())
        it->second = owner;
}

int StartLookup(const std::string& host, char* buffer, SocketOwner* owner)
{
    const int task = ws::WSAAsyncGetHostByName(M().window, kLookupMessage, host, buffer, ws::kMaxGetHostStruct);
    if (task != 0)
        M().lookupRoutes.add(task, owner);
    return task;
}

void RemoveResolution(int task)
{
    M().lookupRoutes.remove(task);
}

void AddAcceptedSocket(Socket s, std::unique_ptr<SocketOwner> holder)
{
    M().accepted[s] = std::move(holder);
}

bool IsAcceptedSocket(Socket s)
{
    return M().accepted.count(s) > 0;
}

SocketOwner* GetAcceptedSocketHolder(Socket s)
{
    auto it = M().accepted.find(s);
    return it == M().accepted.end() ? nullptr : it->second.get();
}

std::unique_ptr<SocketOwner> RemoveAcceptedSocket(Socket s)
{
    auto it = M().accepted.find(s);
    if (it == M().accepted.end())
        return nullptr;
    std::unique_ptr<SocketOwner> holder = std::move(it->second);
    M().accepted.erase(it);
    return holder;
}

std::string GetErrorDescription(long code)
{
    switch (code) {
    case 10004:
        return "Interrupted function call.";
    case 10013:
        return "Permission denied.";
    case 10014:
        return "Bad address.";
    case 10022:
        return "Invalid argument.";
    case 10024:
        return "Too many open files.";
    case 10035:
        return "Resource temporarily unavailable.";
    case 10036:
        return "Operation now in progress.";
    case 10037:
        return "Operation already in progress.";
    case 10038:
        return "Socket operation on nonsocket.";
    case 10039:
        return "Destination address required.";
    case 10040:
        return "Message too long.";
    case 10041:
        return "Protocol wrong type for socket.";
    case 10042:
        return "Bad protocol option.";
    case 10043:
        return "Protocol not supported.";
    case 10044:
        return "Socket type not supported.";
    case 10045:
        return "Operation not supported.";
    case 10046:
        return "Protocol family not supported.";
    case 10047:
        return "Address family not supported by protocol family.";
    case 10048:
        return "Address already in use.";
    case 10049:
        return "Cannot assign requested address.";
    case 10050:
        return "Network is down.";
    case 10051:
        return "Network is unreachable.";
    case 10052:
        return "Network dropped connection on reset.";
    case 10053:
        return "Software caused connection abort.";
    case 10054:
        return "Connection reset by peer.";
    case 10055:
        return "No buffer space available.";
    case 10056:
        return "Socket is already connected.";
    case 10057:
        return "Socket is not connected.";
    case 10058:
        return "Cannot send after socket shutdown.";
    case 10060:
        return "Connection timed out.";
    case 10061:
        return "Connection refused.";
    case 10065:
        return "No route to host.";
    case 10067:
        return "Too many processes.";
    case 10091:
        return "Network subsystem is unavailable.";
    case 10092:
        return "Winsock.dll version out of range.";
    case 10093:
        return "Successful WSAStartup not yet performed.";
    case 11001:
        return "Host not found.";
    case 11002:
        return "Nonauthoritative host not found.";
    case 11003:
        return "This is a nonrecoverable error.";
    case 11004:
        return "Valid name, no data record of requested type.";
    default:
        return "Unknown error.";
    }
}

bool ServiceStarted()
{
    return M().serviceStarted;
}
int ObjectCount()
{
    return M().objectCount;
}
MessageWindow::Handle MessageWindowHandle()
{
    return M().window;
}
int SocketRouteCount()
{
    return M().socketRoutes.count();
}
int LookupRouteCount()
{
    return M().lookupRoutes.count();
}
int SocketRouteSlot(Socket s)
{
    return M().socketRoutes.slot(s);
}
int AcceptedSocketCount()
{
    return static_cast<int>(M().accepted.size());
}

} // namespace quadrantel::net
