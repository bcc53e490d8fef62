#pragma once

// The private channel between the client and its web-process extension, over
// which page scripts call window.external synchronously. Shared by both ends.
namespace ui::gtk::external {

// The extension's directory, next to the executable.
constexpr const char* kExtensionFolder = "kqv-web-extension";
constexpr const char* kExtensionFile = "libkqvexternal.so";

constexpr const char* kObjectPath = "/org/kqvclient/External";
constexpr const char* kInterface = "org.kqvclient.External";
// Methods(t page, s title) -> (u generation, as names): the names
// window.external has in that page now, and the generation of the host
// choices they come from. `title` is the title the page's top document has
// so far: a host that installs its methods when the page's navigation
// completes gets that event, with this title, before the answer.
constexpr const char* kMethodsCall = "Methods";
// Call(t page, s name, as args) -> (s answer): runs the host's method.
constexpr const char* kCallCall = "Call";
constexpr const char* kIntrospection =
    "<node>"
    " <interface name='org.kqvclient.External'>"
    "  <method name='Methods'>"
    "   <arg type='t' name='page' direction='in'/>"
    "   <arg type='s' name='title' direction='in'/>"
    "   <arg type='u' name='generation' direction='out'/>"
    "   <arg type='as' name='names' direction='out'/>"
    "  </method>"
    "  <method name='Call'>"
    "   <arg type='t' name='page' direction='in'/>"
    "   <arg type='s' name='name' direction='in'/>"
    "   <arg type='as' name='args' direction='in'/>"
    "   <arg type='s' name='answer' direction='out'/>"
    "  </method>"
    " </interface>"
    "</node>";

// Sent to a page (a WebKit user message carrying the new generation, u) when
// its host choices change, so that documents drop the object they built.
constexpr const char* kChangedMessage = "kqv-external-changed";

}  // namespace ui::gtk::external
