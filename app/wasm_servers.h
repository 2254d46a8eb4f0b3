#pragma once

// The editor servers as a WebAssembly host drives them.

#include "wasm_host.h"

#include <memory>

namespace wren::wasm {

/// The language server, writing to the host's channel.
std::unique_ptr<HostedServer> LanguageServer();
/// The debug adapter, running continue in slices that the host asks for.
std::unique_ptr<HostedServer> DebugAdapter();
/// The grader: each message {"cases": PATH, "program": PATH, "seed": N}
/// is answered with the outcome of every case, as a student sees it, or
/// {"error": "CASES:LINE: message"}.
std::unique_ptr<HostedServer> Grader();

} // namespace wren::wasm
