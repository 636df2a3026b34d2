#pragma once
// The knowledge-base index "allmskb.txt": one article a line, by convention an article
// identifier, one blank and the article's title. A line's key is the text after its first
// blank (the whole line when it has none); only keys are searched, whole lines are shown.
#include <istream>
#include <optional>
#include <string>

namespace wardline {

inline constexpr const char* kKnowledgeBaseFile = "allmskb.txt";

// The index file in `folder`, its name matched without regard to case; nullopt when the
// folder has none.
std::optional<std::string> locateKnowledgeBase(const std::string& folder);

// The articles of `index` about the error whose number field reads `errNoCaption` (a
// blank and the number): keys that contain the error's standard text, or "ERROR" and the
// caption, compared in capitals. Returns the message the user is shown.
std::string searchKnowledgeBase(std::istream& index, const std::string& errNoCaption);

}  // namespace wardline
