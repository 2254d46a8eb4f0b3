#include "wasm_host.h"

#include "frame_reader.h"

#include <emscripten.h>

#include <string>
#include <string_view>

namespace wren::wasm {

namespace {

// The host copies the bytes at once: the module's memory may move later.
EM_JS(void, HostWrite, (const char* data, std::size_t size),
      { Module.hostWrite(HEAPU8.subarray(data, data + size)); });

class Channel final : public rpc::MessageChannel {
public:
    // The host pushes bytes in; nothing here ever waits for them.
    rpc::Incoming Read() override { return {}; }
    void Write(const nlohmann::json& message) override {
        const std::string framed = rpc::Frame(message);
        HostWrite(framed.data(), framed.size());
    }
};

Channel channel;
std::unique_ptr<HostedServer> hosted;
rpc::FrameReader reader;

constexpr int kGoOn = -1;

// Answers every message the bytes so far complete.
int Drain() {
    while (std::optional<rpc::Incoming> next = reader.Next()) {
        const std::optional<int> status = hosted->Handle(*next);
        if (status) {
            hosted.reset();
            return *status;
        }
    }
    return kGoOn;
}

} // namespace

rpc::MessageChannel& HostChannel() { return channel; }

void Host(std::unique_ptr<HostedServer> server) { hosted = std::move(server); }

} // namespace wren::wasm

using wren::wasm::hosted;

// What the JavaScript host calls. Each returns the exit status once the
// server is done, and -1 while it goes on.
extern "C" {

/// Whether main handed a server over (not after --help, say).
EMSCRIPTEN_KEEPALIVE int wren_host_serving() { return hosted ? 1 : 0; }

EMSCRIPTEN_KEEPALIVE int wren_host_feed(const char* data, std::size_t size) {
    if (!hosted)
        return 1;
    wren::wasm::reader.Feed(std::string_view(data, size));
    return wren::wasm::Drain();
}

EMSCRIPTEN_KEEPALIVE int wren_host_end() {
    if (!hosted)
        return 1;
    wren::wasm::reader.End();
    return wren::wasm::Drain();
}

EMSCRIPTEN_KEEPALIVE int wren_host_busy() { return hosted && hosted->Busy() ? 1 : 0; }

EMSCRIPTEN_KEEPALIVE void wren_host_work() {
    if (hosted)
        hosted->Work();
}

} // extern "C"
