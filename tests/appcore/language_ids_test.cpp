// Every text id the program asks the language tables for has a text in
// the shipped English files. The ids are gathered from the sources: calls
// that read a table by id (with a number or a named constant), the message
// constants (kMsg...), and the DIALOGS calls of the dialogs; the few ids
// the code computes are listed here. The files are read with the reader
// the program uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "appcore/language.h"
#include "appcore/text_table.h"
#include "tests/support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr int kEnglish = 44;

// An id the program asks for, and where.
struct Use {
  std::string table;  // MESSAGES, DIALOGS or LOGSTRS
  int id;
  std::string where;
  bool operator<(const Use& o) const { return std::tie(table, id, where) < std::tie(o.table, o.id, o.where); }
};

// Ids the sources compute rather than name: a first id and a count.
struct Computed {
  const char* table;
  int first, count;
  const char* where;
};
const Computed kComputed[] = {
    {"MESSAGES", 1113, 6, "dnc/control_window.cpp: the port status texts"},
};

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Trim(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.erase(s.begin());
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  return s;
}

bool IsNumber(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos && s.size() < 9;
}

bool IsName(const std::string& s) {
  if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  for (char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != ':') return false;
  return true;
}

// The top-level arguments of the call whose '(' is at `open`.
std::vector<std::string> Arguments(const std::string& text, std::size_t open) {
  std::vector<std::string> args;
  std::string cur;
  int depth = 0;
  for (std::size_t i = open + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"' || c == '\'') {  // a literal: skipped whole
      for (++i; i < text.size() && text[i] != c; ++i)
        if (text[i] == '\\') ++i;
      cur += "?";
      continue;
    }
    if (c == '(' || c == '[' || c == '{') ++depth;
    if (c == ')' || c == ']' || c == '}') {
      if (depth == 0) {
        args.push_back(Trim(cur));
        return args;
      }
      --depth;
    }
    if (c == ',' && depth == 0) {
      args.push_back(Trim(cur));
      cur.clear();
      continue;
    }
    cur += c;
  }
  return {};
}

class IdWalker {
 public:
  explicit IdWalker(const fs::path& root) {
    for (const char* dir : {"app", "appcore", "dbmodel", "editor", "storage", "dnc", "masterdata", "compare", "report"}) {
      if (!fs::is_directory(root / dir)) continue;
      for (const auto& e : fs::recursive_directory_iterator(root / dir)) {
        const auto ext = e.path().extension();
        if (e.is_regular_file() && (ext == ".cpp" || ext == ".h"))
          files_.emplace_back(fs::relative(e.path(), root).string(), ReadFile(e.path()));
      }
    }
    for (const auto& [name, text] : files_) GatherConstants(name, text);
    for (const auto& [name, text] : files_) GatherUses(name, text);
    for (const Computed& c : kComputed)
      for (int i = 0; i < c.count; ++i) uses_.insert({c.table, c.first + i, c.where});
  }
  const std::set<Use>& Uses() const { return uses_; }
  std::size_t Files() const { return files_.size(); }

 private:
  // Comments taken out of a declaration, line by line.
  static std::string WithoutComments(const std::string& decl) {
    std::stringstream in(decl);
    std::string out;
    for (std::string line; std::getline(in, line);) out += line.substr(0, line.find("//")) + "\n";
    return out;
  }

  // "constexpr int kA = 1, kB = 2;" and "enum ... { kA = 1, kB = 2 }"
  // anywhere; the message constants (kMsg...) are MESSAGES ids wherever
  // they are used.
  void GatherConstants(const std::string& file, const std::string& text) {
    for (std::size_t at = 0; (at = text.find("constexpr int ", at)) != std::string::npos;) {
      at += 14;
      std::size_t end = text.find(';', at);
      if (end == std::string::npos) break;
      GatherItems(file, text.substr(at, end - at));
    }
    for (std::size_t at = 0; (at = text.find("enum", at)) != std::string::npos;) {
      at += 4;
      const std::size_t open = text.find('{', at), semi = text.find(';', at);
      if (open == std::string::npos || (semi != std::string::npos && semi < open)) continue;
      const std::size_t close = text.find('}', open);
      if (close == std::string::npos) break;
      GatherItems(file, WithoutComments(text.substr(open + 1, close - open - 1)));
      at = close;
    }
  }

