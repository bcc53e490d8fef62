#include "ui/PageText.h"

#include <vector>

namespace ui {

namespace {

// The explicit direction formatting characters, all three bytes in UTF-8:
// E2 80 AA..AE (LRE, RLE, PDF, LRO, RLO) and E2 81 A6..A9 (LRI, RLI, FSI, PDI).
constexpr std::string_view kPdf = "\u202C";
constexpr std::string_view kFsi = "\u2068";
constexpr std::string_view kPdi = "\u2069";

enum class Mark { None, OpenEmbedding, CloseEmbedding, OpenIsolate, CloseIsolate };

Mark MarkAt(std::string_view text, std::size_t i) {
  if (i + 3 > text.size() || static_cast<unsigned char>(text[i]) != 0xE2) return Mark::None;
  const auto second = static_cast<unsigned char>(text[i + 1]);
  const auto third = static_cast<unsigned char>(text[i + 2]);
  if (second == 0x80) {
    if (third == 0xAC) return Mark::CloseEmbedding;
    if (third >= 0xAA && third <= 0xAE) return Mark::OpenEmbedding;
  } else if (second == 0x81) {
    if (third == 0xA9) return Mark::CloseIsolate;
    if (third >= 0xA6 && third <= 0xA8) return Mark::OpenIsolate;
  }
  return Mark::None;
}

bool StartsCharacter(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }

}  // namespace

std::string_view LaidOutPart(std::string_view text, std::size_t maxChars) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (StartsCharacter(text[i]) && characters++ == maxChars) return text.substr(0, i);
  }
  return text;
}

std::string IsolatePageText(std::string_view text) {
  if (text.empty()) return {};
  std::string out;
  out.reserve(text.size() + 16);
  out += kFsi;
  // What the page opened and has not closed yet, innermost last, following
  // the pairing rules of the bidirectional algorithm: a PDF closes only an
  // embedding or override opened inside the current isolate, a PDI closes its
  // isolate and everything opened inside it.
  std::vector<Mark> open;
  for (std::size_t i = 0; i < text.size();) {
    const Mark mark = MarkAt(text, i);
    if (mark == Mark::None) {
      out += text[i++];
      continue;
    }
    bool keep = true;
    switch (mark) {
      case Mark::OpenEmbedding:
      case Mark::OpenIsolate:
        open.push_back(mark);
        break;
      case Mark::CloseEmbedding:
        if (!open.empty() && open.back() == Mark::OpenEmbedding) open.pop_back();
        break;  // an unmatched PDF does nothing, even outside the isolate
      case Mark::CloseIsolate: {
        bool matched = false;
        for (const Mark m : open) matched = matched || m == Mark::OpenIsolate;
        // One the page never opened would close ours.
        keep = matched;
        if (matched) {
          while (open.back() != Mark::OpenIsolate) open.pop_back();
          open.pop_back();
        }
        break;
      }
      case Mark::None:
        break;
    }
    if (keep) out.append(text.substr(i, 3));
    i += 3;
  }
  // Closed explicitly, for text engines that know embeddings but not isolates.
  for (auto it = open.rbegin(); it != open.rend(); ++it) out += *it == Mark::OpenIsolate ? kPdi : kPdf;
  out += kPdi;
  return out;
}

}  // namespace ui
