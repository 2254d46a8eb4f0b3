#pragma once

#include <stdexcept>
#include <string>

namespace wren::rpc {

/// JSON-RPC error codes, and the language server protocol's own.
namespace error_code {
inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
inline constexpr int kInternalError = -32603;
inline constexpr int kServerNotInitialized = -32002;
} // namespace error_code

/// A request that cannot be answered with a result; the server answers it
/// with this code and message instead.
class ProtocolError : public std::runtime_error {
public:
    ProtocolError(int code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
    int Code() const noexcept { return code_; }

private:
    int code_;
};

} // namespace wren::rpc
