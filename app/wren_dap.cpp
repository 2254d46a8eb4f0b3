// wren-dap: the debug adapter for Wren programs, over standard input and
// output.

#include "cli_app.h"
#include "debug_adapter.h"
#include "stream_channel.h"

#include <iostream>

#if defined(__EMSCRIPTEN__)
#include "wasm_servers.h"
#endif

int main(int argc, char** argv) {
    CLI::App app("Debug adapter for Wren programs (Debug Adapter Protocol over standard input and "
                 "output).",
                 "wren-dap");
    const int status = wren::cli::Parse(
        app,
        "An editor starts wren-dap and talks to it; see wren-dap(1) for the launch arguments and\n"
        "what each view shows.",
        argc, argv);
    if (status >= 0)
        return status;

#if defined(__EMSCRIPTEN__)
    wren::wasm::Host(wren::wasm::DebugAdapter());
    return 0;
#else
    std::ios::sync_with_stdio(false);
    wren::rpc::StreamChannel channel(std::cin, std::cout);
    wren::dap::DebugAdapter adapter(channel);
    return adapter.Serve();
#endif
}
