// Tests that the documents say what the program does.  Every line the
// program can print, each string of messages.h read from its source with
// its % fields as placeholders, must appear in the manual page, the
// reference; every exit status there and in --help; every line the manual
// page quotes must be one the program prints; the README gives the exit
// statuses in short, and the packages' READMEs send their readers to the
// manual page.  A message added, changed or removed without its manual
// fails here.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "extract/messages.h"

namespace {

std::string ReadSource(const std::string& path) {
  std::ifstream in(std::string(TAMREK_SOURCE_DIR) + "/" + path,
                   std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return std::string(std::istreambuf_iterator<char>(in),
                     std::istreambuf_iterator<char>());
}

// `text` with every run of white space made one space.
std::string Squeeze(const std::string& text) {
  std::string out;
  for (const char ch : text) {
    const bool space = ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t';
    if (!space) {
      out += ch;
    } else if (!out.empty() && out.back() != ' ') {
      out += ' ';
    }
  }
  return out;
}

// The text of a manual page: font macros' arguments joined as roff joins
// them, escapes replaced, other requests dropped.
std::string ManText(const std::string& roff) {
  std::istringstream in(roff);
  std::string text;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(".SH ", 0) == 0 || line.rfind(".B ", 0) == 0 ||
        line.rfind(".I ", 0) == 0) {
      text += line.substr(line.find(' ') + 1) + "\n";
      continue;
    }
    if (!line.empty() && line[0] == '.') {
      // .BR, .RI and their like alternate fonts: the words are joined.
      if (line.size() < 4 || line[3] != ' ') continue;
      std::string joined;
      for (std::size_t i = 4; i < line.size();) {
        if (line[i] == ' ') {
          ++i;
        } else if (line[i] == '"') {
          const std::size_t end = line.find('"', i + 1);
          joined += line.substr(i + 1, end - i - 1);
          i = end == std::string::npos ? line.size() : end + 1;
        } else {
          const std::size_t end = line.find(' ', i);
          joined += line.substr(i, end - i);
          i = end == std::string::npos ? line.size() : end;
        }
      }
      text += joined + "\n";
      continue;
    }
    text += line + "\n";
  }
  for (const auto& [from, to] :
       std::vector<std::pair<std::string, std::string>>{{"\\(dq", "\""},
                                                        {"\\(rs", "\\"},
                                                        {"\\e", "\\"},
                                                        {"\\-", "-"},
                                                        {"\\fI", ""},
                                                        {"\\fR", ""},
                                                        {"\\fB", ""}}) {
    for (std::size_t at; (at = text.find(from)) != std::string::npos;) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

// The strings of messages.h as the program holds them, by name.
std::vector<std::pair<std::string, std::string>> Messages() {
  const std::string source = ReadSource("extract/messages.h");
  const std::regex constant(
      R"re(constexpr char (k\w+)\[\] =((?:\s*"(?:[^"\\]|\\.)*")+);)re");
  const std::regex literal(R"re("((?:[^"\\]|\\.)*)")re");
  std::vector<std::pair<std::string, std::string>> messages;
  for (auto m = std::sregex_iterator(source.begin(), source.end(), constant);
       m != std::sregex_iterator(); ++m) {
    std::string value;
    const std::string literals = (*m)[2];
    for (auto l =
             std::sregex_iterator(literals.begin(), literals.end(), literal);
         l != std::sregex_iterator(); ++l) {
      const std::string raw = (*l)[1];
      for (std::size_t i = 0; i < raw.size(); ++i) {
        const bool escape = raw[i] == '\\' && i + 1 < raw.size();
        const char ch = escape ? raw[++i] : raw[i];
        if (escape && ch == 'n') {
          value += '\n';
        } else if (escape && ch == 'x') {  // two hex digits: a byte
          value +=
              static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
          i += 2;
        } else {
          value += ch;  // a character, or one escaped as itself
        }
      }
    }
    messages.emplace_back((*m)[1], value);
  }
  return messages;
}

// `format` as the literal texts between its % fields, white space
// squeezed: "%s is created.\n" is {"", " is created."}.
std::vector<std::string> Literals(std::string format) {
  if (!format.empty() && format.back() == '\n') format.pop_back();
  static const std::regex field("%[-0-9.]*(?:ll|l|z)?[sdiuxX]");
  std::vector<std::string> literals;
  std::size_t at = 0;
  for (auto f = std::sregex_iterator(format.begin(), format.end(), field);
       f != std::sregex_iterator(); ++f) {
    literals.push_back(Squeeze(
        format.substr(at, static_cast<std::size_t>(f->position()) - at)));
    at = static_cast<std::size_t>(f->position() + f->length());
  }
  literals.push_back(Squeeze(format.substr(at)));
  return literals;
}

// Whether `literals[i..]` follow in `text` from `at`, each after a field of
// 1 to kFieldMax characters, and, when `whole`, end where `text` does.
constexpr std::size_t kFieldMax = 120;
bool FollowFrom(const std::string& text, std::size_t at,
                const std::vector<std::string>& literals, std::size_t i,
                bool whole) {
  if (i == literals.size()) return !whole || at == text.size();
  const std::string& literal = literals[i];
  if (literal.empty()) {  // a field at the end
    return whole ? text.size() > at && text.size() - at <= kFieldMax
                 : at < text.size();
  }
  for (std::size_t from = at + 1;
       from <= at + kFieldMax && from + literal.size() <= text.size(); ++from) {
    from = text.find(literal, from);
    if (from == std::string::npos || from > at + kFieldMax) return false;
    if (FollowFrom(text, from + literal.size(), literals, i + 1, whole)) {
      return true;
    }
  }
  return false;
}

// Whether `text` shows `format` (anywhere, or as the whole of it): its
// literal texts in order, any text of a line or so for each field.
bool Shows(const std::string& text, const std::string& format, bool whole) {
  const std::vector<std::string> literals = Literals(format);
  const std::string& first = literals.front();
  for (std::size_t at = whole ? 0 : text.find(first); at != std::string::npos;
       at = whole ? std::string::npos : text.find(first, at + 1)) {
    if (text.compare(at, first.size(), first) != 0) continue;
    // A field before the first literal takes at least one character.
    if (first.empty() && literals.size() > 1) {
      if (whole) return FollowFrom(text, 0, literals, 1, true);
      for (std::size_t next = text.find(literals[1], 1);
           next != std::string::npos; next = text.find(literals[1], next + 1)) {
        if (FollowFrom(text, next + literals[1].size(), literals, 2, false)) {
          return true;
        }
      }
      return false;
    }
    if (FollowFrom(text, at + first.size(), literals, 1, whole)) return true;
  }
  return false;
}

enum class System { kBoth, kLinux, kWindows };

struct Document {
  const char* path;
  System system;  // whose lines and statuses it gives
  bool man;       // a manual page, in roff
};
const Document kDocuments[] = {
    {"man/tamrek.1.in", System::kBoth, true},
};

// The lines to be documented: every message but the usage and open-failure
// bytes (their UTF-8 twins hold the same text) and the help and version
// texts (they are what --help and --version show); the Windows console's
// prompt only where Windows is.
bool Documented(const std::string& name, System system) {
  return name != "kUsageMessage" && name != "kOpenFailureMessage" &&
         name != "kHelpText" && name != "kVersionFormat" &&
         !(system == System::kLinux && name == "kPressEnterMessage");
}

// Every exit status as the documents of `system` write it: on Linux 128
// plus the number of each signal that ends a run after removing the file
// being placed (SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGTERM
// on Linux), on Windows the interrupt status (STATUS_CONTROL_C_EXIT).
std::vector<std::string> Statuses(System system) {
  std::vector<std::string> statuses = {"0", "1"};
  if (system != System::kLinux) statuses.push_back("0xC000013A");
  if (system == System::kWindows) return statuses;
  for (const int status : {129, 130, 131, 138, 140, 142, 143}) {
    statuses.push_back(std::to_string(status));
  }
  return statuses;
}

TEST(DocsTest, EveryLineAndStatusIsDocumented) {
  for (const Document& document : kDocuments) {
    const std::string source = ReadSource(document.path);
    const std::string text = Squeeze(document.man ? ManText(source) : source);
    for (const auto& [name, value] : Messages()) {
      if (!Documented(name, document.system)) continue;
      EXPECT_TRUE(Shows(text, value, false))
          << document.path << " does not show the line " << name << ": "
          << value;
    }
    for (const std::string& status : Statuses(document.system)) {
      EXPECT_TRUE(std::regex_search(text, std::regex("\\b" + status + "\\b")))
          << document.path << " does not give the exit status " << status;
    }
  }
  for (const std::string& status : Statuses(System::kBoth)) {
    EXPECT_TRUE(std::regex_search(std::string(kHelpText),
                                  std::regex("\\b" + status + "\\b")))
        << "--help (kHelpText) does not give the exit status " << status;
  }
}

TEST(DocsTest, EveryLineTheManualQuotesIsOneTheProgramPrints) {
  // The manual quotes each line in double quotes, ending in its full stop.
  const std::string text = Squeeze(ManText(ReadSource("man/tamrek.1.in")));
  const std::regex quoted("\"([A-Z][^\"]*\\.)\"");
  int quotes = 0;
  for (auto q = std::sregex_iterator(text.begin(), text.end(), quoted);
       q != std::sregex_iterator(); ++q, ++quotes) {
    const std::string line = (*q)[1];
    bool printed = false;
    for (const auto& [name, value] : Messages()) {
      printed = printed || Shows(line, value, true);
    }
    EXPECT_TRUE(printed) << "the manual page quotes a line the program does "
                            "not print: "
                         << line;
  }
  EXPECT_GT(quotes, 20);
}

TEST(DocsTest, TheReadmesGiveTheStatusesAndSendReadersToTheManual) {
  const std::string readme = Squeeze(ReadSource("README.md"));
  for (const char* status : {"| 0 |", "| 1 |", "129 to 143", "0xC000013A"}) {
    EXPECT_NE(readme.find(status), std::string::npos)
        << "README.md does not give the exit status " << status;
  }
  EXPECT_NE(readme.find("man tamrek"), std::string::npos);
  EXPECT_NE(
      Squeeze(ReadSource("packaging/README-linux.txt")).find("man tamrek"),
      std::string::npos);
  EXPECT_NE(
      Squeeze(ReadSource("packaging/README-windows.txt")).find("MANUAL.txt"),
      std::string::npos);
}

}  // namespace
