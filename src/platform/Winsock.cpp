#include "platform/Winsock.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QObject>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <bit>

#undef htons // the system headers' macros would hide the functions defined below
#undef ntohs

namespace quadrantel::platform::ws {
namespace {

int g_lastError = 0;
int g_startups = 0;

int Fail(int error)
{
    g_lastError = error;
    return kSocketError;
}

int FailErrno()
{
    return Fail(ErrorFromErrno(errno));
}

sockaddr_in ToPosix(const SockAddrIn& a)
{
    sockaddr_in s{};
    s.sin_family = AF_INET;
    s.sin_port = a.port;
    s.sin_addr.s_addr = a.addr;
    return s;
}

SockAddrIn FromPosix(const sockaddr_in& s)
{
    return {s.sin_addr.s_addr, s.sin_port};
}

// What the notification machinery knows of one socket. Each event is armed and disarmed by
// the rules of window-message notification: a notice is posted once and not again until the
// call that consumes it (recv, accept, a send that would block) re-enables it.
struct SocketInfo {
    bool stream = true;
    bool listening = false;
    bool connecting = false;
    bool connected = false;
    bool readArmed = true;
    bool acceptArmed = true;
    bool writeArmed = false;
    bool closeReported = false;
    MessageWindow::Handle window = 0;
    std::uint32_t message = 0;
    long mask = 0;
    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;
};

std::map<Socket, SocketInfo>& Sockets()
{
    static std::map<Socket, SocketInfo> sockets;
    return sockets;
}

SocketInfo* Info(Socket s)
{
    auto it = Sockets().find(s);
    return it == Sockets().end() ? nullptr : &it->second;
}

void Refresh(Socket s);

void Notify(SocketInfo& info, Socket s, long event, int error)
{
    if (info.mask & event)
        MessageWindow::Post(info.window, info.message, static_cast<std::uintptr_t>(s), MakeSelectReply(event, error));
}

void OnReadable(Socket s)
{
    SocketInfo* info = Info(s);
    if (!info)
        return;
    const bool armed = info->listening ? info->acceptArmed : info->readArmed;
    if (!armed) {
        // Readable while the last notice is still unconsumed: stop watching until it is.
        info->readNotifier->setEnabled(false);
        return;
    }
    if (info->listening) {
        info->acceptArmed = false;
        Notify(*info, s, kFdAccept, 0);
    } else if (!info->stream) {
        info->readArmed = false;
        Notify(*info, s, kFdRead, 0);
    } else {
        char probe;
        const ssize_t n = ::recv(s, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) {
            info->readArmed = false;
            Notify(*info, s, kFdRead, 0);
        } else if (n == 0) {
            info->closeReported = true;
            Notify(*info, s, kFdClose, 0);
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            info->closeReported = true;
            Notify(*info, s, kFdClose, ErrorFromErrno(errno));
        }
    }
    Refresh(s);
}

void OnWritable(Socket s)
{
    SocketInfo* info = Info(s);
    if (!info)
        return;
    if (info->connecting) {
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
            error = errno;
        info->connecting = false;
        if (error == 0) {
            info->connected = true;
            info->readArmed = true;
            Notify(*info, s, kFdConnect, 0);
            Notify(*info, s, kFdWrite, 0);
        } else {
            Notify(*info, s, kFdConnect, ErrorFromErrno(error));
        }
    } else if (info->writeArmed) {
        info->writeArmed = false;
        Notify(*info, s, kFdWrite, 0);
    }
    Refresh(s);
}

void Refresh(Socket s)
{
    SocketInfo* info = Info(s);
    if (!info)
        return;
    const bool selected = info->window != 0 && info->mask != 0;
    bool wantRead = false;
    bool wantWrite = false;
    if (selected) {
        if (info->listening)
            wantRead = info->acceptArmed && (info->mask & kFdAccept);
        else if (!info->stream)
            wantRead = info->readArmed && (info->mask & kFdRead);
        else if (info->connected)
            wantRead = info->readArmed && !info->closeReported && (info->mask & (kFdRead | kFdClose));
        wantWrite = info->connecting || (info->writeArmed && (info->mask & kFdWrite));
    }
    if (wantRead && !info->readNotifier) {
        info->readNotifier = std::make_unique<QSocketNotifier>(s, QSocketNotifier::Read);
        QObject::connect(info->readNotifier.get(), &QSocketNotifier::activated, [s] { OnReadable(s); });
    }
    // A notice that was just posted leaves the notifier on: the receive that consumes it
    // re-arms it, usually before the loop polls again, so it is not toggled for every notice.
    const bool parked =
        selected && !wantRead && !info->closeReported &&
        (info->listening ? !info->acceptArmed : (!info->readArmed && (info->connected || !info->stream)));
    if (info->readNotifier && !parked)
        info->readNotifier->setEnabled(wantRead);
    else if (info->readNotifier && wantRead)
        info->readNotifier->setEnabled(true);
    if (wantWrite && !info->writeNotifier) {
        info->writeNotifier = std::make_unique<QSocketNotifier>(s, QSocketNotifier::Write);
        QObject::connect(info->writeNotifier.get(), &QSocketNotifier::activated, [s] { OnWritable(s); });
    }
    if (info->writeNotifier)
        info->writeNotifier->setEnabled(wantWrite);
}

void Rearm(Socket s, bool SocketInfo::*flag)
{
    if (SocketInfo* info = Info(s)) {
        if (!(info->*flag)) {
            info->*flag = true;
            Refresh(s);
        }
    }
}

bool SetNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 && ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

// Lookups that run behind QHostInfo; an answer counts only while its task (same serial) exists.
struct LookupTask {
    std::uint64_t serial = 0;
    MessageWindow::Handle window = 0;
    std::uint32_t message = 0;
    bool answered = false;
};

std::map<int, LookupTask>& Lookups()
{
    static std::map<int, LookupTask> lookups;
    return lookups;
}

int WriteHostEntry(const HostEntry& entry, char* buffer, int length)
{
    const std::size_t count = entry.addresses.size();
    const std::size_t need = 4 + 4 * count + entry.name.size() + 1;
    if (need > static_cast<std::size_t>(length))
        return -1;
    const std::uint16_t c = static_cast<std::uint16_t>(count);
    const std::uint16_t n = static_cast<std::uint16_t>(entry.name.size());
    std::memcpy(buffer, &c, 2);
    std::memcpy(buffer + 2, &n, 2);
    for (std::size_t i = 0; i < count; ++i)
        std::memcpy(buffer + 4 + 4 * i, &entry.addresses[i], 4);
    std::memcpy(buffer + 4 + 4 * count, entry.name.c_str(), entry.name.size() + 1);
    return static_cast<int>(need);
}

} // namespace

int ErrorFromErrno(int e)
{
    switch (e) {
    case 0:
        return 0;
    case EINTR:
        return WSAEINTR;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
        return WSAEWOULDBLOCK;
    case EALREADY:
        return WSAEALREADY;
    case ENOTSOCK:
    case EBADF:
        return WSAENOTSOCK;
    case EDESTADDRREQ:
        return WSAEDESTADDRREQ;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EPROTOTYPE:
        return WSAEPROTOTYPE;
    case ENOPROTOOPT:
        return WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
        return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
        return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
        return WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
        return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ENETRESET:
        return WSAENETRESET;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE:
        return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case ESHUTDOWN:
        return WSAESHUTDOWN;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return WSAEHOSTUNREACH;
    default:
        return WSAEINVAL;
    }
}

int ErrorFromLookup(int gai)
{
    switch (gai) {
    case 0:
        return 0;
    case EAI_NONAME:
        return WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
        return WSATRY_AGAIN;
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
#if defined(EAI_NODATA) || defined(EAI_ADDRFAMILY)
        return WSANO_DATA;
#endif
    case EAI_MEMORY:
        return WSAENOBUFS;
    case EAI_SYSTEM:
        return ErrorFromErrno(errno);
    default:
        return WSANO_RECOVERY;
    }
}

int WSAStartup(std::uint16_t version)
{
    if ((version & 0xFF) < 1)
        return 10092; // version out of range
    ++g_startups;
    return 0;
}

int WSACleanup()
{
    if (g_startups == 0)
        return Fail(WSANOTINITIALISED);
    --g_startups;
    return 0;
}

int WSAGetLastError()
{
    return g_lastError;
}
void WSASetLastError(int error)
{
    g_lastError = error;
}
int StartupCount()
{
    return g_startups;
}

Socket socket(int af, int type, int protocol)
{
    if (g_startups == 0)
        return Fail(WSANOTINITIALISED);
    if (af != kAfInet)
        return Fail(WSAEAFNOSUPPORT);
    if (type != kSockStream && type != kSockDgram)
        return Fail(WSAESOCKTNOSUPPORT);
    const int posixType = type == kSockStream ? SOCK_STREAM : SOCK_DGRAM;
    const int fd = ::socket(AF_INET, posixType, protocol);
    if (fd < 0)
        return FailErrno();
    if (!SetNonBlocking(fd)) {
        const int e = errno;
        ::close(fd);
        return Fail(ErrorFromErrno(e));
    }
    SocketInfo& info = Sockets()[fd];
    info = SocketInfo{};
    info.stream = type == kSockStream;
    return fd;
}

int bind(Socket s, const SockAddrIn& name)
{
    const sockaddr_in a = ToPosix(name);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
        return FailErrno();
    if (SocketInfo* info = Info(s); info && !info->stream)
        Refresh(s);
    return 0;
}

int listen(Socket s, int backlog)
{
    if (::listen(s, backlog) != 0)
        return FailErrno();
    if (SocketInfo* info = Info(s)) {
        info->listening = true;
        info->acceptArmed = true;
        Refresh(s);
    }
    return 0;
}

Socket accept(Socket s, SockAddrIn* peer)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    const int fd = ::accept4(s, reinterpret_cast<sockaddr*>(&a), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    const int e = errno;
    Rearm(s, &SocketInfo::acceptArmed);
    if (fd < 0)
        return Fail(ErrorFromErrno(e));
    if (peer)
        *peer = FromPosix(a);
    SocketInfo& info = Sockets()[fd];
    info = SocketInfo{};
    info.connected = true;
    // An accepted socket inherits the listening socket's notifications, and is writable at once.
    if (const SocketInfo* listener = Info(s)) {
        info.window = listener->window;
        info.message = listener->message;
        info.mask = listener->mask;
    }
    Notify(info, fd, kFdWrite, 0);
    Refresh(fd);
    return fd;
}

int connect(Socket s, const SockAddrIn& name)
{
    const sockaddr_in a = ToPosix(name);
    const int rc = ::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    const int e = errno;
    SocketInfo* info = Info(s);
    if (rc == 0 || e == EINPROGRESS) {
        if (info && info->stream) {
            // Completion, even an immediate one, is announced by FD_CONNECT.
            info->connecting = true;
            Refresh(s);
        }
        return rc == 0 ? 0 : Fail(WSAEWOULDBLOCK);
    }
    return Fail(ErrorFromErrno(e));
}

int send(Socket s, const char* buffer, int length, int flags)
{
    const ssize_t n = ::send(s, buffer, static_cast<std::size_t>(length), flags | MSG_NOSIGNAL);
    if (n < 0) {
        const int e = errno;
        if (e == EAGAIN || e == EWOULDBLOCK)
            Rearm(s, &SocketInfo::writeArmed);
        return Fail(ErrorFromErrno(e));
    }
    return static_cast<int>(n);
}

int sendto(Socket s, const char* buffer, int length, int flags, const SockAddrIn& to)
{
    const sockaddr_in a = ToPosix(to);
    const ssize_t n = ::sendto(s, buffer, static_cast<std::size_t>(length), flags | MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&a), sizeof a);
    if (n < 0) {
        const int e = errno;
        if (e == EAGAIN || e == EWOULDBLOCK)
            Rearm(s, &SocketInfo::writeArmed);
        return Fail(ErrorFromErrno(e));
    }
    if (Info(s))
        Refresh(s); // sendto binds an unbound datagram socket
    return static_cast<int>(n);
}

