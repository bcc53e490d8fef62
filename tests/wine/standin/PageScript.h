#pragma once
// A page as the stand-in reads it: its <title> and the instructions of its
// stand-in script blocks (SCRIPT.md). Plain text work, no Windows calls, so
// the fetch threads may read pages too.

#include <string>
#include <vector>

namespace standin {

struct Area {
  int x = 0, y = 0, width = 0, height = 0;
  bool Contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};

struct Instruction {
  enum class Kind { Title, Frame, Fetch, Read, Call, After, Link, Submit, Poll, Report };
  Kind kind;
  std::string url;                // frame, fetch, after, link, submit (ACTION), poll, report
  std::string text;               // title's text; read, call and poll's method name
  std::vector<std::string> args;  // call's arguments; submit's NAME=VALUE fields
  std::string prefix;             // poll's
  int milliseconds = 0;           // after, poll
  Area area;                      // link, submit
};

struct PageScript {
  std::string title;  // the <title>'s text, or the last `title` instruction's
  std::vector<Instruction> instructions;
  std::vector<std::string> errors;  // lines that could not be followed, as written
};

PageScript ReadPage(const std::string& body);

// The words of one line: split on blanks, "…" quoting with \" and \\.
std::vector<std::string> SplitWords(const std::string& line);

}  // namespace standin
