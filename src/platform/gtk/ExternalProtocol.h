#pragma once

// The private channel between the client and its web-process extension, over
// which page scripts call window.external synchronously. Shared by both ends.
namespace ui::gtk::external {

// The extension's directory, next to the executable.
constexpr const char* kExtensionFolder = "kqv-web-extension";
constexpr const char* kExtensionFile = "libkqvexternal.so";

constexpr const char* kObjectPath = "/org/kqvclient/External";
constexpr const char* kInterface = "org.kqvclient.External";
// Every request carries a place in its web process's own sequence: the
// process (a random number it picks at start) and a number that grows with
// each request. The extension sends the same pair to the web context
// (kCaughtUpMessage) through the engine's own channel just before the
// request, so it travels behind everything the process told the engine
// earlier, the commit of the calling document included. The client serves
// a request once its pair has come through that channel.
//
// Methods(t page, t process, t sequence, s title) -> (u generation, as names):
// the names window.external has in that page now, and the generation of the
// host choices they come from. `title` is the title the page's top document
// has so far: a host that installs its methods when the page's navigation
// completes gets that event, with this title, before the answer.
constexpr const char* kMethodsCall = "Methods";
// Call(t page, t process, t sequence, s name, as args) -> (s answer): runs
// the host's method.
constexpr const char* kCallCall = "Call";
constexpr const char* kIntrospection =
    "<node>"
    " <interface name='org.kqvclient.External'>"
    "  <method name='Methods'>"
    "   <arg type='t' name='page' direction='in'/>"
    "   <arg type='t' name='process' direction='in'/>"
    "   <arg type='t' name='sequence' direction='in'/>"
    "   <arg type='s' name='title' direction='in'/>"
    "   <arg type='u' name='generation' direction='out'/>"
    "   <arg type='as' name='names' direction='out'/>"
    "  </method>"
    "  <method name='Call'>"
    "   <arg type='t' name='page' direction='in'/>"
    "   <arg type='t' name='process' direction='in'/>"
    "   <arg type='t' name='sequence' direction='in'/>"
    "   <arg type='s' name='name' direction='in'/>"
    "   <arg type='as' name='args' direction='in'/>"
    "   <arg type='s' name='answer' direction='out'/>"
    "  </method>"
    " </interface>"
    "</node>";

// Sent by the extension to the web context (a WebKit user message carrying
// (tt): process, sequence) just before the request with that pair.
constexpr const char* kCaughtUpMessage = "kqv-external-caught-up";

// A script function that gives its string argument with each lone surrogate
// replaced by U+FFFD: text leaves the page as UTF-8, where a lone surrogate
// cannot go (the engine's own conversion stops at the first one). Takes its
// built-ins when it is evaluated.
constexpr const char* kWellFormedFunction = R"JS((function () {
  var toWellFormed = String.prototype.toWellFormed, charCodeAt = String.prototype.charCodeAt,
      fromCharCode = String.fromCharCode, apply = Reflect.apply;
  return function (text) {
    if (toWellFormed) return apply(toWellFormed, text, []);
    var out = '';
    for (var i = 0; i < text.length; ++i) {
      var unit = apply(charCodeAt, text, [i]);
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        var next = apply(charCodeAt, text, [i + 1]);
        if (next >= 0xDC00 && next <= 0xDFFF) {
          out += fromCharCode(unit, next);
          ++i;
          continue;
        }
        unit = 0xFFFD;
      } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        unit = 0xFFFD;
      }
      out += fromCharCode(unit);
    }
    return out;
  };
})())JS";

// Sent to a page (a WebKit user message carrying the new generation, u) when
// its host choices change, so that documents drop the object they built.
constexpr const char* kChangedMessage = "kqv-external-changed";

}  // namespace ui::gtk::external
