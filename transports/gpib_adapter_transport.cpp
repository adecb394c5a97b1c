// Talking to an instrument through a "++" GPIB adapter.
#include "transports/gpib_adapter_transport.h"

#include "text/trim.h"
#include "transports/transport_error.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

constexpr char kEscape = 27;

// Controller mode, the instrument's address, EOI with the last byte sent, a
// line feed appended to each command (the adapter strips ours), no reading
// unless asked, and the longest wait the adapter allows for an answer's byte.
std::string SetUp(int address) {
    return "++mode 1\n++addr " + std::to_string(address) +
           "\n++eoi 1\n++eos 2\n++auto 0\n++read_tmo_ms 3000\n";
}

std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return line;
}

} // namespace

GpibAdapterTransport::GpibAdapterTransport(std::unique_ptr<StreamLine> link, int address,
                                           std::string where)
    : link_(std::move(link))
    , address_(address)
    , where_(std::move(where)) {
    link_->onReceive = [this](const char* bytes, size_t length) { received(bytes, length); };
    link_->onLost = [this] {
        if (onLost) {
            onLost();
        }
    };
}

void GpibAdapterTransport::open() {
    if (link_->isOpen()) {
        return;
    }
    link_->open();
    // Asked before anything is handed over: the first line back is the
    // adapter's own, and says it is there at all.
    (void)link_->send(SetUp(address_) + "++ver\n");
    std::optional<std::string> answer = link_->awaitLine(versionTimeout_);
    if (!answer) {
        link_->close();
        throw TransportError(TransportError::Reason::AdapterSilent,
                             "the GPIB adapter on " + where_ + " does not answer \"++ver\"");
    }
    answer->erase(std::remove(answer->begin(), answer->end(), '\0'), answer->end());
    version_ = TrimBlanks(*answer);
}

bool GpibAdapterTransport::IsQuery(std::string_view command) {
    command = WithoutLineEnd(command);
    // Each command of a ";" list has its header before the first blank.
    size_t start = 0;
    while (start <= command.size()) {
        const size_t end = std::min(command.find(';', start), command.size());
        std::string_view part = command.substr(start, end - start);
        part.remove_prefix(std::min(part.find_first_not_of(' '), part.size()));
        const std::string_view header = part.substr(0, part.find(' '));
        if (!header.empty() && header.back() == '?') {
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::string GpibAdapterTransport::Escaped(std::string_view command) {
    std::string out;
    for (const char c : WithoutLineEnd(command)) {
        if (c == '+' || c == kEscape || c == '\r' || c == '\n') {
            out += kEscape;
        }
        out += c;
    }
    return out + '\n';
}

bool GpibAdapterTransport::send(std::string_view bytes) {
    std::string out = Escaped(bytes);
    if (IsQuery(bytes)) {
        out += "++read eoi\n";
    }
    return link_->send(out);
}

void GpibAdapterTransport::clearAfterTimeout() {
    (void)link_->send("++clr\n"); // the instrument drops what it was doing
}

void GpibAdapterTransport::received(const char* bytes, size_t length) {
    // Most answers hold no NUL: handed on as they are, without a copy.
    if (std::memchr(bytes, '\0', length) == nullptr) {
        if (onReceive) {
            onReceive(bytes, length);
        }
        return;
    }
    std::string line(bytes, length);
    line.erase(std::remove(line.begin(), line.end(), '\0'), line.end());
    if (!line.empty() && onReceive) {
        onReceive(line.c_str(), line.size());
    }
}

} // namespace velmora
