#include "errortrap/dialog/knowledge_base.h"

#include <filesystem>

#include "platform/conversions.h"
#include "platform/error_texts.h"
#include "platform/text.h"

namespace wardline {
namespace {

std::string keyOf(const std::string& line) {
    const auto blank = line.find(' ');
    return blank == std::string::npos ? line : line.substr(blank + 1);
}

}  // namespace

std::optional<std::string> locateKnowledgeBase(const std::string& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (platform::equalIgnoringCase(entry.path().filename().string(), kKnowledgeBaseFile) &&
            entry.is_regular_file(error))
            return entry.path().string();
    }
    return std::nullopt;
}

std::string searchKnowledgeBase(std::istream& index, const std::string& errNoCaption) {
    const auto number = static_cast<int32_t>(platform::leadingNumber(errNoCaption));
    const std::string message = platform::upperAscii(platform::standardErrorText(number));
    const std::string errorAndNumber = "ERROR" + errNoCaption;
    std::string hits;
    std::string line;
    while (std::getline(index, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string key = platform::upperAscii(keyOf(line));
        if (key.find(message) != std::string::npos || key.find(errorAndNumber) != std::string::npos)
            hits += "\r\n - " + line;
    }
    if (hits.empty())
        return "No matching article was found. Try searching the knowledge base for the error number.";
    return "The following knowledge base article(s) may contain information to assist you:\r\n" + hits;
}

}  // namespace wardline
