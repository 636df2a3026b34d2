#include "platform/help_file.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "platform/app_object.h"
#include "platform/text.h"

namespace platform {
namespace {

// The context number of a topic marker line "[N]", or nullopt for any other line.
std::optional<int32_t> topicMarker(std::string_view line) {
    line = trimmed(line, kBlanks);
    if (line.size() < 3 || line.front() != '[' || line.back() != ']') return std::nullopt;
    const std::string_view digits = line.substr(1, line.size() - 2);
    int32_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return number;
}

bool readLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

std::string joinBody(std::vector<std::string> lines) {
    while (!lines.empty() && trimmed(lines.back(), kBlanks).empty()) lines.pop_back();
    std::size_t first = 0;
    while (first < lines.size() && trimmed(lines[first], kBlanks).empty()) ++first;
    std::string body;
    for (std::size_t i = first; i < lines.size(); ++i) {
        if (i > first) body += '\n';
        body += lines[i];
    }
    return body;
}

bool standsAlone(std::string_view line) {
    return line.front() == ' ' || line.front() == '\t' || line.starts_with("- ");
}

}  // namespace

std::string reflowHelpText(const std::string& body) {
    std::string text;
    bool paragraphEnded = true;
    std::size_t start = 0;
    while (start <= body.size()) {
        const auto end = std::min(body.find('\n', start), body.size());
        const std::string_view line(body.data() + start, end - start);
        start = end + 1;
        if (trimmed(line, kBlanks).empty()) {
            if (!text.empty() && !paragraphEnded) text += "\n\n";
            paragraphEnded = true;
            continue;
        }
        if (!paragraphEnded) text += standsAlone(line) ? "\n" : " ";
        text += standsAlone(line) ? line : trimmed(line, kBlanks);
        paragraphEnded = false;
    }
    return text;
}

std::optional<HelpTopic> findHelpTopic(std::istream& in, int32_t context) {
    std::string line;
    bool inTopic = false;
    bool haveTitle = false;
    HelpTopic topic;
    std::vector<std::string> body;
    while (readLine(in, line)) {
        const auto marker = topicMarker(line);
        if (marker) {
            if (inTopic) break;
            inTopic = *marker == context;
            continue;
        }
        if (!inTopic) continue;
        if (!haveTitle) {
            topic.title = std::string(trimmed(line, kBlanks));
            haveTitle = true;
        } else {
            body.push_back(line);
        }
    }
    if (!inTopic) return std::nullopt;
    topic.context = context;
    topic.body = joinBody(std::move(body));
    return topic;
}

namespace {

// `file` with the application folder put before a bare name.
std::string resolveHelpFile(const std::string& file) {
    if (file.empty() || file.find('/') != std::string::npos) return file;
    return app().exeFolder() + "/" + file;  // help files ship beside the program
}

}  // namespace

HelpLookupResult lookUpHelpTopic(const std::string& file, int32_t context) {
    HelpLookupResult result;
    if (file.empty()) return result;
    result.path = resolveHelpFile(file);
    std::error_code error;
    std::ifstream in;
    if (std::filesystem::is_regular_file(result.path, error)) in.open(result.path, std::ios::binary);
    if (!in.is_open()) {
        result.status = HelpLookup::FileMissing;
        return result;
    }
    auto topic = findHelpTopic(in, context);
    result.status = topic ? HelpLookup::Found : HelpLookup::TopicMissing;
    if (topic) result.topic = std::move(*topic);
    return result;
}

}  // namespace platform
