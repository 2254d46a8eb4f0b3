#pragma once

#include <QString>

namespace wren {
class Wren;
}

/// The listing shown in the window: " --> " and then one listing line, each
/// followed by CR LF, for every second location from PC below the smaller of
/// HiMem and PC + 20. The window's text box takes lineEnd "\n" instead.
QString ListingText(const wren::Wren& cpu, QStringView lineEnd = u"\r\n");
