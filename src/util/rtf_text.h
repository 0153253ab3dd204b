// The plain text of a rich-text (RTF) document, as notes stored by rich-text
// editors hold it: paragraphs become CR LF, groups that carry no text (font
// and colour tables, pictures, document information) are left out.
#pragma once

#include <string>
#include <string_view>

namespace zafirel {

// True when the text is an RTF document ("{\rtf" at its start).
bool IsRtf(std::string_view text);

// The document's text in ANSI; line breaks at its end are dropped. Damaged
// input gives what could be read, never an error.
std::string RtfToText(std::string_view rtf);

}  // namespace zafirel
