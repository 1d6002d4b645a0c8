#include "net/CSocketPlus.h"

#include "platform/Dialogs.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"

#include <algorithm>
#include <cstring>

namespace quadrantel::net {
namespace {

namespace ws = platform::ws;
using platform::RuntimeError;

const char kRangeText[] = "The argument passed to a function was not in the correct format or in the specified range.";
const char kStateText[] = "Invalid operation at current state";
const char kProtocolStateText[] = "Wrong protocol or connection state for the requested transaction or request";
const char kTypeText[] = "Unsupported variant type.";

[[noreturn]] void Raise(long number, const std::string& procedure, const std::string& description)
{
    throw RuntimeError(number, "CSocketPlus." + procedure, description);
}

[[noreturn]] void RaiseSystem(int code, const std::string& procedure)
{
    Raise(code, procedure, GetErrorDescription(code));
}

void ShowBox(const std::string& text, const std::string& title)
{
    platform::CurrentDialogs().messageBox(text, 0, title);
}

// 255.255.255.255 is the one dotted address that inet_addr cannot tell from a failure.
std::optional<std::uint32_t> ParseDotted(const std::string& host)
{
    const std::uint32_t a = ws::inet_addr(host);
    if (a != ws::kInAddrNone || host == "255.255.255.255")
        return a;
    return std::nullopt;
}

template <typename T> void AppendLittleEndian(Bytes& out, T value)
{
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T)); // the host is little-endian, like the wire
    out.insert(out.end(), raw, raw + sizeof(T));
}

template <typename T> T ReadLittleEndian(const Bytes& in)
{
    T value;
    std::memcpy(&value, in.data(), sizeof(T));
    return value;
}

int FixedSize(int type)
{
    switch (type) {
    case vbBoolean:
    case vbInteger:
        return 2;
    case vbByte:
        return 1;
    case vbCurrency:
    case vbDate:
    case vbDouble:
        return 8;
    case vbLong:
    case vbSingle:
        return 4;
    default:
        return 0;
    }
}

} // namespace

char* CSocketPlus::ByteQueue::prepare(std::size_t n)
{
    if (buf_.size() - tail_ < n) {
        if (head_ > 0) {
            std::memmove(buf_.data(), buf_.data() + head_, size());
            tail_ -= head_;
            head_ = 0;
        }
        if (buf_.size() - tail_ < n)
            buf_.resize(std::max(tail_ + n, buf_.size() * 2));
    }
    return reinterpret_cast<char*>(buf_.data()) + tail_;
}

void CSocketPlus::ByteQueue::append(const char* p, std::size_t n)
{
    if (n == 0)
        return;
    std::memcpy(prepare(n), p, n);
    commit(n);
}

void CSocketPlus::ByteQueue::consume(std::size_t n)
{
    head_ += std::min(n, size());
    if (head_ == tail_)
        clear();
}

void CSocketPlus::ByteQueue::takeAll(Bytes& out)
{
    if (head_ == 0) {
        std::swap(out, buf_);
        out.resize(tail_);
    } else {
        out.assign(buf_.begin() + static_cast<std::ptrdiff_t>(head_),
                   buf_.begin() + static_cast<std::ptrdiff_t>(tail_));
    }
    clear();
}

CSocketPlus::CSocketPlus()
{
    InitiateProcesses();
}

CSocketPlus::~CSocketPlus()
{
    const auto last = static_cast<std::int32_t>(elements_.size()) - 1;
    for (std::int32_t pos = 1; pos <= last; ++pos) {
        platform::IgnoreErrors([&] { CancelResolutions(pos); });
        if (!holder_)
            platform::IgnoreErrors([&] { DestroySocket(pos); });
    }
    platform::IgnoreErrors([] { FinalizeProcesses(); });
}

// ---- notices --------------------------------------------------------------------------------

std::intptr_t CSocketPlus::WndProc(platform::MessageWindow::Handle, std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t lParam)
{
    // Nothing may leave through the event loop: a failure while handling a notice becomes an
    // Error event of the element concerned (or is dropped when there is none).
    std::int32_t pos = 0;
    try {
        if (message == kLookupMessage) {
            auto it = lookups_.find(static_cast<int>(wParam));
            pos = it == lookups_.end() ? 0 : it->second;
            PostResolution(static_cast<int>(wParam), static_cast<int>((lParam >> 16) & 0xFFFF));
        } else if (message == kSocketMessage) {
            auto it = sockets_.find(static_cast<Socket>(wParam));
            pos = it == sockets_.end() ? 0 : it->second;
            PostSocket(static_cast<Socket>(wParam), ws::SelectEvent(lParam), ws::SelectError(lParam));
        }
    } catch (const RuntimeError& e) {
        if (pos > 0 && pos < static_cast<std::int32_t>(elements_.size()))
            RaiseError(pos, e.number(), e.description(), e.source());
    } catch (...) {
    }
    return 0;
}

void CSocketPlus::RaiseError(std::int32_t pos, long number, const std::string& description, const std::string& source)
{
    std::string text = description;
    bool cancelDisplay = true;
    if (events.Error) {
        const Variant index = rec(pos).index;
        events.Error(index, static_cast<std::int16_t>(number), text, 0, source, "", 0, cancelDisplay);
    }
    if (!cancelDisplay)
        ShowBox(text, source);
}

void CSocketPlus::FailNotice(std::int32_t pos, int error, const std::string& source)
{
    rec(pos).state = sckError;
    RaiseError(pos, error, GetErrorDescription(error), source);
}

