#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace kovra::cli {

// The local server of `kovra tune`: the page, the game's frames as a stream
// of server-sent events, and the player's keys back. It listens on 127.0.0.1
// only, and serves a request only when it carries the session's token and
// names this server in its Host header (and in its Origin header, when it
// has one): no other page in the browser and no one else on the network can
// read the game or drive it.
class TuneServer {
public:
    // page: the page served at "/"; token: the session's secret.
    TuneServer(std::string page, std::string token);
    ~TuneServer();
    TuneServer(const TuneServer&) = delete;
    TuneServer& operator=(const TuneServer&) = delete;

    // Binds 127.0.0.1:port (0: a free port) and serves on a thread of its
    // own; the port, or -1 with the reason in *error.
    int Start(int port, std::string* error);
    // Ends every stream and the serving thread.
    void Stop();

    // The game's latest frame: its pose message (a JSON object) and the
    // screen as SVG (sent only when it changed).
    void Publish(int frame, const std::string& poseJson, const std::string& screenSvg);
    // The keys the page holds (0x80: down), the text typed since the last
    // call, and the number of the last key message taken.
    void TakeInput(std::array<std::uint8_t, 256>& keys, std::string& typed, std::int64_t& keyMessage);

    // Whether a request with these headers and token may be served by the
    // server on `port` with the session's token `expected`.
    static bool Allowed(const std::string& host, const std::string& origin, const std::string& token,
                        const std::string& expected, int port);
    // A fresh token: 32 hexadecimal digits from the system's random source.
    static std::string NewToken();

private:
    void Route();

    std::string page_;
    std::string token_;
    int port_ = 0;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable published_;
    bool stopping_ = false;
    std::uint64_t version_ = 0;        // frames published
    std::uint64_t screenVersion_ = 0;  // screens that changed
    int frame_ = 0;
    std::string pose_;
    std::string screen_;
    std::array<std::uint8_t, 256> keys_{};     // as the page holds them
    std::array<std::uint8_t, 256> latched_{};  // and any down since the last frame
    std::string typed_;
    std::int64_t keyMessage_ = 0;
};

}  // namespace kovra::cli
