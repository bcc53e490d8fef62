#include "PageScript.h"

#include <cstdlib>

namespace standin {
namespace {

constexpr char kScriptType[] = "text/x-kqv-standin";

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The text of every <script type="text/x-kqv-standin"> block, in order.
std::vector<std::string> ScriptBlocks(const std::string& body, const std::string& lower) {
  std::vector<std::string> blocks;
  size_t at = 0;
  while ((at = lower.find("<script", at)) != std::string::npos) {
    const size_t tagEnd = lower.find('>', at);
    if (tagEnd == std::string::npos) break;
    const std::string tag = lower.substr(at, tagEnd - at);
    const size_t end = lower.find("</script", tagEnd);
    if (end == std::string::npos) break;
    const size_t type = tag.find("type=");
    if (type != std::string::npos) {
      std::string value = tag.substr(type + 5);
      if (!value.empty() && (value[0] == '"' || value[0] == '\'')) {
        value = value.substr(1, value.find(value[0], 1) - 1);
      } else {
        value = value.substr(0, value.find_first_of(" \t\r\n/"));
      }
      if (value == kScriptType) blocks.push_back(body.substr(tagEnd + 1, end - tagEnd - 1));
    }
    at = end;
  }
  return blocks;
}

std::string TitleOf(const std::string& body, const std::string& lower) {
  const size_t open = lower.find("<title");
  if (open == std::string::npos) return {};
  const size_t start = lower.find('>', open);
  if (start == std::string::npos) return {};
  const size_t end = lower.find("</title>", start);
  if (end == std::string::npos) return {};
  return body.substr(start + 1, end - start - 1);
}

bool Number(const std::string& word, int& value) {
  if (word.empty() || word.size() > 9) return false;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
  }
  value = std::atoi(word.c_str());
  return true;
}

bool ReadArea(const std::vector<std::string>& words, Area& area) {
  return Number(words[1], area.x) && Number(words[2], area.y) && Number(words[3], area.width) &&
         Number(words[4], area.height);
}

// One line's instruction; false when it cannot be followed.
bool ReadLine(const std::vector<std::string>& words, Instruction& out) {
  const std::string& name = words[0];
  const size_t count = words.size();
  if (name == "title" && count >= 2) {
    out.kind = Instruction::Kind::Title;
    for (size_t i = 1; i < count; ++i) {
      if (i > 1) out.text += ' ';
      out.text += words[i];
    }
    return true;
  }
  if ((name == "frame" || name == "fetch" || name == "report") && count == 2) {
    out.kind = name == "frame"   ? Instruction::Kind::Frame
               : name == "fetch" ? Instruction::Kind::Fetch
                                 : Instruction::Kind::Report;
    out.url = words[1];
    return true;
  }
  if (name == "read" && count == 2) {
    out.kind = Instruction::Kind::Read;
    out.text = words[1];
    return true;
  }
  if (name == "call" && count >= 2) {
    out.kind = Instruction::Kind::Call;
    out.text = words[1];
    out.args.assign(words.begin() + 2, words.end());
    return true;
  }
  if (name == "after" && count == 4 && words[2] == "navigate") {
    out.kind = Instruction::Kind::After;
    out.url = words[3];
    return Number(words[1], out.milliseconds);
  }
  if (name == "link" && count == 6) {
    out.kind = Instruction::Kind::Link;
    out.url = words[5];
    return ReadArea(words, out.area);
  }
  if (name == "submit" && count >= 6) {
    out.kind = Instruction::Kind::Submit;
    out.url = words[5];
    for (size_t i = 6; i < count; ++i) {
      if (words[i].find('=') == std::string::npos) return false;
      out.args.push_back(words[i]);
    }
    return ReadArea(words, out.area);
  }
  if (name == "poll" && count == 5) {
    out.kind = Instruction::Kind::Poll;
    out.url = words[2];
    out.text = words[3];
    out.prefix = words[4];
    return Number(words[1], out.milliseconds) && out.milliseconds > 0;
  }
  return false;
}

}  // namespace

std::vector<std::string> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string word;
    if (line[i] == '"') {
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) ++i;
        word += line[i];
      }
      ++i;  // the closing quote
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') word += line[i++];
    }
    words.push_back(word);
  }
  return words;
}

PageScript ReadPage(const std::string& body) {
  const std::string lower = Lower(body);
  PageScript page;
  page.title = TitleOf(body, lower);
  for (const std::string& block : ScriptBlocks(body, lower)) {
    size_t start = 0;
    while (start <= block.size()) {
      size_t end = block.find('\n', start);
      if (end == std::string::npos) end = block.size();
      std::string line = block.substr(start, end - start);
      start = end + 1;
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
      const std::vector<std::string> words = SplitWords(line);
      if (words.empty() || words[0][0] == '#') continue;
      Instruction instruction{};
      if (!ReadLine(words, instruction)) {
        page.errors.push_back(line.substr(line.find_first_not_of(" \t")));
        continue;
      }
      if (instruction.kind == Instruction::Kind::Title) page.title = instruction.text;
      page.instructions.push_back(std::move(instruction));
    }
  }
  return page;
}

}  // namespace standin