  void GatherItems(const std::string& file, const std::string& items) {
    std::stringstream decl(items);
    for (std::string item; std::getline(decl, item, ',');) {
      const std::size_t eq = item.find('=');
      if (eq == std::string::npos) continue;
      std::string name = Trim(item.substr(0, eq)), value = Trim(item.substr(eq + 1));
      if (const std::size_t c = value.find("//"); c != std::string::npos) value = Trim(value.substr(0, c));
      if (!IsName(name) || !IsNumber(value)) continue;
      constants_[name] = std::stoi(value);
      fileConstants_[file][name] = std::stoi(value);
      if (name.rfind("kMsg", 0) == 0) uses_.insert({"MESSAGES", std::stoi(value), file + ": " + name});
    }
  }

  // A number, or a constant of the file (else of any file).
  std::optional<int> Value(const std::string& file, std::string arg) const {
    arg = Trim(arg);
    if (IsNumber(arg)) return std::stoi(arg);
    if (!IsName(arg)) return std::nullopt;
    const std::size_t colon = arg.rfind("::");
    if (colon != std::string::npos) arg = arg.substr(colon + 2);
    if (auto f = fileConstants_.find(file); f != fileConstants_.end())
      if (auto it = f->second.find(arg); it != f->second.end()) return it->second;
    auto it = constants_.find(arg);
    if (it == constants_.end()) return std::nullopt;
    return it->second;
  }

  // Every number or constant in an argument such as "done ? 1 : 2".
  std::vector<int> Values(const std::string& file, const std::string& arg) const {
    std::vector<int> out;
    std::string token;
    auto flush = [&] {
      if (auto v = Value(file, token)) out.push_back(*v);
      token.clear();
    };
    for (char c : arg + " ") {
      if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':')
        token += c;
      else
        flush();
    }
    return out;
  }

  void Calls(const std::string& file, const std::string& text, const std::string& call,
             const std::function<void(const std::vector<std::string>&, const std::string&)>& take) {
    for (std::size_t at = 0; (at = text.find(call, at)) != std::string::npos; at += call.size()) {
      // The name must start there: "LogMessage(" is no "Message(".
      if (at > 0 && (std::isalnum(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '_')) continue;
      const std::size_t line = 1 + std::count(text.begin(), text.begin() + static_cast<long>(at), '\n');
      auto args = Arguments(text, at + call.size() - 1);
      if (!args.empty()) take(args, file + ":" + std::to_string(line));
    }
  }

  void GatherUses(const std::string& file, const std::string& text) {
    auto one = [&](const char* table, std::size_t index) {
      return [this, &file, table, index](const std::vector<std::string>& args, const std::string& where) {
        if (index < args.size())
          if (auto v = Value(file, args[index])) uses_.insert({table, *v, where});
      };
    };
    Calls(file, text, "GetMessageText(", one("MESSAGES", 0));
    Calls(file, text, "MessageTexts.Get(", one("MESSAGES", 0));
    Calls(file, text, "MessageTexts.Has(", one("MESSAGES", 0));
    Calls(file, text, "LanguageText(Globals->MessageTexts,", one("MESSAGES", 0));
    Calls(file, text, "SetItemText(", one("DIALOGS", 1));
    Calls(file, text, "SetCaptionText(", one("DIALOGS", 0));
    Calls(file, text, "DialogText(", one("DIALOGS", 0));
    Calls(file, text, "DialogTexts.Get(", one("DIALOGS", 0));
    Calls(file, text, "DialogTexts.Has(", one("DIALOGS", 0));
    Calls(file, text, "SetItemTexts(", [&](const std::vector<std::string>& args, const std::string& where) {
      if (args.size() < 3) return;
      auto first = Value(file, args[1]), count = Value(file, args[2]);
      if (first && count)
        for (int i = 0; i < *count; ++i) uses_.insert({"DIALOGS", *first + i, where});
    });
    for (const char* call : {"WriteLog(", "FormatLogText("})
      Calls(file, text, call, [&](const std::vector<std::string>& args, const std::string& where) {
        for (int v : Values(file, args[0])) uses_.insert({"LOGSTRS", v, where});
      });
  }

  std::vector<std::pair<std::string, std::string>> files_;
  std::map<std::string, int> constants_;
  std::map<std::string, std::map<std::string, int>> fileConstants_;
  std::set<Use> uses_;
};

