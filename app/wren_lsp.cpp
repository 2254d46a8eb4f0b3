// wren-lsp: the language server for Wren program files, over standard input
// and output.

#include "cli_app.h"
#include "language_server.h"
#include "stream_channel.h"

#include <iostream>

int main(int argc, char** argv) {
    CLI::App app("Language server for Wren program files (Language Server Protocol 3.17 over "
                 "standard input and output).",
                 "wren-lsp");
    bool stdio = false;
    app.add_flag("--stdio", stdio,
                 "talk over standard input and output (the only way; accepted "
                 "for clients that pass it)");
    const int status = wren::cli::Parse(
        app,
        "An editor starts wren-lsp and talks to it; see wren-lsp(1) for the features and for\n"
        "each editor's settings.\n\n"
        "Exit status: 0 after shutdown and exit, 1 when the input ends without them.",
        argc, argv);
    if (status >= 0)
        return status;

    std::ios::sync_with_stdio(false);
    wren::rpc::StreamChannel channel(std::cin, std::cout);
    wren::lsp::LanguageServer server(channel);
    return server.Serve();
}