void CSocketPlus::PostSocket(Socket handle, int event, int error)
{
    auto it = sockets_.find(handle);
    if (it == sockets_.end())
        return;
    const std::int32_t pos = it->second;
    if (error != 0) {
        FailNotice(pos, error, "CSocketPlus.PostSocket");
        return;
    }
    SocketRecord& r = rec(pos);
    switch (event) {
    case ws::kFdRead:
        if (r.protocol == sckTCPProtocol) {
            if (r.state == sckConnected && RecvDataToBuffer(pos) > 0 && events.DataArrival)
                events.DataArrival(Variant(rec(pos).index), static_cast<std::int32_t>(rec(pos).recvBuffer.size()));
        } else if (r.state == sckOpen) {
            r.datagramTaken = false;
            const std::int32_t n = GetDatagramLength(pos);
            if (n >= 1 && events.DataArrival)
                events.DataArrival(Variant(r.index), n);
            // A datagram the handler did not take is dropped, so that the next one can be
            // announced; one it did take is gone already, and the next must not be lost.
            if (!rec(pos).datagramTaken)
                DiscardDatagram(pos);
        }
        break;
    case ws::kFdWrite:
        if (r.state == sckConnected && !r.sendBuffer.empty())
            SendPendingData(pos);
        break;
    case ws::kFdAccept:
        if (r.state == sckListening)
            OnAccept(pos);
        break;
    case ws::kFdConnect:
        if (r.state == sckConnecting) {
            GetLocalInfo(r.handle, r.boundPort, r.localIP);
            GetRemoteInfo(r.handle, r.remotePort, r.remoteHostIP, r.remoteHost);
            r.state = sckConnected;
            if (events.Connect)
                events.Connect(Variant(r.index));
        }
        break;
    case ws::kFdClose:
        if (r.state == sckConnected) {
            r.state = sckClosing;
            if (events.CloseSck)
                events.CloseSck(Variant(r.index));
        }
        break;
    default:
        break;
    }
}

void CSocketPlus::OnAccept(std::int32_t pos)
{
    ws::SockAddrIn peer;
    const Socket handle = ws::accept(rec(pos).handle, &peer);
    if (handle == ws::kInvalidSocket) {
        // A stale notice finds no request waiting: the listener must keep listening.
        if (const int error = ws::WSAGetLastError(); error != ws::WSAEWOULDBLOCK)
            FailNotice(pos, error, "CSocketPlus.PostSocket");
        return;
    }
    auto holder = std::make_unique<CSocketPlus>();
    holder->ArrayAdd(Variant("Temporal_Socket"));
    holder->Accept(Variant("Temporal_Socket"), handle);
    AddAcceptedSocket(handle, std::move(holder));

    SocketRecord& r = rec(pos);
    const std::int32_t savedPort = r.remotePort;
    const std::string savedIP = r.remoteHostIP;
    const std::string savedHost = r.remoteHost;
    GetRemoteInfo(handle, r.remotePort, r.remoteHostIP, r.remoteHost);
    if (events.ConnectionRequest)
        events.ConnectionRequest(Variant(r.index), handle);
    SocketRecord& after = rec(pos);
    if (after.state == sckListening) {
        after.remotePort = savedPort;
        after.remoteHostIP = savedIP;
        after.remoteHost = savedHost;
    }
    if (IsAcceptedSocket(handle)) {
        ws::closesocket(handle);
        UnregisterSocket(handle);
        RemoveAcceptedSocket(handle);
    }
}

void CSocketPlus::PostResolution(int task, int error)
{
    auto it = lookups_.find(task);
    if (it == lookups_.end())
        return;
    const std::int32_t pos = it->second;
    lookups_.erase(it);
    SocketRecord& r = rec(pos);
    // Only the lookup this element is waiting for may move it on.
    const bool awaited = r.pendingLookups.erase(task) > 0;
    RemoveResolution(task);
    if (!awaited || r.state != sckResolvingHost)
        return;
    if (error != 0) {
        r.lookupBuffer.clear();
        ConnectToIP(pos, std::nullopt, error);
        return;
    }
    r.state = sckHostResolved;
    ws::HostEntry entry;
    const bool read = ws::ReadHostEntry(r.lookupBuffer.data(), static_cast<int>(r.lookupBuffer.size()), &entry) &&
                      !entry.addresses.empty();
    r.lookupBuffer.clear();
    r.lookupBuffer.shrink_to_fit();
    if (!read) {
        ConnectToIP(pos, std::nullopt, ws::WSANO_DATA);
        return;
    }
    ConnectToIP(pos, entry.addresses.front(), 0);
}

// ---- elements ---------------------------------------------------------------------------------

std::string CSocketPlus::IndexKey(const Variant& index)
{
    if (index.isText())
        return platform::UCase(*index.text()) + "I";
    return std::to_string(index.toInt64()) + "I";
}

std::int32_t CSocketPlus::GetSocketIndex(const Variant& index) const
{
    const std::map<std::string, std::int32_t>* map = nullptr;
    if (index.isText())
        map = &textIndexes_;
    else if (index.isWholeIndex())
        map = &numericIndexes_;
    else
        Raise(sckUnsupportedIndexType, "GetSocketIndex", "Unsupported index type.");
    auto it = map->find(IndexKey(index));
    if (it == map->end())
        Raise(sckUnknownIndex, "GetSocketIndex", "Unknown index.");
    return it->second;
}

