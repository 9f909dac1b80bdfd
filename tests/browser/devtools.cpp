#include "devtools.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

namespace devtools {

namespace {

bool executable(const std::string& path) {
    return access(path.c_str(), X_OK) == 0;
}

bool matches(const Json& message, const std::string& event, const std::string& session) {
    return message.value("method", "") == event &&
           (session.empty() || message.value("sessionId", "") == session);
}

}  // namespace

std::string findChromium() {
    if (const char* given = std::getenv("QLX5100_CHROMIUM"); given != nullptr && *given) {
        return executable(given) ? given : "";
    }
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        for (const char* name : {"chromium", "chromium-browser"}) {
            const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
            if (executable(candidate)) {
                return candidate;
            }
        }
    }
    return "";
}

Browser::Browser(const std::string& executablePath) {
    // A browser that died must not take the test program with it.
    signal(SIGPIPE, SIG_IGN);
    int requests[2];
    int answers[2];
    if (pipe2(requests, O_CLOEXEC) != 0 || pipe2(answers, O_CLOEXEC) != 0) {
        throw Error(std::string("pipe: ") + std::strerror(errno));
    }
    const std::string profile = "--user-data-dir=" + profile_.path("profile");
    const std::string log = profile_.path("chromium.log");
    std::vector<std::string> args = {executablePath,
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-quic",
                                     "--no-first-run",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--disable-extensions",
                                     "--hide-scrollbars",
                                     "--font-render-hinting=none",
                                     profile,
                                     "--remote-debugging-pipe",
                                     "about:blank"};
    pid_ = fork();
    if (pid_ < 0) {
        throw Error(std::string("fork: ") + std::strerror(errno));
    }
    if (pid_ == 0) {
        // Its own process group, so that its helpers go with it.
        setpgid(0, 0);
        // Out of the way of 3 and 4 first: dup2 onto itself would keep the
        // close-on-exec flag.
        const int in = fcntl(requests[0], F_DUPFD, 10);
        const int out = fcntl(answers[1], F_DUPFD, 10);
        if (in < 0 || out < 0 || dup2(in, 3) < 0 || dup2(out, 4) < 0) {
            _exit(127);
        }
        const int devnull = open("/dev/null", O_RDONLY);
        const int logfd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (devnull >= 0)
            dup2(devnull, 0);
        if (logfd >= 0) {
            dup2(logfd, 1);
            dup2(logfd, 2);
        }
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(requests[0]);
    close(answers[1]);
    toBrowser_ = requests[1];
    fromBrowser_ = answers[0];
    call("Browser.getVersion");
}

Browser::~Browser() {
    try {
        call("Browser.close");
    } catch (const std::exception&) {
    }
    close(toBrowser_);
    close(fromBrowser_);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (pid_ > 0) {
        kill(-pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

void Browser::send(const Json& message) {
    const std::string text = message.dump() + '\0';
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = write(toBrowser_, text.data() + done, text.size() - done);
        if (n < 0 && errno != EINTR) {
            throw Error(message.value("method", "") + ": the browser stopped");
        }
        done += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
    }
}

Json Browser::receive(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const std::size_t end = buffer_.find('\0');
        if (end != std::string::npos) {
            Json message = Json::parse(buffer_.substr(0, end));
            buffer_.erase(0, end + 1);
            // A dialog blocks the page until it is answered; the tests only
            // count them.
            if (matches(message, "Page.javascriptDialogOpening", "")) {
                send({{"id", nextId_++},
                      {"method", "Page.handleJavaScriptDialog"},
                      {"params", {{"accept", true}}},
                      {"sessionId", message.value("sessionId", "")}});
            }
            return message;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            throw Error("no answer from the browser in time");
        }
        pollfd p{fromBrowser_, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            throw Error(std::string("poll: ") + std::strerror(errno));
        }
        if (ready <= 0) {
            continue;
        }
        char chunk[65536];
        const ssize_t n = read(fromBrowser_, chunk, sizeof chunk);
        if (n <= 0) {
            throw Error("the browser stopped");
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

Json Browser::call(const std::string& method, const Json& params, const std::string& session) {
    const int id = nextId_++;
    Json request = {{"id", id}, {"method", method}, {"params", params}};
    if (!session.empty()) {
        request["sessionId"] = session;
    }
    send(request);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        Json message = receive(deadline);
        if (message.contains("method")) {
            events_.push_back(std::move(message));
        } else if (message.value("id", 0) == id) {
            if (message.contains("error")) {
                throw Error(method + ": " + message["error"].value("message", "error"));
            }
            return message.value("result", Json::object());
        }
    }
}

Json Browser::waitFor(const std::string& event, const std::string& session,
                      std::chrono::milliseconds timeout) {
    const auto found = std::find_if(events_.begin(), events_.end(),
                                    [&](const Json& m) { return matches(m, event, session); });
    if (found != events_.end()) {
        Json message = *found;
        events_.erase(found);
        return message;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        Json message = receive(deadline);
        if (matches(message, event, session)) {
            return message;
        }
        if (message.contains("method")) {
            events_.push_back(std::move(message));
        }
    }
}

int Browser::count(const std::string& event, const std::string& session) const {
    return static_cast<int>(std::count_if(
        events_.begin(), events_.end(), [&](const Json& m) { return matches(m, event, session); }));
}

Page::Page(Browser& browser, int width, int height) : browser_(browser) {
    const std::string target =
        browser_.call("Target.createTarget", {{"url", "about:blank"}})["targetId"];
    session_ = browser_.call("Target.attachToTarget",
                             {{"targetId", target}, {"flatten", true}})["sessionId"];
    browser_.call("Page.enable", Json::object(), session_);
    browser_.call("Runtime.enable", Json::object(), session_);
    browser_.call(
        "Emulation.setDeviceMetricsOverride",
        {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}},
        session_);
}

void Page::open(const std::string& url) {
    const Json answer = browser_.call("Page.navigate", {{"url", url}}, session_);
    if (answer.contains("errorText")) {
        throw Error(url + ": " + answer["errorText"].get<std::string>());
    }
    browser_.waitFor("Page.loadEventFired", session_);
}

Json Page::eval(const std::string& expression) {
    const Json answer = browser_.call(
        "Runtime.evaluate",
        {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}}, session_);
    if (answer.contains("exceptionDetails")) {
        const Json& details = answer["exceptionDetails"];
        std::string text = details.value("text", "exception");
        if (details.contains("exception")) {
            text += " " + details["exception"].value("description", "");
        }
        throw Error(expression.substr(0, 80) + ": " + text);
    }
    return answer["result"].value("value", Json());
}

void Page::hover(const std::string& selector) {
    const Json at = middle(selector);
    browser_.call("Input.dispatchMouseEvent", {{"type", "mouseMoved"}, {"x", at[0]}, {"y", at[1]}},
                  session_);
}

void Page::click(const std::string& selector) {
    const Json at = middle(selector);
    for (const char* type : {"mouseMoved", "mousePressed", "mouseReleased"}) {
        browser_.call(
            "Input.dispatchMouseEvent",
            {{"type", type}, {"x", at[0]}, {"y", at[1]}, {"button", "left"}, {"clickCount", 1}},
            session_);
    }
}

Json Page::middle(const std::string& selector) {
    return eval("(() => { const e = document.querySelector(" + Json(selector).dump() +
                "); e.scrollIntoView({block: 'center', inline: 'center'});"
                " const r = e.getBoundingClientRect();"
                " return [r.left + r.width / 2, r.top + r.height / 2]; })()");
}

void Page::focus(const std::string& selector) {
    eval("document.querySelector(" + Json(selector).dump() + ").focus()");
}

void Page::type(const std::string& text) {
    browser_.call("Input.insertText", {{"text", text}}, session_);
}

void Page::press(const std::string& key, int code) {
    for (const char* type : {"keyDown", "keyUp"}) {
        Json event = {{"type", type}, {"key", key}, {"code", key}, {"windowsVirtualKeyCode", code}};
        if (std::string(type) == "keyDown" && key == "Enter") {
            event["text"] = "\r";
        }
        browser_.call("Input.dispatchKeyEvent", event, session_);
    }
}

std::string Page::screenshot(const std::string& selector) {
    Json params = {{"format", "png"}};
    if (!selector.empty()) {
        params["clip"] = eval("(() => { const e = document.querySelector(" + Json(selector).dump() +
                              "); e.scrollIntoView(); const r = e.getBoundingClientRect();"
                              " return {x: r.left + scrollX, y: r.top + scrollY,"
                              " width: r.width, height: r.height, scale: 1}; })()");
    }
    return browser_.call("Page.captureScreenshot", params, session_)["data"];
}

int Page::dialogs() const {
    return browser_.count("Page.javascriptDialogOpening", session_);
}

}  // namespace devtools
