#include "wasm_servers.h"

#include "debug_adapter.h"
#include "language_server.h"

namespace wren::wasm {

namespace {

class HostedLanguageServer final : public HostedServer {
public:
    std::optional<int> Handle(const rpc::Incoming& incoming) override {
        return server_.Handle(incoming);
    }

private:
    lsp::LanguageServer server_{HostChannel()};
};

// One thread: the host runs a continue's slices between messages.
class HostedDebugAdapter final : public HostedServer {
public:
    std::optional<int> Handle(const rpc::Incoming& incoming) override {
        return adapter_.Handle(incoming) ? std::optional(0) : std::nullopt;
    }
    bool Busy() const override { return adapter_.Running(); }
    void Work() override { adapter_.RunSlice(); }

private:
    dap::DebugAdapter adapter_{HostChannel(), dap::Execution::Slices};
};

} // namespace

std::unique_ptr<HostedServer> LanguageServer() { return std::make_unique<HostedLanguageServer>(); }

std::unique_ptr<HostedServer> DebugAdapter() { return std::make_unique<HostedDebugAdapter>(); }

} // namespace wren::wasm
