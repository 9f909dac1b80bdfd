// Headless Chromium driven over the DevTools protocol on a pipe
// (--remote-debugging-pipe: requests on fd 3, answers and events on fd 4,
// each message JSON ending in a NUL), so that the tests need no WebSocket
// library and no browser download: Debian's chromium is enough.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <deque>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "temp_dir.h"

namespace devtools {

using Json = nlohmann::json;

struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The browser to use: $QLX5100_CHROMIUM, else chromium on PATH; "" if none.
std::string findChromium();

class Browser {
public:
    // Starts the browser with a fresh profile; throws Error.
    explicit Browser(const std::string& executable);
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    // Sends a command (to a page when session is set) and waits for its
    // answer; events that arrive meanwhile are kept. Throws Error for an
    // error answer or a browser that stopped.
    Json call(const std::string& method, const Json& params = Json::object(),
              const std::string& session = "");

    // The first event of that name (for that session), waiting if needed.
    Json waitFor(const std::string& event, const std::string& session,
                 std::chrono::milliseconds timeout = std::chrono::seconds(30));

    // How many such events have come so far and not been waited for.
    int count(const std::string& event, const std::string& session) const;

private:
    void send(const Json& message);  // whole, or throws Error
    Json receive(std::chrono::steady_clock::time_point deadline);

    testsupport::TempDir profile_;
    pid_t pid_ = -1;
    int toBrowser_ = -1;
    int fromBrowser_ = -1;
    int nextId_ = 1;
    std::string buffer_;
    std::deque<Json> events_;
};

// One tab, with its viewport set and dialogs recorded.
class Page {
public:
    Page(Browser& browser, int width = 1400, int height = 1000);

    // Loads url and waits until the page's script has finished
    // (documentElement's data-ready) or the load event, whichever the page
    // gives; throws Error after a timeout.
    void open(const std::string& url);

    // The value of a JavaScript expression (awaited when it is a promise).
    Json eval(const std::string& expression);

    // A real pointer moved onto the middle of the element selector finds
    // (scrolled into view first).
    void hover(const std::string& selector);

    // A left click in the middle of that element, as hover() finds it.
    void click(const std::string& selector);

    // Keyboard focus moved to that element.
    void focus(const std::string& selector);

    // Text typed into the focused element, as a keyboard would.
    void type(const std::string& text);

    // A key pressed and released on the focused element ("Enter", 13).
    void press(const std::string& key, int code);

    // The visible part of the page, or only the element selector finds: a
    // PNG, in base64.
    std::string screenshot(const std::string& selector = "");

    // How many JavaScript dialogs (alert, confirm, prompt) the page opened.
    int dialogs() const;

    const std::string& session() const { return session_; }

private:
    Json middle(const std::string& selector);

    Browser& browser_;
    std::string session_;
};

}  // namespace devtools