std::int32_t CSocketPlus::GetFreeSocketIndex()
{
    if (!freeStack_.empty()) {
        const std::int32_t pos = freeStack_.back();
        freeStack_.pop_back();
        return pos;
    }
    try {
        elements_.emplace_back();
    } catch (const std::bad_alloc&) {
        Raise(7, "GetFreeSocketIndex", "Out of memory");
    }
    return static_cast<std::int32_t>(elements_.size()) - 1;
}

void CSocketPlus::CleanSocketArray(std::int32_t pos)
{
    const auto last = static_cast<std::int32_t>(elements_.size()) - 1;
    if (last == static_cast<std::int32_t>(freeStack_.size()) + 1) {
        elements_.resize(1);
        freeStack_.clear();
    } else if (pos == last) {
        elements_.pop_back();
    } else {
        // Ports start at 0 again, as on a new position, so that binding never sees -1.
        rec(pos) = SocketRecord{};
        freeStack_.push_back(pos);
    }
}

bool CSocketPlus::NumericIndexInUse(std::int64_t n) const
{
    return numericIndexes_.count(std::to_string(n) + "I") > 0;
}

Variant CSocketPlus::ArrayAdd(std::optional<Variant> index)
{
    const std::int32_t pos = GetFreeSocketIndex();
    SocketRecord& r = rec(pos);
    r.handle = -1;
    r.pendingLookups.clear();
    try {
        if (index) {
            std::map<std::string, std::int32_t>* map = nullptr;
            if (index->isText())
                map = &textIndexes_;
            else if (index->isWholeIndex())
                map = &numericIndexes_;
            else
                Raise(sckUnsupportedIndexType, "ArrayAdd", "Unsupported index type.");
            if (!map->emplace(IndexKey(*index), pos).second)
                Raise(sckIndexInUse, "ArrayAdd", "This index is already associated with an element of this array.");
            r.index = *index;
            return *index;
        }
        std::int32_t n = 1;
        while (NumericIndexInUse(n))
            ++n;
        r.index = Variant(n);
        numericIndexes_.emplace(IndexKey(r.index), pos);
        return r.index;
    } catch (const RuntimeError& e) {
        CleanSocketArray(pos);
        throw RuntimeError(e.number(), "CSocketPlus.ArrayAdd", e.description());
    }
}

Variant CSocketPlus::ArrayRemove(const Variant& index)
{
    const std::int32_t pos = GetSocketIndex(index);
    CloseSck(index);
    if (index.isText())
        textIndexes_.erase(IndexKey(index));
    else if (index.isWholeIndex())
        numericIndexes_.erase(IndexKey(index));
    else
        Raise(sckUnsupportedIndexType, "ArrayRemove", "Unsupported index type.");
    CleanSocketArray(pos);
    return index;
}

bool CSocketPlus::ArrayIndexInUse(const Variant& index)
{
    try {
        GetSocketIndex(index);
        return true;
    } catch (const RuntimeError& e) {
        if (e.number() == sckUnknownIndex)
            return false;
        throw RuntimeError(e.number(), "CSocketPlus.ArrayIndexInUse", e.description());
    }
}

std::int32_t CSocketPlus::ArrayCount() const
{
    return static_cast<std::int32_t>(textIndexes_.size() + numericIndexes_.size());
}

// ---- properties ------------------------------------------------------------------------------

std::int32_t CSocketPlus::RemotePort(const Variant& index)
{
    return rec(GetSocketIndex(index)).remotePort;
}

void CSocketPlus::SetRemotePort(const Variant& index, std::int64_t port)
{
    SocketRecord& r = rec(GetSocketIndex(index));
    if (r.protocol == sckTCPProtocol && r.state != sckClosed)
        Raise(sckInvalidOperation, "RemotePort", kStateText);
    if (port < 0 || port > 65535)
        Raise(sckInvalidArgument, "RemotePort", kRangeText);
    r.remotePort = static_cast<std::int32_t>(port);
}

std::string CSocketPlus::RemoteHost(const Variant& index)
{
    return rec(GetSocketIndex(index)).remoteHost;
}

void CSocketPlus::SetRemoteHost(const Variant& index, const std::string& host)
{
    SocketRecord& r = rec(GetSocketIndex(index));
    if (r.protocol == sckTCPProtocol && r.state != sckClosed)
        Raise(sckInvalidOperation, "RemoteHost", kStateText);
    r.remoteHost = host;
}

std::string CSocketPlus::RemoteHostIP(const Variant& index)
{
    return rec(GetSocketIndex(index)).remoteHostIP;
}

std::int32_t CSocketPlus::LocalPort(const Variant& index)
{
    const SocketRecord& r = rec(GetSocketIndex(index));
    return r.boundPort != 0 ? r.boundPort : r.localPort;
}

void CSocketPlus::SetLocalPort(const Variant& index, std::int64_t port)
{
    SocketRecord& r = rec(GetSocketIndex(index));
    if (r.state != sckClosed)
        Raise(sckInvalidOperation, "LocalPort", kStateText);
    if (port < 0 || port > 65535)
        Raise(sckInvalidArgument, "LocalPort", kRangeText);
    r.localPort = static_cast<std::int32_t>(port);
}

std::int32_t CSocketPlus::state(const Variant& index)
{
    return rec(GetSocketIndex(index)).state;
}

std::string CSocketPlus::LocalHostName()
{
    return GetLocalHostName();
}

std::string CSocketPlus::LocalIP(const Variant& index)
{
    const SocketRecord& r = rec(GetSocketIndex(index));
    return r.state == sckConnected ? r.localIP : GetLocalIP();
}

