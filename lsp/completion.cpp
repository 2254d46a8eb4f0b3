#include "document_features.h"

#include "opcodes.h"

namespace wren::lsp {

namespace {

constexpr int kKeyword = 14;

} // namespace

nlohmann::json Completion(DocumentRef ref, Position position) {
    auto items = nlohmann::json::array();
    const int column = ref.doc.ToColumn(position);
    const std::string_view before = ref.doc.Slice(position.line + 1, {1, column});
    // The record being typed starts after the last comma, blanks skipped.
    const std::size_t comma = before.rfind(',');
    std::string_view typed = comma == std::string_view::npos ? before : before.substr(comma + 1);
    typed.remove_prefix(std::min(typed.size(), typed.find_first_not_of(" \t")));
    if (typed.find_first_of(" \t{\"") != std::string_view::npos)
        return items;
    for (const OpcodeInfo& info : kOpcodes) {
        items.push_back(
            {{"label", info.mnemonic},
             {"kind", kKeyword},
             {"detail", "opcode " + std::to_string(info.opcode) + ", " +
                            std::to_string(info.cycles) + " cycles"},
             {"documentation", {{"kind", "markdown"}, {"value", std::string(info.effect)}}}});
    }
    return items;
}

} // namespace wren::lsp
