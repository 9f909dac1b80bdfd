#include <algorithm>
// report_figures: the html page in headless Chromium, for
// scripts/html-report-figures (not a test).
//
//   report_figures measure PAGE RUNS
//       loads PAGE RUNS times, each in a fresh browser, and prints for each
//       run when it became interactive: the later of the load event's end
//       and the first frame after its script had drawn everything and set
//       up the handlers (ms after navigation started)
//   report_figures screenshot PAGE OUT.png [WIDTH HEIGHT [HOVER]]
//       a screenshot of PAGE (a path; "#..." after it is kept), optionally
//       with the pointer on the element HOVER
#include <boost/archive/iterators/binary_from_base64.hpp>
#include <boost/archive/iterators/transform_width.hpp>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "devtools.h"

namespace {

std::string url(const std::string& page) {
    const std::size_t hash = page.find('#');
    const std::string path = page.substr(0, hash);
    return "file://" + std::filesystem::absolute(path).string() +
           (hash == std::string::npos ? "" : page.substr(hash));
}

std::string fromBase64(std::string text) {
    using namespace boost::archive::iterators;
    using Decoder = transform_width<binary_from_base64<std::string::const_iterator>, 8, 6>;
    const std::size_t padding = text.size() - text.find_last_not_of('=') - 1;
    std::replace(text.end() - static_cast<std::ptrdiff_t>(padding), text.end(), '=', 'A');
    std::string out(Decoder(text.cbegin()), Decoder(text.cend()));
    out.resize(out.size() - padding);
    return out;
}

int usage() {
    std::cerr << "usage: report_figures measure PAGE RUNS\n"
                 "       report_figures screenshot PAGE OUT.png [WIDTH HEIGHT [HOVER]]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const std::string chromium = devtools::findChromium();
    if (chromium.empty()) {
        std::cerr << "report_figures: chromium is not installed (scripts/setup browser)\n";
        return 1;
    }
    try {
        if (args.size() == 3 && args[0] == "measure") {
            for (int run = 1; run <= std::stoi(args[2]); ++run) {
                devtools::Browser browser(chromium);
                devtools::Page page(browser);
                page.open(url(args[1]));
                const devtools::Json t = page.eval(
                    "new Promise(ok => (function wait() { if (window.qlx5100PaintedAt) "
                    "ok({ready: window.qlx5100ReadyAt, painted: window.qlx5100PaintedAt, "
                    "load: performance.getEntriesByType('navigation')[0].loadEventEnd}); "
                    "else setTimeout(wait, 10); })())");
                std::cout << "run " << run << ": interactive "
                          << std::max(t["painted"].get<double>(), t["load"].get<double>())
                          << " ms (script done " << t["ready"].get<double>() << " ms, first frame "
                          << t["painted"].get<double>() << " ms, load event "
                          << t["load"].get<double>() << " ms)\n";
            }
            return 0;
        }
        if ((args.size() == 3 || args.size() >= 5) && args[0] == "screenshot") {
            const int width = args.size() >= 5 ? std::stoi(args[3]) : 1400;
            const int height = args.size() >= 5 ? std::stoi(args[4]) : 1000;
            devtools::Browser browser(chromium);
            devtools::Page page(browser, width, height);
            page.open(url(args[1]));
            if (args.size() >= 6) {
                page.hover(args[5]);
            } else {
                page.eval("window.scrollTo(0, 0)");
            }
            std::ofstream(args[2], std::ios::binary) << fromBase64(page.screenshot());
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "report_figures: " << e.what() << '\n';
        return 1;
    }
    return usage();
}