int recvfrom(Socket s, char* buffer, int length, int flags, SockAddrIn* from)
{
    if (length < 0)
        return Fail(WSAEFAULT);
    sockaddr_in a{};
    iovec iov{buffer, static_cast<std::size_t>(length)};
    msghdr msg{};
    msg.msg_name = &a;
    msg.msg_namelen = sizeof a;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    const int posixFlags = (flags & kMsgPeek) ? MSG_PEEK : 0;
    const ssize_t n = ::recvmsg(s, &msg, posixFlags);
    const int e = errno;
    // Any receive re-enables the read notice, as long as data remains.
    Rearm(s, &SocketInfo::readArmed);
    if (n < 0)
        return Fail(ErrorFromErrno(e));
    if (from)
        *from = FromPosix(a);
    if (msg.msg_flags & MSG_TRUNC)
        return Fail(WSAEMSGSIZE); // the datagram arrives cut, as the caller's buffer allows
    return static_cast<int>(n);
}

int recv(Socket s, char* buffer, int length, int flags)
{
    return recvfrom(s, buffer, length, flags, nullptr);
}

int closesocket(Socket s)
{
    auto it = Sockets().find(s);
    if (it != Sockets().end()) {
        // Notices still queued for this handle must never reach the next socket to get it.
        const SocketInfo& info = it->second;
        if (info.window)
            MessageWindow::RemovePosted(info.window, [&](std::uint32_t m, std::uintptr_t w, std::intptr_t) {
                return m == info.message && w == static_cast<std::uintptr_t>(s);
            });
        Sockets().erase(it);
    }
    if (::close(s) != 0)
        return FailErrno();
    return 0;
}

