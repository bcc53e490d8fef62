// The tree's memory: a parse's maps and sequences come from its arena, which
// lives exactly as long as any block of the tree, whoever holds that block and
// on whichever thread it is freed.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "json/JsonInternal.h"
#include "json/JsonValue.h"

namespace {

using json_internal::KeptPieces;
using json_internal::LiveArenas;

JsonValue Parse(const std::string& text) {
  JsonBracketStack stack;
  return ParseJson(text, stack);
}

// An array of count objects, each with nested containers and strings too long
// for a string's own buffer: a tree of several pieces when count is large.
std::string Catalogue(int count) {
  std::string text = "[";
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += ',';
    const std::string n = std::to_string(i);
    text += R"({"id":)" + n + R"(,"name":"item )" + n + R"( of the long catalogue","tags":["a","b",")" + n +
            R"("],"attrs":{"size":"L","notes":["first note of )" + n + R"(",2.5,true]}})";
  }
  return text + "]";
}

// What Catalogue(count)'s element i reads as, checked member by member.
void ExpectCatalogueItem(const JsonValue& item, int i) {
  ASSERT_EQ(item.mValueType, JsonValue::ObjectVal);
  const JsonObject& m = item.mObject;
  ASSERT_EQ(m.size(), 4u);
  EXPECT_EQ(m.at("id").mInt, i);
  EXPECT_EQ(m.at("name").mString, "item " + std::to_string(i) + " of the long catalogue");
  ASSERT_EQ(m.at("tags").mArray.size(), 3u);
  EXPECT_EQ(m.at("tags").mArray[2].mString, std::to_string(i));
  const JsonArray& notes = m.at("attrs").mObject.at("notes").mArray;
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[0].mString, "first note of " + std::to_string(i));
  EXPECT_EQ(notes[1].mDouble, 2.5);
  EXPECT_TRUE(notes[2].mBool);
}

TEST(JsonMemory, AnArenaLivesWhileAnyPartOfItsTreeDoes) {
  const std::size_t before = LiveArenas();
  struct Case {
    const char* name;
    JsonValue (*takeOut)(JsonValue& root);
  };
  const Case cases[] = {
      {"an element moved out", [](JsonValue& root) { return std::move(root.mArray[7]); }},
      {"a nested sequence moved out",
       [](JsonValue& root) { return std::move(root.mArray[7].mObject["attrs"].mObject["notes"]); }},
      {"a map moved into a new value", [](JsonValue& root) { return JsonValue(std::move(root.mArray[7].mObject)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JsonValue part;
    {
      JsonValue root = Parse(Catalogue(600));
      ASSERT_EQ(root.mArray.size(), 600u);
      EXPECT_EQ(LiveArenas(), before + 1);
      part = c.takeOut(root);
    }
    EXPECT_EQ(LiveArenas(), before + 1) << "the part still holds blocks of the arena";
    if (part.mValueType == JsonValue::ObjectVal) {
      ExpectCatalogueItem(part, 7);
    } else {
      ASSERT_EQ(part.mArray.size(), 3u);
      EXPECT_EQ(part.mArray[0].mString, "first note of 7");
    }
    { JsonValue gone(std::move(part)); }
    EXPECT_EQ(LiveArenas(), before);
  }
}

TEST(JsonMemory, CopiesAndLaterAdditionsLiveOnTheHeap) {
  const std::size_t before = LiveArenas();
  JsonObject copy;
  JsonValue added;
  {
    JsonValue root = Parse(R"({"list":[{"a":"a string longer than a string's own buffer"}],"n":1})");
    root.Member("later") = JsonValue(JsonArray(40, JsonValue("an element added after the parse")));
    copy = root.AsObject();
    added = std::move(root.Member("later"));
    EXPECT_EQ(LiveArenas(), before + 1);
  }
  EXPECT_EQ(LiveArenas(), before) << "neither the copy nor the added member keeps the arena";
  EXPECT_EQ(copy.at("list").mArray[0].mObject.at("a").mString, "a string longer than a string's own buffer");
  EXPECT_EQ(copy.at("later").mArray.size(), 40u);
  ASSERT_EQ(added.mArray.size(), 40u);
  EXPECT_EQ(added.mArray[39].mString, "an element added after the parse");
}

TEST(JsonMemory, AMalformedTextGivesItsArenaBackAtOnce) {
  const std::size_t before = LiveArenas();
  for (const char* text : {
           R"({"a":{"b":[1,2,{"c":"d"}]},"":1})",     // empty key after built members
           R"([[1,2,3],{"a":[4,5]},"unterminated])",  // bad element after built ones
           R"({"a":[1,2],"a":{"b":[3]},"c":nope})",   // a repeated key, then a bad value
       }) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Parse(text).mValueType, JsonValue::NullVal);
    EXPECT_EQ(LiveArenas(), before);
  }
}