std::int32_t CSocketPlus::BytesReceived(const Variant& index)
{
    const std::int32_t pos = GetSocketIndex(index);
    if (rec(pos).protocol == sckTCPProtocol)
        return static_cast<std::int32_t>(rec(pos).recvBuffer.size());
    return GetDatagramLength(pos);
}

std::int32_t CSocketPlus::SocketHandle(const Variant& index)
{
    return rec(GetSocketIndex(index)).handle;
}

std::string CSocketPlus::Tag(const Variant& index)
{
    return rec(GetSocketIndex(index)).tag;
}

void CSocketPlus::SetTag(const Variant& index, const std::string& tag)
{
    rec(GetSocketIndex(index)).tag = tag;
}

std::int32_t CSocketPlus::Protocol(const Variant& index)
{
    return rec(GetSocketIndex(index)).protocol;
}

void CSocketPlus::SetProtocol(const Variant& index, std::int32_t protocol)
{
    SocketRecord& r = rec(GetSocketIndex(index));
    if (r.state != sckClosed)
        Raise(sckInvalidOperation, "Protocol", kStateText);
    r.protocol = protocol == sckUDPProtocol ? sckUDPProtocol : sckTCPProtocol;
}

// ---- socket life -----------------------------------------------------------------------------

bool CSocketPlus::SocketExists(std::int32_t pos)
{
    SocketRecord& r = rec(pos);
    if (r.handle != -1)
        return true;
    const bool udp = r.protocol == sckUDPProtocol;
    const Socket s =
        ws::socket(ws::kAfInet, udp ? ws::kSockDgram : ws::kSockStream, udp ? ws::kIpProtoUdp : ws::kIpProtoTcp);
    if (s == ws::kInvalidSocket) {
        FailNotice(pos, ws::WSAGetLastError(), "CSocketPlus.SocketExists");
        return false;
    }
    sockets_[s] = pos;
    r.handle = s;
    ProcessOptions(pos);
    return RegisterSocket(s, this, true);
}

void CSocketPlus::ProcessOptions(std::int32_t pos)
{
    SocketRecord& r = rec(pos);
    auto read = [&](int option, std::int32_t& into) {
        int value = 0;
        if (ws::getsockopt(r.handle, ws::kSolSocket, option, &value) == ws::kSocketError)
            RaiseSystem(ws::WSAGetLastError(), "ProcessOptions");
        into = value;
    };
    if (r.protocol == sckUDPProtocol) {
        ws::setsockopt(r.handle, ws::kSolSocket, ws::kSoBroadcast, 1);
        read(ws::kSoMaxMsgSize, r.recvChunk);
        r.sendChunk = r.recvChunk;
    } else {
        read(ws::kSoRcvBuf, r.recvChunk);
        read(ws::kSoSndBuf, r.sendChunk);
    }
}

void CSocketPlus::DestroySocket(std::int32_t pos)
{
    SocketRecord& r = rec(pos);
    if (r.handle == -1)
        return;
    if (ws::closesocket(r.handle) == ws::kSocketError) {
        r.state = sckError;
        RaiseSystem(ws::WSAGetLastError(), "DestroySocket");
    }
    UnregisterSocket(r.handle);
    sockets_.erase(r.handle);
    r.handle = -1;
}

void CSocketPlus::CancelResolutions(std::int32_t pos)
{
    SocketRecord& r = rec(pos);
    bool cancelled = false;
    for (int task : r.pendingLookups) {
        if (ws::WSACancelAsyncRequest(task) == 0) {
            RemoveResolution(task);
            lookups_.erase(task);
            cancelled = true;
        }
    }
    if (cancelled) {
        r.pendingLookups.clear();
        r.lookupBuffer.clear();
        r.lookupBuffer.shrink_to_fit();
    }
}

bool CSocketPlus::BindInternal(std::int32_t pos, const std::optional<Variant>& port,
                               const std::optional<Variant>& address)
{
    if (rec(pos).state == sckOpen)
        return true;
    std::int32_t p = 0;
    if (!port) {
        p = rec(pos).localPort;
    } else if (port->isNumeric()) {
        const double v = port->toDouble();
        if (v >= 0 && v <= 65535)
            p = static_cast<std::int32_t>(port->toInt64());
        else
            ShowBox(std::string("40014 CSocketPlus.BindInternal ") + kRangeText, "");
    } else {
        ShowBox(std::string("40018 CSocketPlus.BindInternal ") + kTypeText, "");
    }
    std::uint32_t ip = ws::kInAddrAny;
    const std::string host = address ? address->toText() : std::string();
    if (!host.empty()) {
        std::string dotted;
        int error = 0;
        const std::optional<std::uint32_t> found = GetIPFromHost(host, dotted, error);
        if (!found) {
            // Binding to no address at all could only fail; say so once and stop.
            ShowBox("40014 CSocketPlus.BindInternalInvalid argument", "");
            return false;
        }
        ip = *found;
    }
    if (!SocketExists(pos))
        return false;
    SocketRecord& r = rec(pos);
    if (ws::bind(r.handle, {ip, ws::htons(static_cast<std::uint16_t>(p))}) == ws::kSocketError) {
        const int e = ws::WSAGetLastError();
        ShowBox(std::to_string(e) + " CSocketPlus.BindInternal " + GetErrorDescription(e), "");
        return false;
    }
    if (p != 0) {
        r.localPort = p;
        return true;
    }
    r.boundPort = GetLocalPort(r.handle);
    if (r.boundPort == 0) {
        const int e = ws::WSAGetLastError();
        ShowBox(std::to_string(e) + " CSocketPlus.BindInternal " + GetErrorDescription(e), "");
    }
    return true;
}