int getsockname(Socket s, SockAddrIn* name)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return FailErrno();
    if (name)
        *name = FromPosix(a);
    return 0;
}

int getpeername(Socket s, SockAddrIn* name)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getpeername(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return FailErrno();
    if (name)
        *name = FromPosix(a);
    return 0;
}

int getsockopt(Socket s, int level, int option, int* value)
{
    if (level != kSolSocket)
        return Fail(WSAENOPROTOOPT);
    int type = 0;
    socklen_t len = sizeof type;
    if (::getsockopt(s, SOL_SOCKET, SO_TYPE, &type, &len) != 0)
        return FailErrno();
    int posixOption;
    switch (option) {
    case kSoMaxMsgSize:
        if (type != SOCK_DGRAM)
            return Fail(WSAENOPROTOOPT);
        *value = kMaxUdpDatagram;
        return 0;
    case kSoRcvBuf:
        posixOption = SO_RCVBUF;
        break;
    case kSoSndBuf:
        posixOption = SO_SNDBUF;
        break;
    case kSoBroadcast:
        posixOption = SO_BROADCAST;
        break;
    default:
        return Fail(WSAENOPROTOOPT);
    }
    len = sizeof *value;
    if (::getsockopt(s, SOL_SOCKET, posixOption, value, &len) != 0)
        return FailErrno();
    return 0;
}

