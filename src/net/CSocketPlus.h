#pragma once

#include "net/Variant.h"
#include "net/modSocketPlus.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quadrantel::net {

enum SocketState : std::int32_t {
    sckClosed = 0,
    sckOpen = 1,
    sckListening = 2,
    sckConnectionPending = 3,
    sckResolvingHost = 4,
    sckHostResolved = 5,
    sckConnecting = 6,
    sckConnected = 7,
    sckClosing = 8,
    sckError = 9,
};

enum SocketProtocol : std::int32_t { sckTCPProtocol = 0, sckUDPProtocol = 1 };

// The class's own error numbers; failures of the host's sockets keep the host's (ws::Error).
enum SocketError : std::int32_t {
    sckWrongProtocolOrState = 40006,
    sckInvalidArgument = 40014,
    sckUnsupportedType = 40018,
    sckInvalidOperation = 40020,
    sckUnsupportedIndexType = 40027,
    sckIndexInUse = 40028,
    sckUnknownIndex = 40029,
};

// An array of asynchronous IPv4 TCP and UDP sockets, each addressed by the caller's index (a
// text, compared without regard to case, or a 16- or 32-bit whole number). Operations start
// work and return; outcomes come back as events raised while the event loop delivers socket
// notices. Failures of a call are platform::RuntimeError with source "CSocketPlus.<procedure>".
//
// Events are plain callbacks, set by the owner, raised synchronously on the loop's thread:
//     sck.events.DataArrival = [this](const Variant& index, std::int32_t bytesTotal) { ... };
// Unset callbacks are skipped. An Error handler that sets CancelDisplay to false makes the
// object show Description in a message box titled with Source (platform::CurrentDialogs()).
class CSocketPlus final : public SocketOwner {
public:
    struct Events {
        std::function<void(const Variant& index)> CloseSck;
        std::function<void(const Variant& index)> Connect;
        std::function<void(const Variant& index, std::int32_t requestID)> ConnectionRequest;
        std::function<void(const Variant& index, std::int32_t bytesTotal)> DataArrival;
        std::function<void(const Variant& index, std::int16_t Number, std::string& Description, std::int32_t sCode,
                           const std::string& Source, const std::string& HelpFile, std::int32_t HelpContext,
                           bool& CancelDisplay)>
            Error;
        std::function<void(const Variant& index)> SendComplete;
        std::function<void(const Variant& index, std::int32_t bytesSent, std::int32_t bytesRemaining)> SendProgress;
    };
    Events events;

    CSocketPlus();
    ~CSocketPlus() override;
    CSocketPlus(const CSocketPlus&) = delete;
    CSocketPlus& operator=(const CSocketPlus&) = delete;

    std::intptr_t WndProc(platform::MessageWindow::Handle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) override;

    // Elements.
    Variant ArrayAdd(std::optional<Variant> index = std::nullopt);
    Variant ArrayRemove(const Variant& index);
    bool ArrayIndexInUse(const Variant& index);
    std::int32_t ArrayCount() const;

    // Properties.
    std::int32_t RemotePort(const Variant& index);
    void SetRemotePort(const Variant& index, std::int64_t port);
    std::string RemoteHost(const Variant& index);
    void SetRemoteHost(const Variant& index, const std::string& host);
    std::string RemoteHostIP(const Variant& index);
    std::int32_t LocalPort(const Variant& index);
    void SetLocalPort(const Variant& index, std::int64_t port);
    std::int32_t state(const Variant& index);
    std::string LocalHostName();
    std::string LocalIP(const Variant& index);
    std::int32_t BytesReceived(const Variant& index);
    std::int32_t SocketHandle(const Variant& index);
    std::string Tag(const Variant& index);
    void SetTag(const Variant& index, const std::string& tag);
    std::int32_t Protocol(const Variant& index);
    void SetProtocol(const Variant& index, std::int32_t protocol);

    // Connections.
    void Accept(const Variant& index, std::int32_t requestID);
    void Bind(const Variant& index, const std::optional<Variant>& localPort = std::nullopt,
              const std::optional<Variant>& localIP = std::nullopt);
    void CloseSck(const Variant& index);
    void Connect(const Variant& index, std::optional<Variant> remoteHost = std::nullopt,
                 std::optional<Variant> remotePort = std::nullopt);
    void Listen(const Variant& index);