void CSocketPlus::Bind(const Variant& index, const std::optional<Variant>& localPort,
                       const std::optional<Variant>& localIP)
{
    const std::int32_t pos = GetSocketIndex(index);
    if (rec(pos).state != sckClosed)
        Raise(sckInvalidOperation, "Bind", kStateText);
    if (BindInternal(pos, localPort, localIP))
        rec(pos).state = sckOpen;
}

void CSocketPlus::Listen(const Variant& index)
{
    const std::int32_t pos = GetSocketIndex(index);
    if (rec(pos).state != sckClosed && rec(pos).state != sckOpen)
        Raise(sckInvalidOperation, "Listen", kStateText);
    if (!SocketExists(pos) || !BindInternal(pos))
        return;
    if (ws::listen(rec(pos).handle, 5) == ws::kSocketError)
        RaiseSystem(ws::WSAGetLastError(), "Listen");
    rec(pos).state = sckListening;
}

void CSocketPlus::Connect(const Variant& index, std::optional<Variant> remoteHost, std::optional<Variant> remotePort)
{
    const std::int32_t pos = GetSocketIndex(index);
    if (rec(pos).state != sckClosed)
        Raise(sckInvalidOperation, "Connect", kStateText);
    if (remoteHost)
        rec(pos).remoteHost = remoteHost->toText();
    if (remotePort) {
        if (!remotePort->isNumeric())
            Raise(sckUnsupportedType, "Connect", kTypeText);
        const double v = remotePort->toDouble();
        if (!(v >= 1 && v <= 65535))
            Raise(sckInvalidArgument, "Connect", kRangeText);
        rec(pos).remotePort = static_cast<std::int32_t>(remotePort->toInt64());
    }
    if (!SocketExists(pos) || !BindInternal(pos))
        return;
    if (rec(pos).protocol == sckUDPProtocol) {
        rec(pos).state = sckOpen;
        return;
    }
    const std::optional<std::uint32_t> address = ResolveIfHostname(pos, rec(pos).remoteHost);
    if (address)
        ConnectToIP(pos, *address, 0);
}

std::optional<std::uint32_t> CSocketPlus::ResolveIfHostname(std::int32_t pos, const std::string& host)
{
    if (const std::optional<std::uint32_t> dotted = ParseDotted(host))
        return dotted;
    SocketRecord& r = rec(pos);
    r.state = sckResolvingHost;
    try {
        r.lookupBuffer.assign(ws::kMaxGetHostStruct, 0);
    } catch (const std::bad_alloc&) {
        r.state = sckError;
        Raise(7, "ResolveIfHostname", "Out of memory");
    }
    const int task = StartLookup(host, r.lookupBuffer.data(), this);
    if (task != 0) {
        r.pendingLookups.insert(task);
        lookups_[task] = pos;
        return std::nullopt;
    }
    r.lookupBuffer.clear();
    FailNotice(pos, ws::WSAGetLastError(), "CSocketPlus.ResolveIfHostname");
    return std::nullopt;
}

void CSocketPlus::ConnectToIP(std::int32_t pos, std::optional<std::uint32_t> address, int error)
{
    if (error != 0 || !address) {
        FailNotice(pos, error != 0 ? error : ws::WSANO_DATA, "CSocketPlus.ConnectToIP");
        return;
    }
    SocketRecord& r = rec(pos);
    r.state = sckConnecting;
    if (ws::connect(r.handle, {*address, ws::htons(static_cast<std::uint16_t>(r.remotePort))}) != ws::kSocketError)
        return;
    const int e = ws::WSAGetLastError();
    if (e == ws::WSAEWOULDBLOCK)
        return;
    if (e == ws::WSAEADDRNOTAVAIL)
        Raise(ws::WSAEADDRNOTAVAIL, "ConnectToIP", "Cannot assign requested address.");
    FailNotice(pos, e, "CSocketPlus.ConnectToIP");
}

void CSocketPlus::Accept(const Variant& index, std::int32_t requestID)
{
    const std::int32_t pos = GetSocketIndex(index);
    if (rec(pos).state != sckClosed)
        Raise(sckInvalidOperation, "Accept", kStateText);
    SocketRecord& r = rec(pos);
    r.handle = requestID;
    r.protocol = sckTCPProtocol;
    ProcessOptions(pos);
    if (IsAcceptedSocket(requestID)) {
        std::unique_ptr<SocketOwner> owned = RemoveAcceptedSocket(requestID);
        auto* holder = dynamic_cast<CSocketPlus*>(owned.get());
        GetLocalInfo(requestID, r.boundPort, r.localIP);
        GetRemoteInfo(requestID, r.remotePort, r.remoteHostIP, r.remoteHost);
        r.state = sckConnected;
        bool peerClosed = false;
        if (holder && holder->elements_.size() > 1) {
            SocketRecord& h = holder->rec(1);
            r.recvBuffer.append(h.recvBuffer.data(), h.recvBuffer.size());
            h.recvBuffer.clear();
            peerClosed = h.state == sckClosing;
            holder->sockets_.erase(requestID);
        }
        sockets_[requestID] = pos;
        ChangeSocketOwner(requestID, this);
        if (!rec(pos).recvBuffer.empty() && events.DataArrival)
            events.DataArrival(Variant(rec(pos).index), static_cast<std::int32_t>(rec(pos).recvBuffer.size()));
        if (peerClosed) {
            rec(pos).state = sckClosing;
            if (events.CloseSck)
                events.CloseSck(Variant(rec(pos).index));
        }
        return; // the holder goes here, leaving the socket open
    }
    if (!IsSocketRegistered(requestID)) {
        holder_ = true;
        r.state = sckConnected;
        GetLocalInfo(requestID, r.boundPort, r.localIP);
        GetRemoteInfo(requestID, r.remotePort, r.remoteHostIP, r.remoteHost);
        sockets_[requestID] = pos; // the holder must see the notices that arrive meanwhile
        RegisterSocket(requestID, this, false);
        return;
    }
    r.handle = -1;
    r.sendChunk = 0;
    r.recvChunk = 0;
    Raise(sckWrongProtocolOrState, "Accept", kProtocolStateText);
}