int setsockopt(Socket s, int level, int option, int value)
{
    if (level != kSolSocket)
        return Fail(WSAENOPROTOOPT);
    int posixOption;
    switch (option) {
    case kSoRcvBuf:
        posixOption = SO_RCVBUF;
        break;
    case kSoSndBuf:
        posixOption = SO_SNDBUF;
        break;
    case kSoBroadcast:
        posixOption = SO_BROADCAST;
        break;
    default:
        return Fail(WSAENOPROTOOPT);
    }
    if (::setsockopt(s, SOL_SOCKET, posixOption, &value, sizeof value) != 0)
        return FailErrno();
    return 0;
}

int ioctlsocket(Socket s, long command, unsigned long* argument)
{
    if (command != kFionRead || !argument)
        return Fail(WSAEINVAL);
    int count = 0;
    if (::ioctl(s, FIONREAD, &count) != 0)
        return FailErrno();
    *argument = static_cast<unsigned long>(count);
    return 0;
}

int gethostname(char* name, int length)
{
    if (!name || length <= 0)
        return Fail(WSAEFAULT);
    if (::gethostname(name, static_cast<std::size_t>(length)) != 0)
        return Fail(errno == ENAMETOOLONG ? WSAEFAULT : ErrorFromErrno(errno));
    name[length - 1] = '\0';
    return 0;
}

