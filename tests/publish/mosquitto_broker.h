// Debian's mosquitto for tests: persistence to a temporary file, a password file, a plain and a
// TLS listener on free loopback ports (its certificate made with openssl), and a subscriber
// that holds a session of its own (fixed client id, clean session off, QoS 1) and reconnects.
#pragma once

#include "tests/publish/server_process.h"

#include <mosquitto.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velmora::test {

inline constexpr const char* kMosquittoProgram = "/usr/sbin/mosquitto";
inline constexpr const char* kBrokerUser = "bench";
inline constexpr const char* kBrokerPassword = "s3cret pass:word";
// What the broker has in flight to a subscriber at once: after an outage
// the broker sends those again too, so a subscriber may see this many
// repeats beside the publisher's own window.
inline constexpr size_t kBrokerInflight = 10;

class MosquittoBroker {
public:
    MosquittoBroker()
        : process_("mosquitto") {}

    static bool Installed() {
        return ServerProcess::Installed(kMosquittoProgram) &&
               ServerProcess::Installed("/usr/bin/mosquitto_passwd") &&
               ServerProcess::Installed("/usr/bin/openssl");
    }

    // Makes the password file and the certificate, then starts the broker.
    bool start() {
        port_ = FreeLoopbackPort();
        tlsPort_ = FreeLoopbackPort();
        const std::string passwd = folder_ / "passwd";
        const std::string make = std::string("/usr/bin/mosquitto_passwd -b -c '") + passwd + "' " +
                                 kBrokerUser + " '" + kBrokerPassword + "' >/dev/null 2>&1";
        const std::string cert =
            "/usr/bin/openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
            "-addext subjectAltName=IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost -keyout '" +
            folder_ / "key.pem" + "' -out '" + caFile() + "' >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0 || std::system(cert.c_str()) != 0) {
            ADD_FAILURE() << "cannot make the broker's password file or certificate";
            return false;
        }
        // Run as root the broker would become the "mosquitto" user, who
        // cannot read this private folder: it stays who it is.
        WriteBytes(folder_ / "mosquitto.conf",
                   std::string(IsRoot() ? "user root\n" : "") +
                       "persistence true\n"
                       "persistence_location " +
                       folder_.path() +
                       "/\n"
                       "persistence_file broker.db\n"
                       "autosave_interval 1\n"
                       "max_inflight_messages " +
                       std::to_string(kBrokerInflight) +
                       "\n"
                       "allow_anonymous false\n"
                       "password_file " +
                       passwd +
                       "\n"
                       "log_dest stdout\n"
                       "log_type error\nlog_type warning\nlog_type notice\n"
                       "listener " +
                       std::to_string(port_) +
                       " 127.0.0.1\n"
                       "listener " +
                       std::to_string(tlsPort_) +
                       " 127.0.0.1\n"
                       "cafile " +
                       caFile() +
                       "\n"
                       "certfile " +
                       caFile() +
                       "\n"
                       "keyfile " +
                       folder_ / "key.pem" + "\n");
        return restart();
    }
    // After stop(): the same broker again, its persistence file read back.
    bool restart() {
        return process_.start({kMosquittoProgram, "-c", folder_ / "mosquitto.conf"}, folder_.path(),
                              port_);
    }
    void stop() { process_.stop(); }

    quint16 port() const { return port_; }
    quint16 tlsPort() const { return tlsPort_; }
    std::string caFile() const { return folder_ / "ca.pem"; }
    std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }
    // The user and password, as the publisher reads them.
    std::string passwordFile() {
        const std::string path = folder_ / "bench.pass";
        WriteBytes(path, std::string(kBrokerUser) + "\n" + kBrokerPassword + "\n");
        ::chmod(path.c_str(), 0600);
        return path;
    }

private:
    TempFolder folder_;
    ServerProcess process_;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
};

struct MqttMessage {
    std::string topic;
    std::string payload;
    bool retained = false;
};

// A subscriber of its own session: what the broker kept for it while it
// was away comes when it is back.
class MqttSubscriber {
public:
    MqttSubscriber(quint16 port, const std::vector<std::string>& topics,
                   const std::string& clientId = "velmora-test-subscriber") {
        mosquitto_lib_init();
        client_ = mosquitto_new(clientId.c_str(), false, this);
        mosquitto_username_pw_set(client_, kBrokerUser, kBrokerPassword);
        mosquitto_reconnect_delay_set(client_, 1, 1, false);
        topics_ = topics;
        mosquitto_connect_callback_set(client_, [](mosquitto* client, void* self, int code) {
            if (code == 0) {
                for (const std::string& topic : static_cast<MqttSubscriber*>(self)->topics_) {
                    mosquitto_subscribe(client, nullptr, topic.c_str(), 1);
                }
            }
        });
        mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* self, int, int, const int*) {
            auto* subscriber = static_cast<MqttSubscriber*>(self);
            std::lock_guard lock(subscriber->mutex_);
            ++subscriber->subscriptions_;
        });
        mosquitto_message_callback_set(client_, [](mosquitto*, void* self,
                                                   const mosquitto_message* message) {
            auto* subscriber = static_cast<MqttSubscriber*>(self);
            std::lock_guard lock(subscriber->mutex_);
            subscriber->messages_.push_back({message->topic,
                                             std::string(static_cast<const char*>(message->payload),
                                                         static_cast<size_t>(message->payloadlen)),
                                             message->retain});
        });
        mosquitto_connect_async(client_, "127.0.0.1", port, 5);
        mosquitto_loop_start(client_);
    }
    ~MqttSubscriber() {
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, false);
        mosquitto_destroy(client_);
    }

    // Every topic subscribed to (on the first connection).
    bool subscribed() {
        std::lock_guard lock(mutex_);
        return subscriptions_ >= topics_.size();
    }
    std::vector<MqttMessage> messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<MqttMessage> on(const std::string& topic) {
        std::vector<MqttMessage> found;
        for (MqttMessage& message : messages()) {
            if (message.topic == topic) {
                found.push_back(std::move(message));
            }
        }
        return found;
    }

private:
    mosquitto* client_ = nullptr;
    std::vector<std::string> topics_;
    std::mutex mutex_;
    std::vector<MqttMessage> messages_;
    size_t subscriptions_ = 0;
};

} // namespace velmora::test