void CSocketPlus::CloseSck(const Variant& index)
{
    const std::int32_t pos = GetSocketIndex(index);
    rec(pos).state = sckClosing;
    CancelResolutions(pos);
    DestroySocket(pos);
    SocketRecord& r = rec(pos);
    r.boundPort = 0;
    r.remoteHostIP.clear();
    r.recvBuffer.clear();
    r.sendBuffer.clear();
    r.recvChunk = 0;
    r.sendChunk = 0;
    r.state = sckClosed;
}

// ---- local and peer information -----------------------------------------------------------

std::string CSocketPlus::GetLocalHostName()
{
    char name[256] = {};
    if (ws::gethostname(name, sizeof name) == ws::kSocketError)
        RaiseSystem(ws::WSAGetLastError(), "GetLocalHostName");
    return std::string(name, strnlen(name, sizeof name));
}

std::string CSocketPlus::GetLocalIP()
{
    ws::HostEntry entry;
    if (!ws::gethostbyname(GetLocalHostName(), &entry))
        RaiseSystem(ws::WSAGetLastError(), "GetLocalIP");
    return ws::inet_ntoa(entry.addresses.front());
}

std::int32_t CSocketPlus::GetLocalPort(Socket handle)
{
    ws::SockAddrIn a;
    if (ws::getsockname(handle, &a) == ws::kSocketError)
        return 0;
    return ws::ntohs(a.port);
}

void CSocketPlus::GetLocalInfo(Socket handle, std::int32_t& port, std::string& ip)
{
    ws::SockAddrIn a;
    if (ws::getsockname(handle, &a) == ws::kSocketError) {
        port = 0;
        ip.clear();
        return;
    }
    port = ws::ntohs(a.port);
    ip = ws::inet_ntoa(a.addr);
}

void CSocketPlus::GetRemoteInfo(Socket handle, std::int32_t& port, std::string& ip, std::string& host)
{
    host.clear();
    ws::SockAddrIn a;
    if (ws::getpeername(handle, &a) == ws::kSocketError) {
        port = 0;
        ip.clear();
        return;
    }
    port = ws::ntohs(a.port);
    ip = ws::inet_ntoa(a.addr);
}

std::optional<std::uint32_t> CSocketPlus::GetIPFromHost(const std::string& host, std::string& dotted, int& error)
{
    error = 0;
    if (const std::optional<std::uint32_t> a = ParseDotted(host)) {
        dotted = host;
        return a;
    }
    ws::HostEntry entry;
    if (!ws::gethostbyname(host, &entry)) {
        error = ws::WSAGetLastError();
        dotted.clear();
        return std::nullopt;
    }
    dotted = ws::inet_ntoa(entry.addresses.front());
    return entry.addresses.front();
}

// ---- sending --------------------------------------------------------------------------------

void CSocketPlus::SendData(const Variant& index, const Variant& data)
{
    const std::int32_t pos = GetSocketIndex(index);
    if (rec(pos).protocol == sckUDPProtocol) {
        if (!SocketExists(pos) || !BindInternal(pos))
            return;
        rec(pos).state = sckOpen;
    } else if (rec(pos).state != sckConnected) {
        Raise(sckWrongProtocolOrState, "SendData", kProtocolStateText);
    }
    Bytes bytes;
    switch (data.type()) {
    case vbInteger:
        AppendLittleEndian(bytes, static_cast<std::int16_t>(data.toInt64()));
        break;
    case vbLong:
        AppendLittleEndian(bytes, static_cast<std::int32_t>(data.toInt64()));
        break;
    case vbSingle:
        AppendLittleEndian(bytes, static_cast<float>(data.toDouble()));
        break;
    case vbDouble:
    case vbDate:
        AppendLittleEndian(bytes, data.toDouble());
        break;
    case vbCurrency:
        AppendLittleEndian(bytes, *data.integer()); // exact: a double loses digits past 2^53
        break;
    case vbBoolean:
        AppendLittleEndian(bytes, static_cast<std::int16_t>(data.toInt64() ? -1 : 0));
        break;
    case vbByte:
        bytes.push_back(static_cast<std::uint8_t>(data.toInt64()));
        break;
    case vbString:
        if (data.text()->empty())
            return;
        break;
    case vbByteArray:
        if (data.bytes()->empty())
            return;
        break;
    default:
        Raise(sckUnsupportedType, "SendData", kTypeText);
    }
    SocketRecord& r = rec(pos);
    const bool idle = r.sendBuffer.empty();
    if (data.type() == vbString)
        r.sendBuffer.append(data.text()->data(), data.text()->size());
    else if (data.type() == vbByteArray)
        r.sendBuffer.append(reinterpret_cast<const char*>(data.bytes()->data()), data.bytes()->size());
    else
        r.sendBuffer.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (idle)
        SendPendingData(pos);
}