    // Data. varType and maxLen are optional in-out arguments: null means not given. A
    // non-numeric maxLen is replaced by the count available.
    void SendData(const Variant& index, const Variant& data);
    void GetData(const Variant& index, Variant& data, int* varType = nullptr, Variant* maxLen = nullptr);
    void PeekData(const Variant& index, Variant& data, int* varType = nullptr, Variant* maxLen = nullptr);
    // Every buffered byte, as text or as bytes.
    void GetData(const Variant& index, std::string& data);
    void GetData(const Variant& index, Bytes& data);

private:
    // Bytes with a cheap front removal and in-place filling, so that chunked sends, partial
    // reads and bulk receives stay linear and copy as little as possible.
    class ByteQueue {
    public:
        std::size_t size() const { return tail_ - head_; }
        bool empty() const { return size() == 0; }
        const char* data() const { return reinterpret_cast<const char*>(buf_.data()) + head_; }
        void append(const char* p, std::size_t n);
        // Room for n more bytes at the end; commit says how many were written there.
        char* prepare(std::size_t n);
        void commit(std::size_t n) { tail_ += n; }
        void consume(std::size_t n);
        void clear() { head_ = tail_ = 0; }
        // Moves every byte into `out`, reusing out's storage for what comes next.
        void takeAll(Bytes& out);

    private:
        Bytes buf_; // its size is the room in use, not the content
        std::size_t head_ = 0;
        std::size_t tail_ = 0;
    };

    struct SocketRecord {
        Socket handle = -1;
        std::int32_t state = sckClosed;
        std::string tag;
        std::string remoteHost;
        std::int32_t remotePort = 0;
        std::string remoteHostIP;
        std::int32_t localPort = 0;
        std::int32_t boundPort = 0;
        std::string localIP;
        std::int32_t protocol = sckTCPProtocol;
        std::vector<char> lookupBuffer; // empty when no lookup holds it
        ByteQueue sendBuffer;
        ByteQueue recvBuffer;
        std::int32_t sendChunk = 0;
        std::int32_t recvChunk = 0;
        std::set<int> pendingLookups;
        Variant index = static_cast<std::int16_t>(0);
        bool datagramTaken = false;
    };

    SocketRecord& rec(std::int32_t pos) { return elements_[static_cast<std::size_t>(pos)]; }
    std::int32_t GetSocketIndex(const Variant& index) const;
    std::int32_t GetFreeSocketIndex();
    void CleanSocketArray(std::int32_t pos);
    bool NumericIndexInUse(std::int64_t n) const;
    static std::string IndexKey(const Variant& index);

    void DestroySocket(std::int32_t pos);
    bool SocketExists(std::int32_t pos);
    void PostResolution(int task, int error);
    void PostSocket(Socket handle, int event, int error);
    void ConnectToIP(std::int32_t pos, std::optional<std::uint32_t> address, int error);
    bool BindInternal(std::int32_t pos, const std::optional<Variant>& port = std::nullopt,
                      const std::optional<Variant>& address = std::nullopt);
    std::string GetLocalHostName();
    std::string GetLocalIP();
    std::optional<std::uint32_t> ResolveIfHostname(std::int32_t pos, const std::string& host);
    std::optional<std::uint32_t> GetIPFromHost(const std::string& host, std::string& dotted, int& error);
    std::int32_t GetLocalPort(Socket handle);
    void SendPendingData(std::int32_t pos);
    void SendBufferedDataUDP(std::int32_t pos);
    void SendBufferedData(std::int32_t pos);
    std::int32_t RecvDataToBuffer(std::int32_t pos);
    void ProcessOptions(std::int32_t pos);
    void ReceiveInto(const char* method, bool peek, const Variant& index, Variant& data, int* varType, Variant* maxLen);
    std::int32_t RecvData(std::int32_t pos, Variant& data, bool peek, int* varType, Variant* maxLen);
    Bytes TakeFromBuffer(std::int32_t pos, std::size_t count, bool peek, int& error);
    void CancelResolutions(std::int32_t pos);
    void GetLocalInfo(Socket handle, std::int32_t& port, std::string& ip);
    void GetRemoteInfo(Socket handle, std::int32_t& port, std::string& ip, std::string& host);
    std::int32_t GetDatagramLength(std::int32_t pos);
    void DiscardDatagram(std::int32_t pos);
    void OnAccept(std::int32_t pos);

    void RaiseError(std::int32_t pos, long number, const std::string& description, const std::string& source);
    void FailNotice(std::int32_t pos, int error, const std::string& source);

    std::deque<SocketRecord> elements_{1}; // position 0 is never used
    std::vector<std::int32_t> freeStack_;
    std::map<std::string, std::int32_t> textIndexes_; // upper-cased index + "I"
    std::map<std::string, std::int32_t> numericIndexes_;
    std::map<Socket, std::int32_t> sockets_;
    std::map<int, std::int32_t> lookups_;
    bool holder_ = false;
};

} // namespace quadrantel::net