// The English texts of a language file, read as the program reads it.
TextTable ReadTable(const fs::path& file, LanguageEscape esc) {
  TextTable table(2000);
  LanguageBlockReader reader(table, kEnglish, esc);
  std::ifstream in(file, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!reader.Feed(line)) break;
  }
  return table;
}

// The uses whose id has no text in the files of `dir`.
std::vector<Use> Missing(const std::set<Use>& uses, const fs::path& dir) {
  std::map<std::string, TextTable> tables;
  tables.emplace("MESSAGES", ReadTable(dir / "MESSAGES.CFG", LanguageEscape::CrLf));
  tables.emplace("DIALOGS", ReadTable(dir / "DIALOGS.CFG", LanguageEscape::None));
  tables.emplace("LOGSTRS", ReadTable(dir / "LOGSTRS.CFG", LanguageEscape::None));
  std::vector<Use> missing;
  for (const Use& u : uses)
    if (!tables.at(u.table).Has(u.id)) missing.push_back(u);
  return missing;
}

std::string Describe(const std::vector<Use>& uses) {
  std::string out;
  for (const Use& u : uses) out += u.table + " " + std::to_string(u.id) + " (" + u.where + ")\n";
  return out;
}

class LanguageIds : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { walker_ = new IdWalker(KV_SOURCE_DIR); }
  static void TearDownTestSuite() {
    delete walker_;
    walker_ = nullptr;
  }
  static fs::path Shipped() { return fs::path(KV_SOURCE_DIR) / "resources" / "lang"; }
  static IdWalker* walker_;
};
IdWalker* LanguageIds::walker_ = nullptr;

TEST_F(LanguageIds, EveryIdTheSourcesUseHasAnEnglishText) {
  ASSERT_GT(walker_->Files(), 100u);
  // The walk finds ids of every kind, in the forms the sources write them.
  const std::set<Use>& uses = walker_->Uses();
  for (const Use& known : {Use{"MESSAGES", 309, ""}, Use{"MESSAGES", 1136, ""}, Use{"MESSAGES", 164, ""},
                           Use{"LOGSTRS", 2, ""}, Use{"LOGSTRS", 28, ""}, Use{"DIALOGS", 644, ""}}) {
    bool found = false;
    for (const Use& u : uses) found |= u.table == known.table && u.id == known.id;
    EXPECT_TRUE(found) << known.table << " " << known.id;
  }
  const auto missing = Missing(uses, Shipped());
  EXPECT_TRUE(missing.empty()) << "ids without an English text:\n" << Describe(missing);
}

// The check catches a text taken out of a file.
TEST_F(LanguageIds, AnIdRemovedFromAFileIsFound) {
  kvtest::ScratchDir dir("kv-lang");
  for (const char* name : {"MESSAGES.CFG", "DIALOGS.CFG", "LOGSTRS.CFG"}) {
    std::string text = ReadFile(Shipped() / name);
    if (std::string(name) == "MESSAGES.CFG") {
      const std::size_t at = text.find("\n44,309,");
      ASSERT_NE(at, std::string::npos);
      text.erase(at + 1, text.find('\n', at + 1) - at);
    }
    dir.write(name, text);
  }
  const auto missing = Missing(walker_->Uses(), dir.path());
  ASSERT_FALSE(missing.empty());
  for (const Use& u : missing) {
    EXPECT_EQ(u.table, "MESSAGES");
    EXPECT_EQ(u.id, 309);
  }
}

}  // namespace
