#include "launcher/GameEntryRules.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

using Fragments = std::array<std::string_view, 2>;  // unused places stay empty

// An address enters the game when it contains one of `anyOf`, all of
// `allOf` and none of `noneOf`.
struct GameEntryRule {
  std::string_view platform;
  Fragments anyOf;
  Fragments allOf{};
  Fragments noneOf{};
};

constexpr GameEntryRule kRules[] = {
    {"baidu", {"login_game_for_general"}},
    {"37wan", {"login.php"}},
    {"liebao", {"login.php"}},
    {"6711", {"login.php"}},
    {"360", {"login.php"}},
    // Its login page itself carries login.php with a __t marker, plain or
    // percent-encoded.
    {"youxi", {"login.php"}, {"gkey=qelu"}, {"login.php?__t", "login.php%3F__t"}},
    {"shunwang", {"indexshunwang"}},
    {"sogou", {"login.php"}},
    {"5599", {"ly/login.php"}},
    {"fx", {"login.php"}},
    {"qd", {"login.php"}},
    {"yy", {"login.do"}},
    {"lhh", {"login.php"}},
    {"fh", {"a=entergame"}},
    {"17hihi", {"login.php"}},
    {"265g", {"indexlink1"}},
    {"522g", {"login.php"}},
    {"655a", {"login.php"}},
    {"8090", {"game.php", "login.php"}},
    {"npcka", {"login.php"}},
    {"yd", {"indexlink1"}},
    {"3937", {"login.php"}},
    {"dahei", {"login.php"}},
    {"679", {"login.php", "indexlink1"}},
    {"wa3", {"login.php"}},
    {"y261", {"login.php"}},
    {"3737g", {"login.php"}},
    {"eq", {"login.php"}},
    {"v1", {"playing.shtml"}},
    {"wxf", {"user/go/sid/"}},
    {"wan669", {"login.php"}},
    {"lcyx", {"login.php"}},
    {"ppwan", {"login.php"}},
    {"6rooms", {"entergame.php"}},
    {"592hi", {"login.php"}},
    {"360uu", {"g.asp"}},
    {"996you", {"game/game.php"}},
    {"yxz", {"game/game.php"}},
    {"5132", {"game/game.php"}},
    {"8688", {"login.php"}},
    {"hsj", {"login.php"}},
    {"766z", {"game/game.php"}},
    {"879wan", {"game/game.php"}},
    {"bigzhu", {"login.php"}},
    {"wan899", {"login.php"}},
    {"9166wan", {"login.php"}},
    {"593yx", {"login.php"}},
    {"99yx", {"login_server"}},
};

bool Contains(std::string_view address, std::string_view fragment) {
  return address.find(fragment) != std::string_view::npos;
}

bool Matches(const GameEntryRule& rule, std::string_view address) {
  const auto contained = [&](std::string_view fragment) { return !fragment.empty() && Contains(address, fragment); };
  const auto unusedOrContained = [&](std::string_view fragment) {
    return fragment.empty() || Contains(address, fragment);
  };
  return std::any_of(rule.anyOf.begin(), rule.anyOf.end(), contained) &&
         std::all_of(rule.allOf.begin(), rule.allOf.end(), unusedOrContained) &&
         std::none_of(rule.noneOf.begin(), rule.noneOf.end(), contained);
}

}  // namespace

bool IsGameEntryUrl(const std::string& platform, const std::string& address) {
  const auto rule = std::find_if(std::begin(kRules), std::end(kRules),
                                 [&](const GameEntryRule& candidate) { return candidate.platform == platform; });
  return rule != std::end(kRules) && Matches(*rule, address);
}