void CSocketPlus::SendPendingData(std::int32_t pos)
{
    if (rec(pos).protocol == sckUDPProtocol)
        SendBufferedDataUDP(pos);
    else
        SendBufferedData(pos);
}

void CSocketPlus::SendBufferedData(std::int32_t pos)
{
    std::int64_t total = 0;
    while (!rec(pos).sendBuffer.empty()) {
        SocketRecord& r = rec(pos);
        const std::size_t chunk = r.sendChunk > 0 ? static_cast<std::size_t>(r.sendChunk) : r.sendBuffer.size();
        const std::size_t n = std::min(r.sendBuffer.size(), chunk);
        const int k = ws::send(r.handle, r.sendBuffer.data(), static_cast<int>(n), 0);
        if (k == ws::kSocketError) {
            const int e = ws::WSAGetLastError();
            if (e == ws::WSAEWOULDBLOCK) {
                if (total >= 1 && events.SendProgress)
                    events.SendProgress(Variant(r.index), static_cast<std::int32_t>(total),
                                        static_cast<std::int32_t>(r.sendBuffer.size()));
            } else {
                FailNotice(pos, e, "CSocketPlus.SendBufferedData");
            }
            return;
        }
        total += k;
        if (static_cast<std::size_t>(k) >= r.sendBuffer.size()) {
            r.sendBuffer.clear();
            const Variant index = r.index;
            if (events.SendProgress)
                events.SendProgress(index, static_cast<std::int32_t>(total), 0);
            if (events.SendComplete)
                events.SendComplete(index);
            return;
        }
        r.sendBuffer.consume(static_cast<std::size_t>(k));
    }
}

void CSocketPlus::SendBufferedDataUDP(std::int32_t pos)
{
    SocketRecord& r = rec(pos);
    // After a datagram was read RemoteHost is empty and RemoteHostIP names the sender: a reply
    // goes back there.
    const std::string host = r.remoteHost.empty() && !r.remoteHostIP.empty() ? r.remoteHostIP : r.remoteHost;
    std::string dotted;
    int error = 0;
    const std::optional<std::uint32_t> address = GetIPFromHost(host, dotted, error);
    if (!address) {
        r.sendBuffer.clear();
        if (error == ws::WSAEAFNOSUPPORT)
            Raise(ws::WSAEAFNOSUPPORT, "SendBufferedDataUDP", GetErrorDescription(ws::WSAEAFNOSUPPORT));
        Raise(sckInvalidArgument, "SendBufferedDataUDP", "Invalid argument");
    }
    const std::string datagram(r.sendBuffer.data(), r.sendBuffer.size());
    r.sendBuffer.clear();
    if (ws::sendto(r.handle, datagram.data(), static_cast<int>(datagram.size()), 0,
                   {*address, ws::htons(static_cast<std::uint16_t>(r.remotePort))}) == ws::kSocketError)
        FailNotice(pos, ws::WSAGetLastError(), "CSocketPlus.SendBufferedDataUDP");
}

// ---- receiving ------------------------------------------------------------------------------

std::int32_t CSocketPlus::RecvDataToBuffer(std::int32_t pos)
{
    SocketRecord& r = rec(pos);
    const std::size_t chunk = r.recvChunk > 0 ? static_cast<std::size_t>(r.recvChunk) : 8192;
    const int k = ws::recv(r.handle, r.recvBuffer.prepare(chunk), static_cast<int>(chunk), 0);
    if (k == ws::kSocketError) {
        const int e = ws::WSAGetLastError();
        if (e == ws::WSAEWOULDBLOCK)
            return 0; // the notice was stale: nothing is there
        r.state = sckError;
        RaiseSystem(e, "RecvDataToBuffer");
    }
    r.recvBuffer.commit(static_cast<std::size_t>(k));
    return k;
}

std::int32_t CSocketPlus::GetDatagramLength(std::int32_t pos)
{
    unsigned long n = 0;
    if (ws::ioctlsocket(rec(pos).handle, ws::kFionRead, &n) == ws::kSocketError)
        return 0;
    return static_cast<std::int32_t>(n);
}

void CSocketPlus::DiscardDatagram(std::int32_t pos)
{
    char one;
    ws::recv(rec(pos).handle, &one, 1, 0);
    rec(pos).datagramTaken = true; // PostSocket must not discard the next one as well
}

void CSocketPlus::GetData(const Variant& index, Variant& data, int* varType, Variant* maxLen)
{
    ReceiveInto("GetData", false, index, data, varType, maxLen);
}

void CSocketPlus::PeekData(const Variant& index, Variant& data, int* varType, Variant* maxLen)
{
    ReceiveInto("PeekData", true, index, data, varType, maxLen);
}

void CSocketPlus::GetData(const Variant& index, std::string& data)
{
    Variant v{data}; // no datagram leaves the caller's text as it was
    GetData(index, v);
    data = v.toText();
}

void CSocketPlus::GetData(const Variant& index, Bytes& data)
{
    const std::int32_t pos = GetSocketIndex(index);
    if (rec(pos).protocol == sckTCPProtocol) {
        // The common bulk case without a detour through a Variant.
        if (rec(pos).state != sckConnected && !holder_)
            Raise(sckWrongProtocolOrState, "GetData", kProtocolStateText);
        rec(pos).recvBuffer.takeAll(data);
        return;
    }
    Variant v{data}; // no datagram leaves the caller's bytes as they were
    GetData(index, v);
    data = v.bytes() ? *v.bytes() : Bytes(v.toText().begin(), v.toText().end());
}

