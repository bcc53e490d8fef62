#pragma once

// How the client's own scripts report frames' commits and completions and the
// page's parsed title. Shared by the client and its web-process extension.
//
// The scripts run in a world of their own, which the extension makes under
// this name before any page exists, so that the client's scripts for that
// world land in it. There the extension gives them a function,
// kReportFunction(kind, text), that sends the page's view a WebKit user
// message (kMessage, carrying (ss): kind, text) behind everything the web
// process told the engine earlier. Plain messages keep the script engine out
// of the client's own process, which script-message handlers would start.
namespace ui::gtk::frame_events {

constexpr const char* kWorld = "kqvhost";
constexpr const char* kReportFunction = "kqvReportFrameEvent";
constexpr const char* kMessage = "kqv-frame-event";

}  // namespace ui::gtk::frame_events