// Trees parsed on some threads and freed on others, and one tree whose two
// halves are freed on two threads at once: every arena goes exactly once.
TEST(JsonMemory, TreesMayBeFreedOnAnyThread) {
  const std::size_t before = LiveArenas();
  const std::string text = Catalogue(300);
  constexpr int kThreads = 4;
  constexpr int kRounds = 25;
  std::vector<std::vector<JsonValue>> parsed(kThreads);
  {
    std::vector<std::thread> parsers;
    for (int t = 0; t < kThreads; ++t)
      parsers.emplace_back([&, t] {
        for (int r = 0; r < kRounds; ++r) parsed[t].push_back(Parse(text));
      });
    for (std::thread& p : parsers) p.join();
  }
  EXPECT_EQ(LiveArenas(), before + kThreads * kRounds);
  for (const auto& trees : parsed)
    for (const JsonValue& tree : trees) ExpectCatalogueItem(tree.mArray[299], 299);
  {
    // Each freeing thread takes another thread's trees, split in two halves
    // that a pair of threads frees at the same time.
    std::vector<std::thread> freers;
    for (int t = 0; t < kThreads; ++t) {
      std::vector<JsonValue> firstHalves, secondHalves;
      for (JsonValue& tree : parsed[(t + 1) % kThreads]) {
        JsonArray& items = tree.mArray;
        firstHalves.emplace_back(
            JsonArray(std::make_move_iterator(items.begin()), std::make_move_iterator(items.begin() + 150)));
        secondHalves.push_back(std::move(tree));
      }
      freers.emplace_back([halves = std::move(firstHalves)]() mutable { halves.clear(); });
      freers.emplace_back([halves = std::move(secondHalves)]() mutable { halves.clear(); });
    }
    for (std::thread& f : freers) f.join();
  }
  EXPECT_EQ(LiveArenas(), before);
}

// A flat array is sized by its commas before its elements are read, so its
// sequence is allocated once, at its final size. Lengths around the counting's
// block sizes (16 bytes; 255 blocks before its counters are summed).
TEST(JsonMemory, AFlatArrayIsAllocatedAtItsFinalSize) {
  for (std::size_t count : {1u, 7u, 8u, 9u, 2039u, 2040u, 2041u, 5000u}) {
    SCOPED_TRACE(count);
    std::string text = "[";
    for (std::size_t i = 0; i < count; ++i) text += i ? ",1" : "1";
    const JsonValue array = Parse(text + "]");
    ASSERT_EQ(array.mArray.size(), count);
    EXPECT_EQ(array.mArray.capacity(), count);
  }
}

// Pieces kept for the next parse: no more than the last freed arena had, so a
// small parse after a large one gives the large one's memory back.
TEST(JsonMemory, KeepsOnlyAsManyPiecesAsTheLastArenaHad) {
  { JsonValue large = Parse(Catalogue(3000)); }
  const std::size_t afterLarge = KeptPieces();
  EXPECT_GT(afterLarge, 10u) << "a tree of about 1.5 MB takes many pieces";
  {
    JsonValue again = Parse(Catalogue(3000));
    EXPECT_LE(KeptPieces(), 1u) << "the second large parse takes the kept pieces";
  }
  EXPECT_EQ(KeptPieces(), afterLarge);
  { JsonValue small = Parse(R"({"a":[1,2],"b":{"c":"d"}})"); }
  EXPECT_EQ(KeptPieces(), 0u) << "a small text's arena has no usual piece, so none is kept";
}

}  // namespace
