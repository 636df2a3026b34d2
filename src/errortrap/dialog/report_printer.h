#pragma once
// Printing plain lines of text on the default printer, in a fixed-pitch font so that
// print zones line up. Each line is one printed line; a line wider than the page goes on
// over the next lines, and lines go on over new pages when a page is full. Without a
// printer nothing is printed and nothing is reported. A runtime whose services name a PDF
// file (services.h) prints there instead; tests read the printed text back from it.
#include <string>
#include <vector>

namespace wardline {

// Print zones are 14 columns wide: `item` appended at the start of the next zone.
void appendInNextZone(std::string& line, const std::string& item);

// Prints `lines` as one job; false when there was nowhere to print.
bool printLines(const std::vector<std::string>& lines);

}  // namespace wardline
