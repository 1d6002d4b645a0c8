#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>
#include <QWebSocketServer>

#include <optional>
#include <random>
#include <string>
#include <vector>

class QWebSocket;
class QTcpSocket;

namespace voicesim {

struct EventOptions {
    int port = 0;
    std::vector<std::string> pilots; // who talks in turn
    std::string controller = "EDDF_TWR";
    unsigned seed = 1;
    double talkSeconds = 4;
    double gapSeconds = 2;
    bool quiet = false;                 // nobody talks until told to
    bool connected = true;              // on the voice network at start
    bool observer = false;              // an observer login: transmit forced off everywhere
    int clickMs = 1500;                 // after a voice connect the controller clicks his stations on (-1: on "click")
    double frequencyMHz = 118.700;      // the controller's station, transmit selected
    double otherFrequencyMHz = 121.800; // a second station, received only; --elsewhere pilots talk there
    std::vector<std::string> elsewhere; // pilots heard on the other frequency
    std::string ground = "EDDF_APP";    // a neighbour controller who talks now and then ("": nobody)
    int groundEvery = 4;                // every n-th turn is the ground station's (0: never)
    std::string advisory;               // a pilot who keys up over the caller on 122.800 now and then
    std::string guard;                  // likewise on 121.500
    int strangerEvery = 3;              // every n-th turn one of those two talks over the caller
    int overlapEvery = 2;               // every n-th talker is followed by one who keys up over him (0: never)
    int loseEvery = 5;                  // every n-th transmission ends without kRxEnd (0: never)
    int longEvery = 0;                  // every n-th transmission lasts 60 s (0: never)
    int rekeyEvery = 0;                 // every n-th transmission is re-keyed halfway (0: never)
    double quitEvery = 0;               // the client quits and comes back every S seconds (0: never)
    bool oldClient = false;             // a client from before 2025: no requests, no activeTransmitters
    bool silent = false;                // nothing at all after the handshake
    int flood = 0;                      // kRxBegin and kRxEnd events per second, for load runs
    int floodTickMs = 1;                // sent in bursts this far apart
    bool print = true;                  // what happens, on standard output
};

// The newer voice client as it speaks on its port: only /ws is upgraded to the WebSocket of
// events, GET /transmitting names who transmits now, any other path gets the client's name.
// On every voice connect its stations start with receive and transmit off until the controller
// clicks them; it adds the advisory and guard frequencies by itself; a station change sends the
// old-style frequency list first. Never kinder than that client: lost kRxEnd, talkers over each
// other, ground stations and strangers among the speakers, long silences mid-transmission.
class EventServer {
public:
    explicit EventServer(EventOptions options);
    ~EventServer();

    bool listen();
    int port() const { return port_; }
    // One command as typed on voice-sim's standard input; false for an unknown one.
    bool command(const std::string& line);
    // A frame as it stands, to every client.
    void broadcast(const QByteArray& frame);
    // The newest client's WebSocket and the connection under it, for tests that ping it or
    // stop reading it as a frozen client would.
    QWebSocket* newestClient() const { return clients_.empty() ? nullptr : clients_.back(); }
    QTcpSocket* newestSocket() const { return upgraded_.empty() ? nullptr : upgraded_.back().data(); }
    // Requests received ("kGetStationStates", "GET /transmitting", ...), in order.
    const std::vector<std::string>& requests() const { return requests_; }
    int connections() const { return connections_; } // plain HTTP ones too
    bool stopped() const { return stopped_; }

private:
    struct Station {
        std::string callsign; // empty: the advisory and guard frequencies, which have none
        double mhz;
        bool wantsTx; // transmit once the controller clicks it
        bool rx = false;
        bool tx = false;
        int volume = 100;
    };
    struct Talker {
        std::string callsign;
        double mhz;
        double until; // when he lets go of the key
    };

    double now() const;
    double unit();
    void say(const std::string& text) const;
    QJsonObject station(const Station& s, bool withCallsign) const;
    QByteArray frequencies() const;
    void accept();
    void route(QTcpSocket* s);
    void answerHeld();
    void answer(QWebSocket* c, const QByteArray& text);
    void send(QWebSocket* c, const QByteArray& frame);
    void updateStation(Station& s, bool withCallsign);
    void setConnected(bool connected);
    void click();
    Station* find(double mhz);
    QJsonObject rx(const std::string& callsign, double mhz) const;
    void begin(const std::string& callsign, double mhz, double until);
    void end(const std::string& callsign, bool withEnd, double mhz); // 0: on any frequency
    void endAll();
    void remove(double mhz);
    void quit(double seconds);
    void flood(double t);
    void tick();
    void turn(double t);

    EventOptions o_;
    std::mt19937 rng_;
    QTcpServer tcp_;
    QWebSocketServer server_;
    std::vector<QWebSocket*> clients_;
    std::vector<QPointer<QTcpSocket>> upgraded_;
    std::vector<QPointer<QTcpSocket>> held_; // GET /transmitting waiting for an answer
    std::vector<Station> stations_;
    std::vector<Talker> talking_;
    std::vector<std::string> requests_;
    QTimer tick_;
    QElapsedTimer clock_;
    int port_ = 0;
    int connections_ = 0;
    bool auto_ = true;
    bool connected_ = false;
    bool overlapping_ = false;
    bool stopped_ = false;
    double next_ = 1, quitAt_ = 0, volumeAt_ = 15, hungUntil_ = 0;
    std::size_t turn_ = 0, pilot_ = 0;
    int ended_ = 0, knob_ = 0, begun_ = 0;
    long long sent_ = 0;
};

// voice-sim --websocket: the server on its own event loop until a signal or "exit".
int RunEventServer(EventOptions options);

// Numbers on the command line and in output read the same in every locale.
std::optional<double> ParseNumber(const std::string& text);
std::string NumberText(double value, int decimals);

} // namespace voicesim
