#include "cli/tune/TuneServer.h"

#include <httplib.h>

#include <chrono>
#include <random>

#include <nlohmann/json.hpp>

namespace kovra::cli {

namespace {

using Json = nlohmann::json;

// Typed text a key message may bring: a person types a few characters
// between two messages.
constexpr std::size_t kMaxTyped = 64;
constexpr std::size_t kMaxBody = 4096;

// Equal texts take as long to compare as unequal ones of the same length.
bool SameSecret(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char differ = 0;
    for (std::size_t i = 0; i < a.size(); ++i) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

void NoStore(httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "no-referrer");
}

}  // namespace

TuneServer::TuneServer(std::string page, std::string token)
    : page_(std::move(page)), token_(std::move(token)), server_(std::make_unique<httplib::Server>()) {}

TuneServer::~TuneServer() { Stop(); }

std::string TuneServer::NewToken() {
    std::random_device source;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (int i = 0; i < 8; ++i) {
        std::uint32_t word = source();
        for (int d = 0; d < 4; ++d, word >>= 4) token += kHex[word & 15u];
    }
    return token;
}

bool TuneServer::Allowed(const std::string& host, const std::string& origin, const std::string& token,
                         const std::string& expected, int port) {
    const std::string p = std::to_string(port);
    const bool ourHost = host == "127.0.0.1:" + p || host == "localhost:" + p;
    const bool ourOrigin = origin.empty() || origin == "http://127.0.0.1:" + p || origin == "http://localhost:" + p;
    return ourHost && ourOrigin && !expected.empty() && SameSecret(token, expected);
}

int TuneServer::Start(int port, std::string* error) {
    if (port < 0 || port > 65535) {
        if (error) *error = "the port must be 0 to 65535";
        return -1;
    }
    const bool bound = port == 0 ? (port = server_->bind_to_any_port("127.0.0.1")) > 0
                                 : server_->bind_to_port("127.0.0.1", port);
    if (!bound) {
        if (error) *error = "cannot listen on 127.0.0.1:" + std::to_string(port) + " (in use? --port 0 takes a free one)";
        return -1;
    }
    port_ = port;
    Route();
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    return port_;
}

void TuneServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    published_.notify_all();
    if (server_) server_->stop();
    if (thread_.joinable()) thread_.join();
}

void TuneServer::Publish(int frame, const std::string& poseJson, const std::string& screenSvg) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        frame_ = frame;
        pose_ = poseJson;
        if (screenSvg != screen_) {
            screen_ = screenSvg;
            ++screenVersion_;
        }
        ++version_;
    }
    published_.notify_all();
}

void TuneServer::TakeInput(std::array<std::uint8_t, 256>& keys, std::string& typed, std::int64_t& keyMessage) {
    std::lock_guard<std::mutex> lock(mutex_);
    // A key pressed and let go between two frames is still seen down once.
    keys = latched_;
    latched_ = keys_;
    typed.swap(typed_);
    typed_.clear();
    keyMessage = keyMessage_;
}

void TuneServer::Route() {
    // Key messages are a few dozen bytes; nothing larger is read.
    server_->set_payload_max_length(kMaxBody);
    server_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        NoStore(res);
        if (Allowed(req.get_header_value("Host"), req.get_header_value("Origin"), req.get_param_value("token"),
                    token_, port_)) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        res.status = 403;
        res.set_content("forbidden: this server answers its own page only\n", "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    });

    server_->Get("/", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(page_, "text/html; charset=utf-8");
    });

    // Each connection gets every frame published while it is open; a slow
    // reader skips frames rather than queueing them.
    server_->Get("/events", [this](const httplib::Request&, httplib::Response& res) {
        auto seen = std::make_shared<std::uint64_t>(0);
        auto seenScreen = std::make_shared<std::uint64_t>(0);
        res.set_chunked_content_provider("text/event-stream", [this, seen, seenScreen](std::size_t, httplib::DataSink& sink) {
            std::string message;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                published_.wait_for(lock, std::chrono::milliseconds(200),
                                    [&] { return stopping_ || version_ != *seen; });
                if (stopping_) return false;
                if (screenVersion_ != *seenScreen) {
                    *seenScreen = screenVersion_;
                    message += "data: " + Json{{"screen", screen_}}.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n\n";
                }
                if (version_ != *seen) {
                    *seen = version_;
                    message += "data: " + pose_ + "\n\n";
                }
            }
            if (message.empty()) message = ": idle\n\n";  // finds a closed connection
            return sink.write(message.data(), message.size());
        });
    });

    // The page's keys: {"held": [virtual-key codes], "typed": "text",
    // "seq": n}; the answer names the frame the game is at.
    server_->Post("/keys", [this](const httplib::Request& req, httplib::Response& res) {
        const Json body = Json::parse(req.body, nullptr, false);
        std::array<std::uint8_t, 256> keys{};
        bool valid = body.is_object() && body.value("held", Json::array()).is_array();
        if (valid) {
            for (const Json& k : body.value("held", Json::array())) {
                if (!k.is_number_integer() || k.get<std::int64_t>() < 0 || k.get<std::int64_t>() > 255) {
                    valid = false;
                    break;
                }
                keys[static_cast<std::size_t>(k.get<int>())] = 0x80;
            }
        }
        const Json typed = valid ? body.value("typed", Json("")) : Json();
        const Json seq = valid ? body.value("seq", Json(0)) : Json();
        if (!valid || !typed.is_string() || typed.get<std::string>().size() > kMaxTyped || !seq.is_number_integer()) {
            res.status = 400;
            res.set_content("expected {\"held\": [0..255], \"typed\": text, \"seq\": n}\n", "text/plain");
            return;
        }
        int frame = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            keys_ = keys;
            for (std::size_t k = 0; k < keys.size(); ++k) latched_[k] |= keys[k];
            typed_ += typed.get<std::string>();
            if (typed_.size() > kMaxTyped) typed_.erase(0, typed_.size() - kMaxTyped);
            keyMessage_ = seq.get<std::int64_t>();
            frame = frame_;
        }
        res.set_content(Json{{"frame", frame}}.dump(), "application/json");
    });
}

}  // namespace kovra::cli
