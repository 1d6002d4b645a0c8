#pragma once

#include "platform/MessageWindow.h"

#include <cstdint>
#include <string>
#include <vector>

// glibc may define these as macros; the names below are functions of the socket library.
#undef htons
#undef ntohs

// The host socket library: BSD-style calls with the error codes and window-message
// notifications of Windows Sockets 1.1, built on POSIX sockets and the Qt event loop.
// Every socket is non-blocking. Failures return -1 (kSocketError) and leave their code
// for WSAGetLastError().
namespace quadrantel::platform::ws {

using Socket = std::int32_t;
constexpr Socket kInvalidSocket = -1;
constexpr int kSocketError = -1;

constexpr int kAfInet = 2;
constexpr int kSockStream = 1;
constexpr int kSockDgram = 2;
constexpr int kIpProtoTcp = 6;
constexpr int kIpProtoUdp = 17;

constexpr int kSolSocket = 0xFFFF;
constexpr int kSoBroadcast = 0x0020;
constexpr int kSoSndBuf = 0x1001;
constexpr int kSoRcvBuf = 0x1002;
constexpr int kSoMaxMsgSize = 0x2003;
constexpr int kMaxUdpDatagram = 65507;

constexpr long kFionRead = 0x4004667F;
constexpr int kMsgPeek = 2;

constexpr std::uint32_t kInAddrAny = 0;
constexpr std::uint32_t kInAddrNone = 0xFFFFFFFF;

// Notification bits of WSAAsyncSelect.
constexpr long kFdRead = 1;
constexpr long kFdWrite = 2;
constexpr long kFdAccept = 8;
constexpr long kFdConnect = 16;
constexpr long kFdClose = 32;

// The size a caller should give WSAAsyncGetHostByName.
constexpr int kMaxGetHostStruct = 1024;

enum Error : int {
    WSAEINTR = 10004,
    WSAEACCES = 10013,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,
    WSAEINPROGRESS = 10036,
    WSAEALREADY = 10037,
    WSAENOTSOCK = 10038,
    WSAEDESTADDRREQ = 10039,
    WSAEMSGSIZE = 10040,
    WSAEPROTOTYPE = 10041,
    WSAENOPROTOOPT = 10042,
    WSAEPROTONOSUPPORT = 10043,
    WSAESOCKTNOSUPPORT = 10044,
    WSAEOPNOTSUPP = 10045,
    WSAEPFNOSUPPORT = 10046,
    WSAEAFNOSUPPORT = 10047,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAESHUTDOWN = 10058,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAEHOSTUNREACH = 10065,
    WSANOTINITIALISED = 10093,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

// An IPv4 address and port, both in network byte order as the socket calls expect.
struct SockAddrIn {
    std::uint32_t addr = 0;
    std::uint16_t port = 0;
};

struct HostEntry {
    std::string name;
    std::vector<std::uint32_t> addresses; // network byte order
};

int WSAStartup(std::uint16_t version);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);
int StartupCount();

// The code of the last POSIX errno value, and of a getaddrinfo failure.
int ErrorFromErrno(int posixError);
int ErrorFromLookup(int gaiError);

Socket socket(int af, int type, int protocol);
int bind(Socket s, const SockAddrIn& name);
int listen(Socket s, int backlog);
Socket accept(Socket s, SockAddrIn* peer);
int connect(Socket s, const SockAddrIn& name);
int send(Socket s, const char* buffer, int length, int flags);
int sendto(Socket s, const char* buffer, int length, int flags, const SockAddrIn& to);
int recv(Socket s, char* buffer, int length, int flags);
int recvfrom(Socket s, char* buffer, int length, int flags, SockAddrIn* from);
int closesocket(Socket s);
int getsockname(Socket s, SockAddrIn* name);
int getpeername(Socket s, SockAddrIn* name);
int getsockopt(Socket s, int level, int option, int* value);
int setsockopt(Socket s, int level, int option, int value);
int ioctlsocket(Socket s, long command, unsigned long* argument);

int gethostname(char* name, int length);
// Blocking lookup of IPv4 addresses; false with the last error set when not found.
bool gethostbyname(const std::string& name, HostEntry* entry);
std::uint32_t inet_addr(const std::string& dotted); // kInAddrNone when not a dotted address
std::string inet_ntoa(std::uint32_t address);
std::uint16_t htons(std::uint16_t v);
std::uint16_t ntohs(std::uint16_t v);

// Window-message notifications: (socket, event | error << 16) posted as `message` to the
// window for the events of `mask`; a mask of 0 stops them.
int WSAAsyncSelect(Socket s, MessageWindow::Handle window, std::uint32_t message, long mask);

// Starts a host lookup whose answer is posted as (task, error << 16 | length). The answer,
// a host entry (see ReadHostEntry), is written into the caller's buffer only if the task was
// not cancelled. Returns the task handle, 0 on failure.
int WSAAsyncGetHostByName(MessageWindow::Handle window, std::uint32_t message, const std::string& name, char* buffer,
                          int length);
int WSACancelAsyncRequest(int task);
// Reads the host entry an asynchronous lookup left in a buffer.
bool ReadHostEntry(const char* buffer, int length, HostEntry* entry);

inline long MakeSelectReply(long event, int error)
{
    return event | (static_cast<long>(error) << 16);
}
inline int SelectEvent(std::intptr_t lParam)
{
    return static_cast<int>(lParam & 0xFFFF);
}
inline int SelectError(std::intptr_t lParam)
{
    return static_cast<int>((lParam >> 16) & 0xFFFF);
}

} // namespace quadrantel::platform::ws
