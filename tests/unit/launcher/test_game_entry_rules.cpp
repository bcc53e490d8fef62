#include <gtest/gtest.h>

#include "launcher/GameEntryRules.h"

namespace {

TEST(GameEntryRulesTest, EachPlatformRecognisesItsOwnStepIntoTheGame) {
  const struct {
    const char* platform;
    const char* address;
    bool entry;
  } cases[] = {
      {"360", "http://s12.g.example/login.php?uid=1&server_id=S12", true},
      {"360", "http://g.example/frame/x?next=/login.php", true},  // anywhere, frames included
      {"360", "http://g.example/mini/login.html", false},
      {"360", "http://g.example/Login.php", false},  // case-sensitive
      {"360", "", false},
      {"youxi", "http://g.example/login.php?gkey=qelu&sid=3", true},
      {"youxi", "http://g.example/login.php?__t=1&gkey=qelu", false},
      {"youxi", "http://g.example/x?u=login.php%3F__t%3D1&gkey=qelu&to=login.php", false},
      {"youxi", "http://g.example/login.php?gkey=other", false},
      {"youxi", "http://g.example/index?gkey=qelu", false},
      {"8090", "http://g.example/game.php?s=1", true},
      {"8090", "http://g.example/login.php?s=1", true},
      {"8090", "http://g.example/index.php?s=1", false},
      {"8090", "http://g.example/game.phtml?s=1", false},
      {"679", "http://g.example/indexlink1?s=1", true},
      {"679", "http://g.example/login.php", true},
      {"679", "http://g.example/indexlink2?s=1", false},
      {"679", "http://g.example/login.phtml", false},
      {"baidu", "http://g.example/login.php?s=1", false},
      {"baidu", "http://g.example/api/login_game_for_general?s=1", true},
      {"baidu", "http://g.example/api/login_game_for_genera?s=1", false},
      {"yy", "http://g.example/login.do?s=1", true},
      {"yy", "http://g.example/login.php?s=1", false},
      {"5599", "http://g.example/ly/login.php", true},
      {"5599", "http://g.example/login.php", false},
      {"fh", "http://g.example/?a=entergame&s=1", true},
      {"fh", "http://g.example/?a=enter_game&s=1", false},
      {"shunwang", "http://g.example/indexshunwang.html", true},
      {"shunwang", "http://g.example/index_shunwang.html", false},
      {"v1", "http://g.example/playing.shtml", true},
      {"v1", "http://g.example/playing.html", false},
      {"wxf", "http://g.example/user/go/sid/12", true},
      {"wxf", "http://g.example/user/go/sidebar", false},
      {"wxf", "http://g.example/user/go/sid", false},
      {"6rooms", "http://g.example/entergame.php", true},
      {"6rooms", "http://g.example/entergame.html", false},
      {"360uu", "http://g.example/g.asp?s=1", true},
      {"360uu", "http://g.example/g.ashx?s=1", false},
      {"996you", "http://g.example/game/game.php", true},
      {"996you", "http://g.example/game.php", false},
      {"99yx", "http://g.example/login_server?s=1", true},
      {"99yx", "http://g.example/login-server?s=1", false},
      {"265g", "http://g.example/indexlink1", true},
      {"265g", "http://g.example/indexlink2", false},
      {"yd", "http://g.example/indexlink1", true},
      {"yd", "http://g.example/indexlink", false},
      // Keys are exact: another case, blanks around it, or no rule at all.
      {"Baidu", "http://g.example/api/login_game_for_general", false},
      {" 360", "http://g.example/login.php", false},
      {"360 ", "http://g.example/login.php", false},
      {"", "http://g.example/login.php", false},
      {"unknown", "http://g.example/login.php", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsGameEntryUrl(c.platform, c.address), c.entry) << '"' << c.platform << "\" " << c.address;
  }
}

TEST(GameEntryRulesTest, EveryPlainLoginPhpPlatformMatchesItAndNothingElse) {
  for (const char* key : {"37wan", "liebao", "6711", "360",   "sogou",  "fx",     "qd",      "lhh",  "17hihi", "522g",
                          "655a",  "npcka",  "3937", "dahei", "wa3",    "y261",   "3737g",   "eq",   "wan669", "lcyx",
                          "ppwan", "592hi",  "8688", "hsj",   "bigzhu", "wan899", "9166wan", "593yx"}) {
    EXPECT_TRUE(IsGameEntryUrl(key, "http://g.example/login.php?server_id=S12")) << key;
    EXPECT_FALSE(IsGameEntryUrl(key, "http://g.example/game/game.php?login_server&indexlink1")) << key;
    EXPECT_FALSE(IsGameEntryUrl(key, "http://g.example/login.phtml?server_id=S12")) << key;
  }
  for (const char* key : {"yxz", "5132", "766z", "879wan"}) {
    EXPECT_TRUE(IsGameEntryUrl(key, "http://g.example/game/game.php")) << key;
    EXPECT_FALSE(IsGameEntryUrl(key, "http://g.example/login.php")) << key;
    EXPECT_FALSE(IsGameEntryUrl(key, "http://g.example/game.php")) << key;
  }
}

}  // namespace
