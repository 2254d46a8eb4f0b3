// wren-lsp: the language server for Wren program files, over standard input
// and output.

#include "cli_app.h"
#include "language_server.h"
#include "stream_channel.h"

#include <iostream>

#if defined(__EMSCRIPTEN__)
#include "wasm_servers.h"
#endif

int main(int argc, char** argv) {
    CLI::App app("Language server for Wren program files (Language Server Protocol 3.17 over "
                 "standard input and output).",
                 "wren-lsp");
    bool stdio = false;
    app.add_flag("--stdio", stdio,
                 "talk over standard input and output (the only way; accepted "
                 "for clients that pass it)");
    // VS Code's client passes its process id to a server it starts as a
    // Node.js module; the server ends with its input all the same.
    long long clientProcessId = 0;
    app.add_option("--clientProcessId", clientProcessId,
                   "the editor's process id (accepted for clients that pass it)")
        ->type_name("PID");
    const int status = wren::cli::Parse(
        app,
        "An editor starts wren-lsp and talks to it; see wren-lsp(1) for the features and for\n"
        "each editor's settings.\n\n"
        "Exit status: 0 after shutdown and exit, 1 when the input ends without them.",
        argc, argv);
    if (status >= 0)
        return status;

#if defined(__EMSCRIPTEN__)
    wren::wasm::Host(wren::wasm::LanguageServer());
    return 0;
#else
    std::ios::sync_with_stdio(false);
    wren::rpc::StreamChannel channel(std::cin, std::cout);
    wren::lsp::LanguageServer server(channel);
    return server.Serve();
#endif
}
