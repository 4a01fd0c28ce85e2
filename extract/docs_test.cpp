// Tests that the documents say what the program does.  Every line the
// program can print, each string of messages.h read from its source with
// its % fields as placeholders, must appear in the README, the manual page
// and the packages' READMEs; every exit status in those and in --help; and
// every line the README's tables quote must be one the program prints.  A
// message added, changed or removed without its documents fails here, with
// the document to fix named.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "extract/messages.h"
#include "platform/platform.h"

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

// A pattern that finds `format` in a document: its text as it stands, each
// % field any text, white space as any white space.
std::regex FormatPattern(std::string format) {
  if (!format.empty() && format.back() == '\n') format.pop_back();
  static const std::regex field("%[-0-9.]*[sdiuxX]");
  std::string pattern;
  std::size_t at = 0;
  for (auto f = std::sregex_iterator(format.begin(), format.end(), field);
       f != std::sregex_iterator(); ++f) {
    pattern += std::regex_replace(
        format.substr(at, static_cast<std::size_t>(f->position()) - at),
        std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
    pattern += ".+?";
    at = static_cast<std::size_t>(f->position() + f->length());
  }
  pattern += std::regex_replace(format.substr(at),
                                std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
  return std::regex(Squeeze(pattern));
}

enum class System { kBoth, kLinux, kWindows };

struct Document {
  const char* path;
  System system;  // whose lines and statuses it gives
  bool man;       // a manual page, in roff
};
const Document kDocuments[] = {
    {"README.md", System::kBoth, false},
    {"man/tamrek.1.in", System::kBoth, true},
    {"packaging/README-windows.txt", System::kWindows, false},
    {"packaging/README-linux.txt", System::kLinux, false},
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

// Every exit status as the documents of `system` write it: the signals' on
// Linux, Windows' interrupt status (STATUS_CONTROL_C_EXIT) on Windows.
std::vector<std::string> Statuses(System system) {
  std::vector<std::string> statuses = {"0", "1"};
  if (system != System::kLinux) statuses.push_back("0xC000013A");
  if (system == System::kWindows) return statuses;
  for (const std::uint32_t status : platform::InterruptStatuses()) {
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
      EXPECT_TRUE(std::regex_search(text, FormatPattern(value)))
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

TEST(DocsTest, EveryLineTheReadmeQuotesIsOneTheProgramPrints) {
  // The rows of the README's tables of lines: | when | stream | `line` |.
  const std::string readme = ReadSource("README.md");
  const std::regex row(R"(\n\|[^\n|]*\| (?:stdout|stderr) \| `([^`]*)` \|)");
  int rows = 0;
  for (auto r = std::sregex_iterator(readme.begin(), readme.end(), row);
       r != std::sregex_iterator(); ++r, ++rows) {
    const std::string line = (*r)[1];
    bool printed = false;
    for (const auto& [name, value] : Messages()) {
      const std::string pattern = Squeeze(value);
      printed =
          printed || std::regex_match(Squeeze(line), FormatPattern(value));
    }
    EXPECT_TRUE(printed) << "README.md quotes a line the program does not "
                            "print: "
                         << line;
  }
  EXPECT_GT(rows, 20);
}

}  // namespace
