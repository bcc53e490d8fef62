// Cleaning the browser's cache: the walk over the URL cache entry by entry,
// and the box that ends it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakePlatform.h"
#include "FakeUrlCache.h"
#include "gamewnd/BrowserCache.h"

namespace {

using Stored = fake::FakeUrlCache::Stored;
constexpr std::uint32_t kCookie = ui::UrlCache::kCookieCacheEntry;

class Owner : public ui::Window {};

TEST(BrowserCacheTest, EveryEntryButCookiesIsDeletedWithTheBufferGrownOnlyWhenNeeded) {
  struct Case {
    const char* name;
    std::vector<Stored> entries;
    std::vector<std::string> calls;
    std::vector<std::string> deleted;
    std::vector<std::uint32_t> declared;
  };
  const Case cases[] = {
      {"all fit: one buffer",
       {{"http://a/1", 1}, {"http://a/2", 1}},
       {"first 4096", "next 4096", "next 4096"},
       {"http://a/1", "http://a/2"},
       {4096, 4096, 4096}},
      {"a large entry: read again into a buffer of its size, which is kept",
       {{"http://a/1", 1}, {"http://a/big", 1, 9000}, {"http://a/3", 1}},
       {"first 4096", "next 4096", "next 9000", "next 9000", "next 9000"},
       {"http://a/1", "http://a/big", "http://a/3"},
       {4096, 4096, 9000, 9000, 9000}},
      {"the first entry too large",
       {{"http://a/big", 1, 5000}},
       {"first 4096", "first 5000", "next 5000"},
       {"http://a/big"},
       {4096, 5000, 5000}},
      {"cookies stay",
       {{"Cookie:qa@a/", kCookie}, {"http://a/1", 1}, {"Cookie:qa@b/", kCookie | 1}},
       {"first 4096", "next 4096", "next 4096", "next 4096"},
       {"http://a/1"},
       {4096, 4096, 4096, 4096}},
      {"an empty cache", {}, {"first 4096"}, {}, {4096}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::FakeUrlCache cache;
    cache.entries = c.entries;
    EXPECT_TRUE(CleanUrlCache(cache));
    EXPECT_EQ(cache.calls, c.calls);
    EXPECT_EQ(cache.deleted, c.deleted);
    EXPECT_EQ(cache.declaredSizes, c.declared);
    EXPECT_EQ(cache.closed, c.entries.empty() ? 0 : 1);  // only a walk that began is closed
  }
}

// A cache that answers "insufficient buffer" without asking for more than it
// was given would be asked for ever: the walk ends there, as on any error.
TEST(BrowserCacheTest, ARefusalWithoutALargerSizeEndsTheWalk) {
  struct Case {
    const char* name;
    std::vector<Stored> entries;
    std::vector<std::string> calls;
    std::vector<std::string> deleted;
  };
  const Case cases[] = {
      {"the first entry, the same size", {{"http://a/1", 1, 9000, 4096}}, {"first 4096"}, {}},
      {"the first entry, a smaller size", {{"http://a/1", 1, 9000, 100}}, {"first 4096"}, {}},
      {"a later entry, the same size",
       {{"http://a/1", 1}, {"http://a/2", 1, 9000, 4096}, {"http://a/3", 1}},
       {"first 4096", "next 4096"},
       {"http://a/1"}},
      // Grown once, then refused again at that size.
      {"a later entry after one growth",
       {{"http://a/1", 1, 5000}, {"http://a/2", 1, 9000, 5000}},
       {"first 4096", "first 5000", "next 5000"},
       {"http://a/1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::FakeUrlCache cache;
    cache.entries = c.entries;
    EXPECT_TRUE(CleanUrlCache(cache));
    EXPECT_EQ(cache.calls, c.calls);
    EXPECT_EQ(cache.deleted, c.deleted);
    EXPECT_EQ(cache.closed, c.deleted.empty() ? 0 : 1);
  }
}

TEST(BrowserCacheTest, AnyOtherErrorEndsTheWalkEarly) {
  fake::FakeUrlCache cache;
  cache.entries = {{"http://a/1", 1}, {"http://a/2", 1}, {"http://a/3", 1}};
  cache.failAt = 1;
  cache.failWith = 5;  // access denied
  EXPECT_TRUE(CleanUrlCache(cache));
  EXPECT_EQ(cache.deleted, (std::vector<std::string>{"http://a/1"}));
  EXPECT_EQ(cache.closed, 1);
}

TEST(BrowserCacheTest, TheBoxComesOnceAfterEveryWalkButOneThatRanOutOfMemory) {
  struct Case {
    const char* name;
    std::vector<Stored> entries;
    std::size_t failAt;
    bool outOfMemory;
    bool box;
    int closed;
  };
  const Case cases[] = {
      {"entries", {{"http://a/1", 1}}, SIZE_MAX, false, true, 1},
      {"empty", {}, SIZE_MAX, false, true, 0},
      {"an error at once", {{"http://a/1", 1}}, 0, false, true, 0},
      {"an error later", {{"http://a/1", 1}, {"http://a/2", 1}}, 1, false, true, 1},
      // No memory for the second entry's buffer: the walk is closed all the same.
      {"no memory", {{"http://a/1", 1}, {"http://a/2", 1, 9000}}, 1, true, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::FakePlatform platform;
    fake::FakeUrlCache cache;
    cache.entries = c.entries;
    cache.failAt = c.failAt;
    cache.failWith = 5;
    cache.outOfMemory = c.outOfMemory;
    platform.urlCache = &cache;
    Owner owner;
    CleanBrowserCache(owner);
    ASSERT_EQ(platform.messageBoxes.size(), c.box ? 1u : 0u);
    if (c.box) {
      EXPECT_EQ(platform.messageBoxes[0].text, "缓存清理完毕");
      EXPECT_EQ(platform.messageBoxes[0].caption, "KQVClient");
      EXPECT_EQ(platform.messageBoxes[0].style, ui::kMbOk);
    }
    EXPECT_EQ(cache.closed, c.closed);
    EXPECT_EQ(platform.cacheCleanings, 0);  // the URL cache is walked, not cleared whole
  }
}

}  // namespace