bool gethostbyname(const std::string& name, HostEntry* entry)
{
    std::string host = name;
    if (host.empty()) {
        char local[256] = {};
        if (::gethostname(local, sizeof local - 1) != 0) {
            Fail(ErrorFromErrno(errno));
            return false;
        }
        host = local;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (rc != 0) {
        Fail(ErrorFromLookup(rc));
        return false;
    }
    HostEntry e;
    e.name = result->ai_canonname ? result->ai_canonname : host;
    for (addrinfo* p = result; p; p = p->ai_next)
        e.addresses.push_back(reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(result);
    if (e.addresses.empty()) {
        Fail(WSANO_DATA);
        return false;
    }
    if (entry)
        *entry = std::move(e);
    return true;
}

std::uint32_t inet_addr(const std::string& dotted)
{
    in_addr a{};
    if (::inet_pton(AF_INET, dotted.c_str(), &a) != 1)
        return kInAddrNone;
    return a.s_addr;
}

std::string inet_ntoa(std::uint32_t address)
{
    const auto* b = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

std::uint16_t htons(std::uint16_t v)
{
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<std::uint16_t>((v >> 8) | (v << 8));
    else
        return v;
}
std::uint16_t ntohs(std::uint16_t v)
{
    return htons(v);
}

int WSAAsyncSelect(Socket s, MessageWindow::Handle window, std::uint32_t message, long mask)
{
    SocketInfo* info = Info(s);
    if (!info)
        return Fail(WSAENOTSOCK);
    if (mask != 0 && !MessageWindow::Exists(window))
        return Fail(WSAEINVAL);
    info->window = mask ? window : 0;
    info->message = message;
    info->mask = mask;
    Refresh(s);
    return 0;
}

int WSAAsyncGetHostByName(MessageWindow::Handle window, std::uint32_t message, const std::string& name, char* buffer,
                          int length)
{
    if (g_startups == 0) {
        Fail(WSANOTINITIALISED);
        return 0;
    }
    if (!MessageWindow::Exists(window) || !buffer || length <= 0) {
        Fail(WSAEINVAL);
        return 0;
    }
    // Answers already delivered need no bookkeeping any more.
    for (auto it = Lookups().begin(); it != Lookups().end();) {
        const LookupTask& t = it->second;
        const int id = it->first;
        const bool queued =
            t.answered && MessageWindow::CountPosted(t.window, [&](std::uint32_t m, std::uintptr_t w, std::intptr_t) {
                              return m == t.message && w == static_cast<std::uintptr_t>(id);
                          }) > 0;
        it = t.answered && !queued ? Lookups().erase(it) : std::next(it);
    }
    static int next = 0;
    next = next >= 0x7FFF ? 1 : next + 1; // a task handle fits the message's 16-bit word
    while (Lookups().count(next))
        ++next;
    const int task = next;
    // One long-lived context: deleting a per-task one would leak Qt's pending callback.
    static QObject* context = new QObject;
    static std::uint64_t serials = 0;
    const std::uint64_t serial = ++serials;
    LookupTask& t = Lookups()[task];
    t.serial = serial;
    t.window = window;
    t.message = message;
    QHostInfo::lookupHost(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())), context,
                          [task, serial, buffer, length](const QHostInfo& info) {
                              auto it = Lookups().find(task);
                              if (it == Lookups().end() || it->second.serial != serial || it->second.answered)
                                  return; // cancelled: the buffer may be gone
                              it->second.answered = true;
                              HostEntry entry;
                              entry.name = info.hostName().toStdString();
                              for (const QHostAddress& a : info.addresses()) {
                                  bool ok = false;
                                  const quint32 v4 = a.toIPv4Address(&ok);
                                  if (ok)
                                      entry.addresses.push_back(::htonl(v4));
                              }
                              int error = 0;
                              int size = 0;
                              if (info.error() == QHostInfo::HostNotFound)
                                  error = WSAHOST_NOT_FOUND;
                              else if (info.error() != QHostInfo::NoError)
                                  error = WSANO_RECOVERY;
                              else if (entry.addresses.empty())
                                  error = WSANO_DATA;
                              else if ((size = WriteHostEntry(entry, buffer, length)) < 0)
                                  error = WSAENOBUFS;
                              if (error)
                                  size = 0;
                              MessageWindow::Post(it->second.window, it->second.message,
                                                  static_cast<std::uintptr_t>(task),
                                                  (static_cast<std::intptr_t>(error) << 16) | (size & 0xFFFF));
                          });
    return task;
}

int WSACancelAsyncRequest(int task)
{
    auto it = Lookups().find(task);
    if (it == Lookups().end())
        return Fail(WSAEINVAL);
    LookupTask& t = it->second;
    bool cancelled = true;
    if (t.answered) {
        // Answered but not yet delivered: withdrawing the message still cancels it.
        cancelled = MessageWindow::RemovePosted(t.window, [&](std::uint32_t m, std::uintptr_t w, std::intptr_t) {
                        return m == t.message && w == static_cast<std::uintptr_t>(task);
                    }) > 0;
    }
    Lookups().erase(it); // a running lookup's answer now finds no task and is ignored
    if (!cancelled)
        return Fail(WSAEALREADY);
    return 0;
}

bool ReadHostEntry(const char* buffer, int length, HostEntry* entry)
{
    if (!buffer || length < 4)
        return false;
    std::uint16_t count = 0;
    std::uint16_t nameLength = 0;
    std::memcpy(&count, buffer, 2);
    std::memcpy(&nameLength, buffer + 2, 2);
    if (4 + 4 * count + nameLength + 1 > length)
        return false;
    HostEntry e;
    for (int i = 0; i < count; ++i) {
        std::uint32_t a;
        std::memcpy(&a, buffer + 4 + std::ptrdiff_t{4} * i, 4);
        e.addresses.push_back(a);
    }
    e.name.assign(buffer + 4 + std::ptrdiff_t{4} * count, nameLength);
    if (entry)
        *entry = std::move(e);
    return true;
}

} // namespace quadrantel::platform::ws
