// Receive throughput over loopback: the socket class (DataArrival + GetData into a byte
// array) against a plain blocking recv loop and QTcpSocket, all fed by the same sender.
#include "net/CSocketPlus.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTcpSocket>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kTransfer = 128u << 20;

// A listening socket whose one connection receives kTransfer bytes from a sender thread.
class Sender {
public:
    Sender()
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 1);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            const int c = ::accept(listen_, nullptr, nullptr);
            std::vector<char> block(1 << 20, 'q');
            std::size_t left = kTransfer;
            while (left > 0) {
                const ssize_t n = ::send(c, block.data(), std::min(left, block.size()), MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                left -= static_cast<std::size_t>(n);
            }
            ::close(c);
        });
    }
    ~Sender()
    {
        thread_.join();
        ::close(listen_);
    }
    int port() const { return port_; }

private:
    int listen_;
    int port_;
    std::thread thread_;
};

void BM_PlainRecvLoop(benchmark::State& state)
{
    std::vector<char> buffer(256 * 1024);
    for (auto _ : state) {
        Sender sender;
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(sender.port()));
        ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        std::size_t total = 0;
        ssize_t n;
        while ((n = ::recv(s, buffer.data(), buffer.size(), 0)) > 0)
            total += static_cast<std::size_t>(n);
        ::close(s);
        if (total != kTransfer)
            state.SkipWithError("short transfer");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTransfer));
}

void BM_QTcpSocket(benchmark::State& state)
{
    std::vector<char> buffer(256 * 1024);
    for (auto _ : state) {
        Sender sender;
        QTcpSocket socket;
        QEventLoop loop;
        std::size_t total = 0;
        QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
            qint64 n;
            while ((n = socket.read(buffer.data(), static_cast<qint64>(buffer.size()))) > 0)
                total += static_cast<std::size_t>(n);
        });
        QObject::connect(&socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(sender.port()));
        loop.exec();
        if (total != kTransfer)
            state.SkipWithError("short transfer");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTransfer));
}

void BM_CSocketPlus(benchmark::State& state)
{
    using namespace quadrantel::net;
    CSocketPlus sck;
    sck.ArrayAdd("Quadrantel");
    quadrantel::net::Bytes chunk;
    for (auto _ : state) {
        Sender sender;
        QEventLoop loop;
        std::size_t total = 0;
        sck.events.DataArrival = [&](const Variant& index, std::int32_t) {
            sck.GetData(index, chunk);
            total += chunk.size();
        };
        sck.events.CloseSck = [&](const Variant&) { loop.quit(); };
        sck.events.Error = [&](const Variant&, std::int16_t, std::string&, std::int32_t, const std::string&,
                               const std::string&, std::int32_t, bool&) { loop.quit(); };
        sck.Connect("Quadrantel", "127.0.0.1", sender.port());
        loop.exec();
        sck.CloseSck("Quadrantel");
        if (total != kTransfer)
            state.SkipWithError("short transfer");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTransfer));
}

BENCHMARK(BM_PlainRecvLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QTcpSocket)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CSocketPlus)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
