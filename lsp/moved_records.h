#pragma once

// Addresses that follow an edit. The format has no labels: an inserted
// record moves every record after it by two words, and each operand that
// named one of those by its address now names another. This keeps, for one
// open document, which record each such operand named, across every edit,
// until the operand is updated or edited by hand.

#include "document_features.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace wren::lsp {

class MovedRecords {
public:
    /// Starts afresh from doc: nothing has moved.
    void Reset(const TextDocument& doc);
    /// After doc changed (the lines edited, 1-based, in the new text): finds
    /// the records that moved and the operands that named them.
    void Update(const TextDocument& doc, int firstEdited, int lastEdited);

    /// A hint on each operand that names where a record was, and a warning
    /// where the program grew over a word an operand uses as data.
    nlohmann::json Diagnostics(const TextDocument& doc) const;
    /// The quick fix of each mark in range; on a mark or an edited line, the
    /// fix-all ("Update 5 operands to their records' new addresses"), and
    /// one that also updates values equal to a moved record's old address.
    nlohmann::json Actions(DocumentRef ref, const nlohmann::json& range) const;

private:
    // A record that takes memory, as the tracker knows it across edits.
    struct Record {
        int id = 0;
        std::string text;      // as written, to match it across an edit
        std::size_t index = 0; // in the program map's records
        std::int32_t address = 0;
        std::int32_t value = 0;
        std::string mnemonic;
        bool jump = false; // BVS, or LDAi right before STApc
    };
    // An operand that names where a record was: the record, which of its
    // two words, and the address the operand still holds.
    struct Mark {
        int operand = 0;
        int target = 0; // kEnd: where the program ends
        std::int32_t word = 0;
        std::int32_t named = 0;
        bool value = false; // ADDi or LDAi: perhaps an address, perhaps not
    };
    // An operand whose word past the program the program now covers.
    struct OverData {
        int operand = 0;
        std::int32_t word = 0;
    };
    static constexpr int kEnd = 0;

    std::vector<Record> Records(const TextDocument& doc);
    const Record* ById(int id) const;
    void IndexRecords();
    std::int32_t AddressOf(const Mark& m) const;
    std::string Name(const TextDocument& doc, const Mark& m) const;
    nlohmann::json Fix(DocumentRef ref, const std::vector<const Mark*>& marks, std::string title,
                       const nlohmann::json& diagnostics) const;

    std::vector<Record> records_;
    std::unordered_map<int, std::size_t> byId_; // a record's id to its place in records_
    std::int32_t himem_ = 0;
    std::vector<Mark> marks_;
    std::vector<OverData> overData_;
    int firstEdited_ = 0, lastEdited_ = -1;
    int nextId_ = 1;
};

} // namespace wren::lsp
