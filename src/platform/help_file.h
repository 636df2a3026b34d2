#pragma once
// Help files: plain text in which a line "[N]" starts topic N (N a decimal help context
// number, blanks around the line allowed). The line after the marker is the topic's
// title; the lines after that, up to the next marker or the end of the file, are its body.
// Lines before the first marker are the file's own notes and belong to no topic. When a
// number is used twice, the first topic wins. Lines may end in LF or CR LF.
//
// In a body, consecutive lines form one paragraph, shown rewrapped to the window; an empty
// line ends a paragraph, and a line that starts with a blank or with "- " stands on a
// line of its own (lists, examples).
#include <cstdint>
#include <istream>
#include <optional>
#include <string>

namespace platform {

struct HelpTopic {
    int32_t context = 0;
    std::string title;
    std::string body;  // lines joined by "\n", without leading or trailing empty lines
};

// Topic `context` of the help text in `in`; nullopt when it has none.
std::optional<HelpTopic> findHelpTopic(std::istream& in, int32_t context);

// The body as it is shown: each paragraph on one line, paragraphs separated by an empty
// line, lines of their own kept.
std::string reflowHelpText(const std::string& body);

// Why a topic could not be shown.
enum class HelpLookup { Found, NoFile, FileMissing, TopicMissing };

struct HelpLookupResult {
    HelpLookup status = HelpLookup::NoFile;
    std::string path;  // the file that was looked at
    HelpTopic topic;   // filled when status is Found
};

// Topic `context` of help file `file`. A file named without a folder is looked for in
// the application folder.
HelpLookupResult lookUpHelpTopic(const std::string& file, int32_t context);

}  // namespace platform
