#include "skin/FrameVariant.h"

namespace {

constexpr int kTextStrip = -1;

}  // namespace

const FrameVariant& GameFrame() {
  static const FrameVariant variant{
      .captionHeight = 39,
      .borderWidth = 3,
      .extraBottomInset = 3,
      .backgroundPng = 164,
      .bodyColor = {26, 20, 18, 255},
      .captionButtonImages = {163, 162, 161},  // minimise, maximise, close
      .textStrip = 165,
      .vipIconPng = 167,
      .iconOrigin = {15, 13},
      .fillColumn = 218,
      .rightCapWidth = 50,
      .titleOrigin = {97, 15},
      .titleWeight = 700,
      .buttonTop = 10,
      .buttonBottom = 30,
      .captionDoubleClicks = true,
      .buttons =
          {
              {110, nullptr, 2, -35, -15, -30, -10, CaptionRole::Close},
              {111, nullptr, 1, -35, -15, -52, -32, CaptionRole::MaximizeRestore},
              {112, nullptr, 0, -35, -15, -74, -54, CaptionRole::Minimize},
              // The labelled buttons are created 40 pixels apart from W - 45.
              {10, "官网", kTextStrip, -45, -5, -265, -225, CaptionRole::Own},
              {11, "充值", kTextStrip, -5, 35, -220, -180, CaptionRole::Own},
              {13, "清理", kTextStrip, 35, 75, -175, -135, CaptionRole::Own},
              {12, "刷新", kTextStrip, 75, 115, -130, -90, CaptionRole::Own},
              {14, "VIP专员", kTextStrip, 115, 155, -395, -285, CaptionRole::Own, true},
          },
  };
  return variant;
}

const FrameVariant& ChatFrame() {
  static const FrameVariant variant{
      .captionHeight = 26,
      .borderWidth = 3,
      .extraBottomInset = 0,
      .backgroundPng = 166,
      .bodyColor = {26, 20, 18, 255},
      .captionButtonImages = {161},
      .textStrip = 0,
      .vipIconPng = 0,
      .iconOrigin = {5, 5},
      .fillColumn = 30,
      .rightCapWidth = 30,
      .titleOrigin = {5, 7},
      .titleWeight = 0,
      .buttonTop = 3,
      .buttonBottom = 23,
      .captionDoubleClicks = false,
      .buttons = {{20, nullptr, 0, -25, -5, -25, -5, CaptionRole::Close}},
  };
  return variant;
}
