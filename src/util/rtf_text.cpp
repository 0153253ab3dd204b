#include "util/rtf_text.h"

#include <cctype>
#include <vector>

namespace zafirel {

namespace {

bool IsSkippedDestination(std::string_view word) {
  static constexpr std::string_view kSkipped[] = {"fonttbl",      "colortbl",
                                                  "stylesheet",   "info",
                                                  "pict",         "object",
                                                  "header",       "footer",
                                                  "headerl",      "headerr",
                                                  "footerl",      "footerr",
                                                  "listtable",    "listoverridetable",
                                                  "themedata",    "datastore",
                                                  "latentstyles", "rsidtbl",
                                                  "generator",    "xmlnstbl",
                                                  "filetbl"};
  for (std::string_view s : kSkipped)
    if (word == s) return true;
  return false;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct GroupState {
  bool skip = false;
  int unicodeSkip = 1;  // characters standing in for each \u
};

}  // namespace

bool IsRtf(std::string_view text) { return text.substr(0, 5) == "{\\rtf"; }

std::string RtfToText(std::string_view rtf) {
  std::string out;
  std::vector<GroupState> stack{GroupState{}};
  int pendingSkip = 0;  // stand-in characters still to drop after a \u
  auto emit = [&](char c) {
    if (pendingSkip > 0) {
      --pendingSkip;
      return;
    }
    if (!stack.back().skip) out += c;
  };
  std::size_t i = 0;
  const std::size_t n = rtf.size();
  while (i < n) {
    const char c = rtf[i];
    if (c == '{') {
      // Bound the nesting: damaged input must not grow the stack without end.
      if (stack.size() < 1000) stack.push_back(stack.back());
      pendingSkip = 0;
      ++i;
    } else if (c == '}') {
      if (stack.size() > 1) stack.pop_back();
      pendingSkip = 0;
      ++i;
    } else if (c == '\r' || c == '\n') {
      ++i;
    } else if (c != '\\') {
      emit(c);
      ++i;
    } else if (i + 1 >= n) {
      ++i;
    } else {
      const char next = rtf[i + 1];
      if (next == '\\' || next == '{' || next == '}') {
        emit(next);
        i += 2;
      } else if (next == '\'') {
        const int hi = i + 2 < n ? HexValue(rtf[i + 2]) : -1;
        const int lo = i + 3 < n ? HexValue(rtf[i + 3]) : -1;
        if (hi >= 0 && lo >= 0) {
          emit(static_cast<char>(hi * 16 + lo));
          i += 4;
        } else {
          i += 2;
        }
      } else if (next == '*') {
        stack.back().skip = true;
        i += 2;
      } else if (next == '~') {
        emit(' ');
        i += 2;
      } else if (next == '\r' || next == '\n') {
        emit('\r');
        emit('\n');
        i += 2;
      } else if (std::isalpha(static_cast<unsigned char>(next))) {
        std::size_t j = i + 1;
        while (j < n && std::isalpha(static_cast<unsigned char>(rtf[j])) && j - i < 40) ++j;
        const std::string_view word = rtf.substr(i + 1, j - i - 1);
        bool hasParam = false;
        long param = 0;
        bool negative = false;
        if (j < n && rtf[j] == '-') {
          negative = true;
          ++j;
        }
        while (j < n && std::isdigit(static_cast<unsigned char>(rtf[j]))) {
          if (param < 1000000) param = param * 10 + (rtf[j] - '0');
          hasParam = true;
          ++j;
        }
        if (negative) param = -param;
        if (j < n && rtf[j] == ' ') ++j;  // the delimiter belongs to the word
        i = j;
        if (word == "par" || word == "line") {
          emit('\r');
          emit('\n');
        } else if (word == "tab") {
          emit('\t');
        } else if (word == "uc" && hasParam) {
          stack.back().unicodeSkip = static_cast<int>(param < 0 ? 0 : param > 8 ? 8 : param);
        } else if (word == "u" && hasParam) {
          const long code = param < 0 ? param + 65536 : param;
          emit(code >= 0 && code < 256 ? static_cast<char>(code) : '?');
          pendingSkip = stack.back().unicodeSkip;
        } else if (IsSkippedDestination(word)) {
          stack.back().skip = true;
        }
      } else {
        i += 2;  // a control symbol that carries no text
      }
    }
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

}  // namespace zafirel
