// The page's engine: one WebAssembly module that serves as the language
// server, the debug adapter or the grader, whichever its worker names, so
// that the page carries the shared code once.

#include "wasm_servers.h"

#include <iostream>
#include <string_view>

int main(int argc, char** argv) {
    const std::string_view role = argc > 1 ? argv[1] : "";
    if (role == "lsp") {
        wren::wasm::Host(wren::wasm::LanguageServer());
    } else if (role == "dap") {
        wren::wasm::Host(wren::wasm::DebugAdapter());
    } else if (role == "grade") {
        wren::wasm::Host(wren::wasm::Grader());
    } else {
        std::cerr << "wren-web: name the server: lsp, dap or grade\n";
        return 64;
    }
    return 0;
}
