#include "listing.h"

#include "wren.h"

#include <cstdio>

namespace wren::cli {

namespace {

const char* KindName(const RecordSummary& r) {
    switch (r.kind) {
    case RecordSummary::Kind::Comment: return "comment";
    case RecordSummary::Kind::Skipped: return r.span.begin == r.span.end ? "blank" : "skipped";
    case RecordSummary::Kind::Instruction: return "instruction";
    case RecordSummary::Kind::Data: return "data";
    }
    return "?";
}

} // namespace

std::string_view RecordText(const std::vector<std::string_view>& lines,
                            const RecordSummary& record) {
    const auto index = static_cast<std::size_t>(record.line - 1);
    return index < lines.size() ? ColumnText(lines[index], record.span) : std::string_view();
}

std::string ListingHeader() {
    char head[64];
    std::snprintf(head, sizeof head, "%5s  %6s  %11s  %-9s%s", "ADDR", "OPCODE", "OPERAND",
                  "LINE:COL", "RECORD");
    return head;
}

std::string ListingLine(const RecordSummary& record, std::string_view text, const Wren& cpu) {
    char head[48];
    if (record.TakesMemory())
        std::snprintf(head, sizeof head, "%5d  %6d  %11d", record.address,
                      cpu.Memory(record.address), cpu.Memory(record.address + 1));
    else
        std::snprintf(head, sizeof head, "%5s  %-19s", "-", KindName(record));
    std::string place = std::to_string(record.line) + ":" + std::to_string(record.span.begin);
    place.resize(std::max<std::size_t>(place.size() + 2, 9), ' ');
    return std::string(head) + "  " + place + std::string(text);
}

Json ListingJson(const RecordSummary& record, std::string_view text, const Wren& cpu) {
    Json object;
    object["line"] = record.line;
    object["column"] = record.span.begin;
    object["kind"] = KindName(record);
    object["text"] = std::string(text);
    if (record.TakesMemory()) {
        object["address"] = record.address;
        object["opcode"] = cpu.Memory(record.address);
        object["operand"] = cpu.Memory(record.address + 1);
    } else {
        object["address"] = nullptr;
    }
    return object;
}

} // namespace wren::cli