void CSocketPlus::ReceiveInto(const char* method, bool peek, const Variant& index, Variant& data, int* varType,
                              Variant* maxLen)
{
    const std::int32_t pos = GetSocketIndex(index);
    SocketRecord& r = rec(pos);
    std::int32_t available;
    if (r.protocol == sckUDPProtocol) {
        if (r.state != sckOpen)
            Raise(sckWrongProtocolOrState, method, kProtocolStateText);
        available = GetDatagramLength(pos);
        if (available == 0)
            return;
    } else {
        const bool allowed = r.state == sckConnected || (!peek && holder_);
        if (!allowed)
            Raise(sckWrongProtocolOrState, method, kProtocolStateText);
        available = static_cast<std::int32_t>(r.recvBuffer.size());
    }
    if (maxLen) {
        if (!maxLen->isNumeric())
            *maxLen = Variant(available);
        else if (maxLen->toDouble() < 0)
            Raise(sckInvalidArgument, method, kRangeText);
    }
    RecvData(pos, data, peek, varType, maxLen);
}

std::int32_t CSocketPlus::RecvData(std::int32_t pos, Variant& data, bool peek, int* varType, Variant* maxLen)
{
    const bool udp = rec(pos).protocol == sckUDPProtocol;
    const std::int32_t available = udp ? GetDatagramLength(pos) : static_cast<std::int32_t>(rec(pos).recvBuffer.size());
    int type;
    if (!data.isEmpty())
        type = data.type();
    else if (varType)
        type = *varType;
    else
        type = vbByteArray;
    if (varType)
        *varType = type;

    static const Variant kEmptyText{std::string()};
    static const Variant kEmptyBytes{Bytes()};
    auto emptyValue = [&] { data = type == vbString ? kEmptyText : kEmptyBytes; };
    if (type == vbString || type == vbByteArray) {
        std::size_t count;
        if (maxLen) {
            const std::int64_t limit = maxLen->toInt64();
            if (available == 0 || limit == 0) {
                emptyValue();
                if (udp) {
                    DiscardDatagram(pos);
                    Raise(ws::WSAEMSGSIZE, "RecvData", "Message too long.");
                }
                return 0;
            }
            count = static_cast<std::size_t>(std::min<std::int64_t>(limit, available));
        } else {
            if (available == 0) {
                emptyValue();
                return 0;
            }
            count = static_cast<std::size_t>(available);
        }
        int error = 0;
        Bytes taken = TakeFromBuffer(pos, count, peek, error);
        const auto n = static_cast<std::int32_t>(taken.size());
        if (type == vbString)
            data = Variant(std::string(taken.begin(), taken.end()));
        else
            data = Variant(std::move(taken));
        if (error != 0)
            RaiseSystem(error, "RecvData");
        return n;
    }
    const int size = FixedSize(type);
    if (size == 0)
        Raise(sckUnsupportedType, "RecvData", kTypeText);
    if (available < size)
        return 0;
    int error = 0;
    const Bytes taken = TakeFromBuffer(pos, static_cast<std::size_t>(size), peek, error);
    if (static_cast<int>(taken.size()) == size) {
        switch (type) {
        case vbBoolean:
            data = Variant(ReadLittleEndian<std::int16_t>(taken) != 0);
            break;
        case vbByte:
            data = Variant(taken[0]);
            break;
        case vbCurrency:
            data = Variant::Currency(ReadLittleEndian<std::int64_t>(taken));
            break;
        case vbDate:
            data = Variant::Date(ReadLittleEndian<double>(taken));
            break;
        case vbDouble:
            data = Variant(ReadLittleEndian<double>(taken));
            break;
        case vbInteger:
            data = Variant(ReadLittleEndian<std::int16_t>(taken));
            break;
        case vbLong:
            data = Variant(ReadLittleEndian<std::int32_t>(taken));
            break;
        case vbSingle:
            data = Variant(ReadLittleEndian<float>(taken));
            break;
        default:
            break;
        }
    }
    if (error != 0)
        RaiseSystem(error, "RecvData");
    return size;
}

Bytes CSocketPlus::TakeFromBuffer(std::int32_t pos, std::size_t count, bool peek, int& error)
{
    SocketRecord& r = rec(pos);
    error = 0;
    if (r.protocol == sckTCPProtocol) {
        count = std::min(count, r.recvBuffer.size());
        const auto* p = reinterpret_cast<const std::uint8_t*>(r.recvBuffer.data());
        Bytes out(p, p + count);
        if (!peek)
            r.recvBuffer.consume(count);
        return out;
    }
    Bytes out(count);
    ws::SockAddrIn from;
    const int k = ws::recvfrom(r.handle, reinterpret_cast<char*>(out.data()), static_cast<int>(count),
                               peek ? ws::kMsgPeek : 0, &from);
    if (k == ws::kSocketError) {
        error = ws::WSAGetLastError();
        if (error != ws::WSAEMSGSIZE)
            out.clear(); // a cut datagram still fills the buffer
    } else {
        out.resize(static_cast<std::size_t>(k));
    }
    if (error == 0 || error == ws::WSAEMSGSIZE) {
        r.remotePort = ws::ntohs(from.port);
        r.remoteHostIP = ws::inet_ntoa(from.addr);
        r.remoteHost.clear();
    }
    if (!peek)
        r.datagramTaken = true;
    return out;
}

} // namespace quadrantel::net
