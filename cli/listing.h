#pragma once

#include "program_map.h"
#include "run_report.h"

#include <string>
#include <string_view>
#include <vector>

namespace wren {
class Wren;
}

namespace wren::cli {

/// One line of an address listing: the address and the two words a record
/// loaded, where it stands and its text; "-" and a word on why for records
/// that take no memory (a comment, a skipped record, a blank).
std::string ListingLine(const RecordSummary& record, std::string_view text, const Wren& cpu);
/// The column titles above the lines.
std::string ListingHeader();
/// The same as one JSON object.
Json ListingJson(const RecordSummary& record, std::string_view text, const Wren& cpu);

/// The record's text from the program's lines.
std::string_view RecordText(const std::vector<std::string_view>& lines,
                            const RecordSummary& record);

} // namespace wren::cli
