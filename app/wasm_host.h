#pragma once

// The servers built for WebAssembly: a JavaScript host around the module
// reads standard input and hands the bytes in, writes what the server sends,
// and gives a continue its slices between reads, on its one thread.

#include "message_channel.h"

#include <memory>
#include <optional>

namespace wren::wasm {

/// A server as the host drives it.
class HostedServer {
public:
    virtual ~HostedServer() = default;
    /// Answers one message; the exit status once the session is over.
    virtual std::optional<int> Handle(const rpc::Incoming& incoming) = 0;
    /// Whether work a message started goes on (a continue).
    virtual bool Busy() const { return false; }
    /// Does the next piece of that work.
    virtual void Work() {}
};

/// Where a hosted server writes: framed, to the host's standard output.
rpc::MessageChannel& HostChannel();

/// Hands server to the host, which feeds it from now on; main then returns.
void Host(std::unique_ptr<HostedServer> server);

} // namespace wren::wasm
