// The --format html page: valid HTML with parseable data, and in a real
// browser (headless Chromium) what a user sees and points at. The browser
// tests are skipped, saying so, where no chromium is installed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <numeric>
#include <set>
#include <sstream>

#include "devtools.h"
#include "files.h"
#include "temp_dir.h"

namespace {

using devtools::Json;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

int shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string shellQuoted(const std::string& arg) {
    std::string out = "'";
    for (const char c : arg) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// The tool with args, standard output to out; returns the exit code.
int tool(const std::vector<std::string>& args, const std::string& out) {
    std::string command = TOOL_PATH;
    for (const std::string& a : args) {
        command += " " + shellQuoted(a);
    }
    return shell(command + " >" + shellQuoted(out) + " 2>/dev/null </dev/null");
}

std::string block(const std::string& name) {
    return EXAMPLES_DIR "/blocks/" + name + ".bin";
}

// The page's embedded data, read back with a real JSON parser.
Json pageData(const std::string& html) {
    const std::string open = "<script type=\"application/json\" id=\"report-data\">";
    const std::size_t from = html.find(open);
    const std::size_t to = html.find("</script>", from);
    if (from == std::string::npos || to == std::string::npos) {
        return Json();
    }
    return Json::parse(html.substr(from + open.size(), to - from - open.size()));
}

struct Place {
    std::size_t offset, width;
};

// Every key --describe knows, and where each key and index lies (from the
// tool, not from the page).
struct Described {
    std::set<std::string> keys;
    std::map<std::pair<std::string, int>, Place> places;
    std::map<std::string, Json> rows;  // a key's first row, as --describe gives it
};

Described described(int settings) {
    TempDir dir;
    tool({"--describe", "--format", "json"}, dir.path("d"));
    Described out;
    for (const Json& f : Json::parse(readFile(dir.path("d")))) {
        out.keys.insert(f["key"].get<std::string>());
        out.rows.emplace(f["key"], f);
        if (f["offset"].is_null()) {
            continue;
        }
        const std::size_t offset = f["offset"], width = f["width"];
        if (f.contains("countedBy")) {
            for (int i = 1; i <= settings; ++i) {
                out.places[{f["key"], i}] = {offset + static_cast<std::size_t>(i - 1) * width,
                                             width};
            }
        } else {
            out.places[{f["key"], std::stoi(f["index"].get<std::string>())}] = {offset, width};
        }
    }
    return out;
}

// Texts a device or a file system could hand the tool: markup in both text
// fields, and file names that are markup (one through a folder whose name
// ends in "<", so that the path reads "<script>...</script>").
struct Hostile {
    TempDir dir;
    std::string blockPath, scriptName, imgName;
    Hostile() {
        writeFile(dir.path("values.json"),
                  R"({"CuttingCommandName": "<script>", "CuttingCommandVersion": "\\xFF<&",)"
                  R"( "HeaterTemperature": [1, 2, 3, 4], "ActivatedPinchRoller": 0})");
        blockPath = dir.path("hostile.bin");
        tool({"encode", dir.path("values.json"), "-o", blockPath}, "/dev/null");
        scriptName = dir.path("<script>alert(1)</script>");
        imgName = dir.path("<img src=x onerror=alert(2)>\xff.bin");
        shell("mkdir -p " + shellQuoted(dir.path("<script>alert(1)<")) + " && cp " +
              shellQuoted(blockPath) + " " + shellQuoted(scriptName) + " && cp " +
              shellQuoted(blockPath) + " " + shellQuoted(imgName));
    }
};

TEST(HtmlPage, DataParsesAndEveryKindPassesTidy) {
    TempDir dir;
    Hostile hostile;
    const std::vector<std::vector<std::string>> kinds = {
        {"--format", "html", block("all-pinch-rollers")},
        {"--format", "html", hostile.scriptName},
        {"diff", block("normal-operation"), block("heater-fault"), "--format", "html"},
        {"--format", "html", EXAMPLES_DIR "/blocks", hostile.imgName, dir.path("missing.bin")},
    };
    const bool haveTidy = shell("command -v tidy >/dev/null 2>&1") == 0;
    for (const auto& args : kinds) {
        const std::string page = dir.path("page.html");
        const int code = tool(args, page);
        EXPECT_LE(code, 3) << args.back();
        std::string html = readFile(page);
        EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
        const Json data = pageData(html);
        ASSERT_TRUE(data.is_object()) << args.back();
        EXPECT_FALSE(data["inputs"].empty());
        // Nothing outside the page: no address of any kind (the SVG
        // namespace is a name, not a place to fetch from).
        const std::string svgNamespace = "http://www.w3.org/2000/svg";
        for (std::size_t at; (at = html.find(svgNamespace)) != std::string::npos;) {
            html.erase(at, svgNamespace.size());
        }
        for (const char* outside :
             {"http:", "https:", "<link", "<img", "<iframe", " src=\"", "@import", "url("}) {
            EXPECT_EQ(html.find(outside), std::string::npos) << outside << " in " << args.back();
        }
        if (haveTidy) {
            // Warnings are errors: tidy exits 1 for a warning, 2 for an error.
            EXPECT_EQ(shell("tidy -q -e -utf8 --show-warnings yes " + shellQuoted(page) + " 2>" +
                            shellQuoted(dir.path("tidy"))),
                      0)
                << readFile(dir.path("tidy"));
        }
    }
    if (!haveTidy) {
        GTEST_SKIP() << "tidy is not installed: the pages were not checked with it";
    }
}

TEST(HtmlPage, OutputFileAndConflicts) {
    TempDir dir;
    EXPECT_EQ(tool({"--format", "html", block("normal-operation"), "-o", dir.path("p.html")},
                   dir.path("stdout")),
              0);
    EXPECT_EQ(readFile(dir.path("stdout")), "");
    EXPECT_TRUE(pageData(readFile(dir.path("p.html"))).is_object());
    EXPECT_EQ(tool({"--format", "html", "--annotate", block("normal-operation")}, "/dev/null"), 2);
    EXPECT_EQ(tool({"--format", "html", block("normal-operation"), "-o", dir.path("no/p.html")},
                   "/dev/null"),
              6);
}

class InBrowser : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string chromium = devtools::findChromium();
        if (chromium.empty()) {
            GTEST_SKIP() << "chromium is not installed: browser test skipped";
        }
        browser_ = std::make_unique<devtools::Browser>(chromium);
        page_ = std::make_unique<devtools::Page>(*browser_);
    }

    // The tool's page for args, opened in the browser.
    int open(const std::vector<std::string>& args, const std::string& fragment = "") {
        std::vector<std::string> all = args;
        all.insert(all.end(), {"--format", "html"});
        const int code = tool(all, dir_.path("page.html"));
        page_->open("file://" + dir_.path("page.html") + fragment);
        EXPECT_EQ(page_->eval("document.documentElement.dataset.ready"), "true");
        return code;
    }

    Json eval(const std::string& expression) { return page_->eval(expression); }

    // Waits (a few seconds at most) until expression is true: what a click
    // starts, such as a hash change, happens after it.
    bool becomes(const std::string& expression) {
        return eval(
                   "new Promise(ok => { const t0 = Date.now(); (function poll() {"
                   " if (" +
                   expression +
                   ") ok(true); else if (Date.now() - t0 > 5000) ok(false);"
                   " else setTimeout(poll, 20); })(); })") == true;
    }

    // The byte offsets lit in a view's hex grid (and the text column must
    // agree with it).
    std::set<std::size_t> lit(const std::string& view) {
        std::set<std::size_t> hex, text;
        for (const Json& i : eval("[...document.querySelectorAll('" + view +
                                  " .hex span.hl')].map(s => Number(s.dataset.i))")) {
            hex.insert(i.get<std::size_t>());
        }
        for (const Json& i : eval("[...document.querySelectorAll('" + view +
                                  " .txt span.hl')].map(s => Number(s.dataset.i))")) {
            text.insert(i.get<std::size_t>());
        }
        EXPECT_EQ(hex, text);
        return hex;
    }

    // The rows of a view's field table: column id, key, index.
    std::vector<std::tuple<int, std::string, int>> rows(const std::string& view) {
        std::vector<std::tuple<int, std::string, int>> out;
        for (const Json& r : eval("[...document.querySelectorAll('" + view +
                                  " table.fields tbody tr')].map(r => [Number(r.dataset.col),"
                                  " r.querySelector('.key').textContent,"
                                  " Number(r.querySelector('.index').textContent)])")) {
            out.emplace_back(r[0].get<int>(), r[1].get<std::string>(), r[2].get<int>());
        }
        return out;
    }

    // body (a JavaScript function of the RGBA bytes) applied to the pixels
    // of a PNG, decoded by the browser itself in a page of its own.
    Json pixels(const std::string& png, const std::string& body) {
        devtools::Page probe(*browser_, 200, 200);
        return probe.eval(
            "new Promise((ok, bad) => { const img = new Image(); img.onload = () => {"
            " const c = document.createElement('canvas'); c.width = img.width;"
            " c.height = img.height; const g = c.getContext('2d'); g.drawImage(img, 0, 0);"
            " ok(Object.assign({width: c.width}, (" +
            body +
            ")(g.getImageData(0, 0, c.width, c.height).data))); };"
            " img.onerror = bad; img.src = 'data:image/png;base64," +
            png + "'; })");
    }

    // The screenshot has something on it: many colours, neither empty nor
    // all ink.
    void expectNotBlank(const std::string& what) {
        const Json seen = pixels(page_->screenshot(),
                                 "d => { const colours = new Set(); let ink = 0;"
                                 " for (let i = 0; i < d.length; i += 4) {"
                                 " const v = (d[i] << 16) | (d[i + 1] << 8) | d[i + 2];"
                                 " colours.add(v); if (v !== 0xffffff) ++ink; }"
                                 " return {colours: colours.size, ink: ink / (d.length / 4)}; }");
        EXPECT_EQ(seen["width"], 1400) << what;
        EXPECT_GT(seen["colours"].get<int>(), 16) << what;
        EXPECT_GT(seen["ink"].get<double>(), 0.02) << what;
        EXPECT_LT(seen["ink"].get<double>(), 0.9) << what;
    }

    // How many of the elements selector finds the page renders.
    int rendered(const std::string& selector) {
        return eval("[...document.querySelectorAll('" + selector +
                    "')].filter(e => e.checkVisibility()).length");
    }

    TempDir dir_;
    std::unique_ptr<devtools::Browser> browser_;
    std::unique_ptr<devtools::Page> page_;
};

// Every key the dictionary knows has its rows; pointing at a row (pointer
// or keyboard) lights exactly that field's bytes, and pointing at a byte
// lights exactly the fields that read it.
TEST_F(InBrowser, BlockPageLinksEveryFieldToExactlyItsBytes) {
    ASSERT_EQ(open({block("all-pinch-rollers")}), 0);
    const auto [describedKeys, places, dictionary] = described(16);
    const auto table = rows("#input-1");
    EXPECT_EQ(table.size(), 38u);
    std::set<std::string> keys;
    for (const auto& [col, key, index] : table) {
        keys.insert(key);
    }
    EXPECT_EQ(keys, describedKeys);

    for (const auto& [col, key, index] : table) {
        const std::string row = "#input-1 tr[data-col=\"" + std::to_string(col) + "\"]";
        std::set<std::size_t> expected;
        const auto place = places.find({key, index});
        if (place != places.end()) {
            for (std::size_t i = 0; i < place->second.width; ++i) {
                expected.insert(place->second.offset + i);
            }
        }
        // The row says what the dictionary knows of the field.
        const Json& entry = dictionary.at(key);
        const std::string readAs = eval("document.querySelector('" + row + " .read').textContent");
        for (const char* fact : {"type", "readWith", "countedBy"}) {
            if (entry.contains(fact)) {
                EXPECT_NE(readAs.find(entry[fact].get<std::string>()), std::string::npos)
                    << key << ": " << readAs;
            }
        }
        page_->hover(row);
        EXPECT_EQ(lit("#input-1"), expected) << key << "[" << index << "] by pointer";
        page_->hover("h1");
        EXPECT_TRUE(lit("#input-1").empty());
        // The pointer to the page's margin, where the focus's scrolling
        // cannot bring a byte under it.
        browser_->call("Input.dispatchMouseEvent", {{"type", "mouseMoved"}, {"x", 1}, {"y", 1}},
                       page_->session());
        page_->focus(row);
        EXPECT_EQ(lit("#input-1"), expected) << key << "[" << index << "] by focus";
        if (place == places.end()) {
            continue;
        }
        const std::string byte = "#input-1 .hex span[data-i=\"" +
                                 std::to_string(place->second.offset + place->second.width - 1) +
                                 "\"]";
        page_->hover(byte);
        EXPECT_EQ(eval("[...document.querySelectorAll('#input-1 tr.hl')].map(r => "
                       "r.querySelector('.key').textContent + '[' + "
                       "r.querySelector('.index').textContent + ']')"),
                  Json::array({key + "[" + std::to_string(index) + "]"}));
        EXPECT_EQ(lit("#input-1"), expected);
    }
    // Bytes no field reads carry no colour and light nothing.
    EXPECT_EQ(eval("document.querySelector('#input-1 .hex span[data-i=\"64\"]').className"), "");
    page_->hover("#input-1 .hex span[data-i=\"64\"]");
    EXPECT_TRUE(lit("#input-1").empty());
    // Nothing was fetched: the page is all there is.
    EXPECT_EQ(eval("performance.getEntriesByType('resource').length"), 0);

    page_->focus("#input-1 input[type=search]");
    page_->type("heaterstat");
    EXPECT_EQ(eval("[...document.querySelectorAll('#input-1 table.fields tbody tr')]"
                   ".filter(r => !r.hidden).map(r => r.querySelector('.key').textContent)"),
              Json::array({"HeaterStatus", "HeaterStatus", "HeaterStatus", "HeaterStatus"}));
    expectNotBlank("block page");
}

// Markup in the text fields and in file names shows as text: no element is
// made of it, no script of it runs, and non-UTF-8 bytes read \xHH.
TEST_F(InBrowser, HostileTextsStayText) {
    Hostile hostile;
    ASSERT_EQ(open({hostile.scriptName}), 0);
    auto expectInert = [&](const std::string& what) {
        EXPECT_EQ(page_->dialogs(), 0) << what;
        EXPECT_EQ(eval("document.querySelectorAll('script').length"), 2) << what;
        EXPECT_EQ(eval("document.querySelectorAll('img, iframe, object, embed, b').length"), 0)
            << what;
    };
    expectInert("block page");
    // The grid shows the block's bytes, every one of them.
    std::string hex;
    for (const unsigned char c : readFile(hostile.scriptName)) {
        hex += "0123456789abcdef"[c >> 4];
        hex += "0123456789abcdef"[c & 0xF];
    }
    EXPECT_EQ(eval("[...document.querySelectorAll('#input-1 .hex span')].map(s => "
                   "s.textContent).join('')"),
              hex);
    EXPECT_EQ(eval("document.querySelector('#input-1 h2').textContent"), hostile.scriptName);
    EXPECT_EQ(eval("document.title"), hostile.scriptName + " - QLX5100 status block");
    EXPECT_EQ(eval("[...document.querySelectorAll('#input-1 tr')].filter(r => "
                   "r.dataset.key && r.dataset.key.startsWith('CuttingCommand'))"
                   ".map(r => r.querySelector('.value').textContent)"),
              Json::array({"<script>", "\\xFF<&"}));
    // Pointing at the fields renders nothing new either.
    page_->hover("#input-1 tr[data-key=CuttingCommandName]");
    expectInert("after pointing");
}

// The changes come first, as diff lists them; exactly the bytes that differ
// are marked, in both grids; a changed field lights its bytes in both.
TEST_F(InBrowser, DiffPageMarksExactlyTheChangedBytes) {
    const std::string a = block("normal-operation"), b = block("heater-fault");
    ASSERT_EQ(open({"diff", a, b}), 1);
    TempDir d;
    tool({"diff", a, b, "--format", "json"}, d.path("diff.json"));
    Json expected = Json::array();
    for (const Json& change : Json::parse(readFile(d.path("diff.json")))) {
        expected.push_back({change["key"], std::to_string(change["index"].get<int>()),
                            change["old"].is_null() ? "(absent)" : change["old"],
                            change["new"].is_null() ? "(absent)" : change["new"]});
    }
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(eval("[...document.querySelectorAll('table.changes tbody tr')].map(r => "
                   "[...r.cells].filter((c, i) => i !== 2 && i !== 3).map(c => c.textContent))"),
              expected);
    EXPECT_EQ(eval("document.querySelector('main').firstElementChild.id"), "changes");

    const std::string before = readFile(a), after = readFile(b);
    Json differing = Json::array();
    for (std::size_t i = 0; i < std::max(before.size(), after.size()); ++i) {
        if (i >= before.size() || i >= after.size() || before[i] != after[i]) {
            differing.push_back(i);
        }
    }
    ASSERT_FALSE(differing.empty());
    for (const char* view : {"#input-1", "#input-2"}) {
        for (const char* column : {"hex", "txt"}) {
            EXPECT_EQ(eval(std::string("[...document.querySelectorAll('") + view + " ." + column +
                           " span.diff')].map(s => Number(s.dataset.i))"),
                      differing)
                << view << " " << column;
        }
        // None of them folded away.
        EXPECT_EQ(rendered(std::string(view) + " .hex span.diff"),
                  static_cast<int>(differing.size()))
            << view;
    }
    // Both grids fold the same lines, so that they stay side by side.
    const auto folds = [&](const std::string& view) {
        return eval("[...document.querySelectorAll('" + view +
                    " .grid summary')].map(s => s.textContent)");
    };
    EXPECT_EQ(folds("#input-1"), folds("#input-2"));
    EXPECT_EQ(rendered("#input-1 .grid .line"), rendered("#input-2 .grid .line"));

    // HeaterTemperature[2] at 0x46 is in both blocks; the third pressure
    // setting only in the old one.
    page_->hover("table.changes tr[data-col]:nth-child(4)");
    EXPECT_EQ(eval("document.querySelector('table.changes tr.hl').cells[0].textContent"),
              "HeaterTemperature");
    EXPECT_EQ(lit("#input-1"), std::set<std::size_t>{0x46});
    EXPECT_EQ(lit("#input-2"), std::set<std::size_t>{0x46});
    page_->hover("table.changes tr[data-col]:nth-child(9)");
    EXPECT_EQ(lit("#input-1"), std::set<std::size_t>{0x344});
    EXPECT_TRUE(lit("#input-2").empty());
    // Each block's table marks the changed fields it has: the new block lacks
    // two of the settings.
    const int changes = static_cast<int>(expected.size());
    EXPECT_EQ(eval("document.querySelectorAll('#input-1 tr.changed').length"), changes);
    EXPECT_EQ(eval("document.querySelectorAll('#input-2 tr.changed').length"), changes - 2);
    expectNotBlank("diff page");

    // A byte no field reads, changed in the middle of zeros: both decode the
    // same, yet differ (exit 1), and the byte's line is shown in both grids,
    // unfolded.
    std::string stray = readFile(a);
    stray[0x200] = '\x7f';
    writeFile(dir_.path("stray.bin"), stray);
    ASSERT_EQ(open({"diff", a, dir_.path("stray.bin")}), 1);
    EXPECT_EQ(rendered("#input-1 .hex span.diff"), 1);
    EXPECT_EQ(rendered("#input-2 .hex span.diff"), 1);
    EXPECT_EQ(folds("#input-1"), folds("#input-2"));
}

// The values of each input of a batch, from the tool's table output (not
// from the page): "KEY[INDEX]" to the value, empty for a failed input.
std::vector<std::map<std::string, std::string>> batchTable(const std::vector<std::string>& args) {
    TempDir d;
    std::vector<std::string> all = args;
    all.insert(all.end(), {"--format", "table"});
    tool(all, d.path("table"));
    std::vector<std::map<std::string, std::string>> out;
    std::istringstream lines(readFile(d.path("table")));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("== ", 0) == 0) {
            out.emplace_back();
            continue;
        }
        std::istringstream words(line);
        std::string key, index, value;
        if (!(words >> key >> index) || key == "KEY" || key == "error:") {
            continue;
        }
        std::getline(words >> std::ws, value);
        out.back()[key + "[" + index + "]"] = value;
    }
    return out;
}

// One row per input in order, failed ones with their error; a cell is marked
// exactly where it differs from the nearest decoded input above; the chart
// has one point per decoded input in every series; rows link to blocks.
TEST_F(InBrowser, BatchPageOverviewChartAndLinks) {
    Hostile hostile;
    const std::vector<std::string> inputs = {EXAMPLES_DIR "/blocks", hostile.imgName,
                                             hostile.dir.path("missing.bin"), hostile.scriptName};
    ASSERT_EQ(open(inputs), 3);
    const auto expected = batchTable(inputs);
    ASSERT_EQ(expected.size(), 7u);
    const Json heads = eval(
        "[...document.querySelectorAll('#overview-table thead th')]"
        ".map(h => h.textContent)");
    const Json rows = eval(
        "[...document.querySelectorAll('#overview-table tbody tr')].map(r => "
        "({failed: r.classList.contains('failed'), file: "
        "r.cells[1].textContent, cells: [...r.cells].slice(2).map(c => "
        "[c.textContent, c.classList.contains('chg')])}))");
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[4]["file"], hostile.dir.path("<img src=x onerror=alert(2)>\\xFF.bin"));
    EXPECT_TRUE(rows[5]["failed"]);
    EXPECT_NE(rows[5]["cells"][0][0].get<std::string>().find("No such file"), std::string::npos);
    EXPECT_EQ(rows[6]["file"], hostile.scriptName);
    const std::map<std::string, std::string>* previous = nullptr;
    int marked = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r]["failed"]) {
            EXPECT_TRUE(expected[r].empty());
            continue;
        }
        for (std::size_t c = 0; c < rows[r]["cells"].size(); ++c) {
            const std::string column = heads[c + 2];
            const auto value = [&](const std::map<std::string, std::string>& m) {
                const auto found = m.find(column);
                return found == m.end() ? std::string() : found->second;
            };
            EXPECT_EQ(rows[r]["cells"][c][0], value(expected[r])) << r << " " << column;
            const bool differs = previous != nullptr && value(*previous) != value(expected[r]);
            EXPECT_EQ(rows[r]["cells"][c][1], differs) << r << " " << column;
            marked += differs;
        }
        previous = &expected[r];
    }
    EXPECT_GT(marked, 10);

    const auto points = [&] {
        return eval(
            "[...document.querySelectorAll('#chart g.series')].map(g => "
            "[...g.querySelectorAll('.pt')].map(c => Number(c.dataset.input)))");
    };
    const Json decoded = {1, 2, 3, 4, 5, 7};
    EXPECT_EQ(points(), Json::array({decoded, decoded, decoded, decoded}));
    eval(
        "(() => { const s = document.getElementById('chart-field');"
        " s.value = [...s.options].find(o => o.textContent === 'TotalPinchRoller[1]').value;"
        " s.dispatchEvent(new Event('change')); })()");
    EXPECT_EQ(points(), Json::array({decoded}));
    // Higher values are drawn higher up.
    const Json ys = eval(
        "[...document.querySelectorAll('#chart .pt')].map(c => { const b = c.getBBox();"
        " return b.y + b.height / 2; })");
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        for (std::size_t j = 0; j < decoded.size(); ++j) {
            const auto v = [&](std::size_t k) {
                return std::stoi(
                    expected[decoded[k].get<std::size_t>() - 1].at("TotalPinchRoller[1]"));
            };
            if (v(i) > v(j)) {
                EXPECT_LT(ys[i].get<double>(), ys[j].get<double>());
            }
        }
    }
    EXPECT_EQ(page_->dialogs(), 0);
    EXPECT_EQ(eval("document.querySelectorAll('img, iframe, object, embed, b').length"), 0);
    expectNotBlank("batch page");

    page_->click("#overview-table tbody tr:nth-child(2) td.file a");
    ASSERT_TRUE(becomes("document.querySelector('#views #input-2')"));
    EXPECT_EQ(eval("location.hash"), "#input-2");
    EXPECT_EQ(eval("document.querySelector('#views #input-2 h2').textContent"),
              EXAMPLES_DIR "/blocks/heater-fault.bin");
    EXPECT_EQ(eval("document.querySelectorAll('#views #input-2 table.fields tbody tr').length"),
              static_cast<int>(expected[1].size()));
    page_->hover("#input-2 tr[data-key=HeaterTemperature]");
    EXPECT_EQ(lit("#input-2"), std::set<std::size_t>{0x44});
    page_->click("#overview-table tbody tr:nth-child(6) td.file a");
    ASSERT_TRUE(becomes("document.querySelector('#views #input-6')"));
    EXPECT_NE(eval("document.querySelector('#views #input-6 .error').textContent")
                  .get<std::string>()
                  .find("No such file"),
              std::string::npos);
}

// A large batch shows its overview a range of rows at a time; every input
// is still a row of some range, marked against the row above it even across
// ranges, and a point of the chart.
TEST_F(InBrowser, LargeBatchShowsRowsByRange) {
    TempDir inputs;
    for (int i = 1; i <= 300; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/b%03d.bin", i);
        writeFile(inputs.path("") + name,
                  readFile(block(i % 2 == 1 ? "normal-operation" : "heater-fault")));
    }
    ASSERT_EQ(open({inputs.path("")}), 0);
    const auto shownRows = [&] {
        return eval(
            "[...document.querySelectorAll('#overview-table tbody tr')].map(r => "
            "Number(r.cells[0].textContent))");
    };
    const Json first = shownRows();
    ASSERT_GT(first.size(), 20u);
    ASSERT_LT(first.size(), 300u);
    EXPECT_EQ(first[0], 1);
    EXPECT_EQ(first.back(), static_cast<int>(first.size()));
    const Json ranges = eval(
        "[...document.querySelectorAll('#overview-rows option')].map(o => "
        "o.value)");
    Json seen = first;
    for (std::size_t r = 1; r + 1 < ranges.size(); ++r) {
        eval("(() => { const s = document.getElementById('overview-rows'); s.value = '" +
             ranges[r].get<std::string>() + "'; s.dispatchEvent(new Event('change')); })()");
        for (const Json& n : shownRows()) {
            seen.push_back(n);
        }
        // HeaterTemperature[2] alternates between the two blocks.
        EXPECT_EQ(eval("[...document.querySelectorAll('#overview-table tbody tr')].every(r => "
                       "r.cells[6].classList.contains('chg'))"),
                  true);
    }
    EXPECT_EQ(ranges.back(), "all");
    Json all = Json::array();
    for (int i = 1; i <= 300; ++i) {
        all.push_back(i);
    }
    EXPECT_EQ(seen, all);
    EXPECT_EQ(eval("document.querySelectorAll('#overview-table thead th')[6].textContent"),
              "HeaterTemperature[2]");
    EXPECT_EQ(eval("[...document.querySelectorAll('#chart g.series')].map(g => "
                   "g.querySelectorAll('.pt').length)"),
              Json::array({300, 300, 300, 300}));
}

// A printout keeps the grids and the tables and drops every control: in print
// media no input or select is rendered, and the page prints to a PDF.
// The expert checks' notes: one beside the field it concerns, one about the
// whole block above its grid.
TEST_F(InBrowser, WarningsStandBesideTheirFieldAndAboveTheBlock) {
    writeFile(dir_.path("v.json"), R"({"TotalPinchRoller": 2, "ActivatedPinchRoller": 3,)"
                                   R"( "PinchRollerPressureSetting": [1, 2, 3]})");
    ASSERT_EQ(tool({"encode", dir_.path("v.json"), "-o", dir_.path("w.bin")}, "/dev/null"), 0);
    ASSERT_EQ(shell("printf 'abc' >>" + shellQuoted(dir_.path("w.bin"))), 0);
    ASSERT_EQ(open({dir_.path("w.bin")}), 0);
    const std::string beside =
        eval("document.querySelector('tr[data-key=ActivatedPinchRoller] .warn').textContent");
    EXPECT_NE(beside.find("TotalPinchRoller"), std::string::npos) << beside;
    EXPECT_EQ(eval("document.querySelector('tr[data-key=HeaterStatus] .warn').textContent"), "");
    const std::string above = eval("document.querySelector('.block ul.notes').textContent");
    EXPECT_NE(above.find("1027 bytes, 3 past 1024"), std::string::npos) << above;
}

TEST_F(InBrowser, PrintShowsGridsAndTablesWithoutControls) {
    ASSERT_EQ(open({EXAMPLES_DIR "/blocks"}), 0);
    eval("location.hash = '#input-1'");  // a batch prints its overview and the chosen block
    browser_->call("Emulation.setEmulatedMedia", {{"media", "print"}}, page_->session());
    const auto shown = [&](const std::string& selector) {
        return eval("[...document.querySelectorAll('" + selector +
                    "')].filter(e => e.getClientRects().length > 0).length");
    };
    EXPECT_EQ(shown("input, select, .filter, .controls"), 0);
    EXPECT_GT(shown("#overview-table").get<int>(), 0);
    EXPECT_GT(shown(".grid").get<int>(), 0);
    EXPECT_GT(shown("table.fields").get<int>(), 0);
    // Lit bytes and rows print without their screen highlight.
    page_->hover("table.fields tbody tr");
    EXPECT_EQ(eval("getComputedStyle(document.querySelector('tr.hl > td')).backgroundColor"),
              "rgba(0, 0, 0, 0)");
    const Json pdf =
        browser_->call("Page.printToPDF", {{"printBackground", true}}, page_->session());
    EXPECT_EQ(pdf["data"].get<std::string>().rfind("JVBERi0", 0), 0u);  // "%PDF-"
    EXPECT_GT(pdf["data"].get<std::string>().size(), 20000u);
}

// "rgb(r, g, b)" in OKLab, where distance follows how different two colours
// look, and its relative luminance, for WCAG's contrast ratio.
struct Colour {
    double L, a, b, luminance;
};

Colour colour(const std::string& css) {
    double rgb[3] = {0, 0, 0};
    EXPECT_EQ(std::sscanf(css.c_str(), "rgb(%lf, %lf, %lf)", &rgb[0], &rgb[1], &rgb[2]), 3) << css;
    for (double& c : rgb) {
        c /= 255;
        c = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    }
    const double l =
        std::cbrt(0.4122214708 * rgb[0] + 0.5363325363 * rgb[1] + 0.0514459929 * rgb[2]);
    const double m =
        std::cbrt(0.2119034982 * rgb[0] + 0.6806995451 * rgb[1] + 0.1073969566 * rgb[2]);
    const double s =
        std::cbrt(0.0883024619 * rgb[0] + 0.2817188376 * rgb[1] + 0.6299787005 * rgb[2]);
    return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s,
            1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
            0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s,
            0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2]};
}

// Every key with bytes in the block has a colour in the grid that no other
// key has, far enough from each other one to tell apart at a glance, and
// the bytes' text stays legible on it.
TEST_F(InBrowser, EveryKeyHasAColourOfItsOwn) {
    ASSERT_EQ(open({block("all-pinch-rollers")}), 0);
    std::map<std::string, std::size_t> firstByte;
    for (const auto& [column, place] : described(16).places) {
        firstByte.emplace(column.first, place.offset);
    }
    ASSERT_EQ(firstByte.size(), 13u);
    std::map<std::string, std::pair<std::string, Colour>> seen;  // key: css, colour
    for (const auto& [key, offset] : firstByte) {
        const Json style = eval(
            "(() => { const s = getComputedStyle(document.querySelector("
            "'#input-1 .hex span[data-i=\"" +
            std::to_string(offset) + "\"]')); return [s.backgroundColor, s.color]; })()");
        const Colour background = colour(style[0]), text = colour(style[1]);
        seen[key] = {style[0], background};
        EXPECT_GE((background.luminance + 0.05) / (text.luminance + 0.05), 7.0) << key;
        // The table's swatch is the same colour.
        EXPECT_EQ(eval("getComputedStyle(document.querySelector('#input-1 tr[data-key=" + key +
                       "] .swatch')).backgroundColor"),
                  style[0])
            << key;
    }
    for (auto a = seen.begin(); a != seen.end(); ++a) {
        for (auto b = std::next(a); b != seen.end(); ++b) {
            const Colour &x = a->second.second, &y = b->second.second;
            EXPECT_NE(a->second.first, b->second.first) << a->first << " " << b->first;
            EXPECT_GE(std::hypot(x.L - y.L, x.a - y.a, x.b - y.b), 0.05)
                << a->first << " " << a->second.first << ", " << b->first << " " << b->second.first;
        }
    }
}

// Lines of zeros that hold no field fold, two or more at a time, into one
// line that says how many bytes it stands for; every field's bytes stay in
// sight. A fold opens on a click or from the keyboard, and prints folded.
TEST_F(InBrowser, ZeroLinesFoldAndEveryFieldStaysInSight) {
    const std::string path = block("all-pinch-rollers");
    ASSERT_EQ(open({path}), 0);
    const std::string bytes = readFile(path);
    std::set<std::size_t> fieldBytes;
    for (const auto& [column, place] : described(16).places) {
        for (std::size_t i = place.offset; i < place.offset + place.width; ++i) {
            fieldBytes.insert(i);
        }
    }
    // The lines to show, and the folds as the byte counts they stand for.
    int lines = 0;
    std::vector<int> folds;
    for (std::size_t line = 0, quiet = 0; line <= bytes.size() / 16; ++line) {
        bool busy = line == bytes.size() / 16;  // past the end: closes the last run
        for (std::size_t i = line * 16; i < std::min(bytes.size(), line * 16 + 16); ++i) {
            busy = busy || bytes[i] != 0 || fieldBytes.count(i) != 0;
        }
        if (!busy) {
            ++quiet;
            continue;
        }
        if (quiet >= 2) {
            folds.push_back(static_cast<int>(quiet * 16));
        }
        lines += static_cast<int>(quiet >= 2 ? 1 : quiet) + (line < bytes.size() / 16);
        quiet = 0;
    }
    ASSERT_GE(folds.size(), 2u);
    const std::string lineSelector = "#input-1 .grid .line, #input-1 .grid summary";
    EXPECT_EQ(rendered(lineSelector), lines);
    const Json says = eval(
        "[...document.querySelectorAll('#input-1 .grid summary')]"
        ".map(s => s.textContent)");
    ASSERT_EQ(says.size(), folds.size());
    for (std::size_t f = 0; f < folds.size(); ++f) {
        EXPECT_NE(says[f].get<std::string>().find(std::to_string(folds[f]) + " zero bytes"),
                  std::string::npos)
            << says[f];
    }
    // Every byte of a field is in sight; only zeros are folded away.
    const Json shown = eval(
        "[...document.querySelectorAll('#input-1 .hex span')]"
        ".filter(s => s.checkVisibility()).map(s => Number(s.dataset.i))");
    const std::set<std::size_t> inSight(shown.begin(), shown.end());
    EXPECT_TRUE(
        std::includes(inSight.begin(), inSight.end(), fieldBytes.begin(), fieldBytes.end()));
    EXPECT_EQ(
        inSight.size() + static_cast<std::size_t>(std::accumulate(folds.begin(), folds.end(), 0)),
        bytes.size());

    page_->click("#input-1 .grid details:nth-of-type(1) > summary");
    EXPECT_EQ(rendered(lineSelector), lines + folds[0] / 16);
    page_->focus("#input-1 .grid details:nth-of-type(2) > summary");
    page_->press("Enter", 13);
    EXPECT_EQ(rendered(lineSelector), lines + (folds[0] + folds[1]) / 16);
    browser_->call("Emulation.setEmulatedMedia", {{"media", "print"}}, page_->session());
    EXPECT_EQ(rendered(lineSelector), lines);
}

// A block the analyzer refuses still shows the bytes it has beside its
// error, and its fields' places; an input that could not be read shows no
// bytes (not those of the input before it).
TEST_F(InBrowser, RefusedBlockShowsTheBytesItHas) {
    const std::string whole = readFile(block("normal-operation"));
    writeFile(dir_.path("short.bin"), whole.substr(0, 0x4a));
    ASSERT_EQ(open({dir_.path("short.bin")}), 3);
    const std::string error = eval("document.querySelector('#input-1 .error').textContent");
    EXPECT_NE(error.find("74 bytes"), std::string::npos) << error;
    std::string hex;
    for (const unsigned char c : whole.substr(0, 0x4a)) {
        hex += "0123456789abcdef"[c >> 4];
        hex += "0123456789abcdef"[c & 0xF];
    }
    EXPECT_EQ(eval("[...document.querySelectorAll('#input-1 .hex span')].map(s => "
                   "s.textContent).join('')"),
              hex);
    EXPECT_EQ(rendered("#input-1 .hex span"), 0x4a - 0x40);  // the zeros before fold
    // The heaters that fit, three of each, with their places but no values.
    EXPECT_EQ(eval("[...document.querySelectorAll('#input-1 table.fields tbody tr')].map(r => "
                   "r.dataset.key + ' ' + r.querySelector('.value').textContent)"),
              Json::array({"HeaterTemperature not decoded", "HeaterStatus not decoded",
                           "HeaterTemperature not decoded", "HeaterStatus not decoded",
                           "HeaterTemperature not decoded", "HeaterStatus not decoded"}));

    page_->open("about:blank");  // else only the fragment changes, and nothing loads
    ASSERT_EQ(open({block("normal-operation"), dir_.path("missing.bin")}, "#input-2"), 3);
    ASSERT_TRUE(becomes("document.querySelector('#views #input-2')"));
    EXPECT_NE(eval("document.querySelector('#input-2 .error').textContent")
                  .get<std::string>()
                  .find("missing.bin"),
              std::string::npos);
    EXPECT_EQ(eval("document.querySelectorAll('#input-2 .grid').length"), 0);
}

// A batch of count copies of a block, HeaterTemperature[1] and [2] set by
// temperature(i) (i from 0), written as files into dir.
void writeBatch(const TempDir& dir, int count, const std::function<int(int)>& temperature) {
    const auto places = described(0).places;
    std::string bytes = readFile(block("normal-operation"));
    for (int i = 0; i < count; ++i) {
        bytes[places.at({"HeaterTemperature", 1}).offset] = static_cast<char>(temperature(i));
        bytes[places.at({"HeaterTemperature", 2}).offset] = static_cast<char>(temperature(i));
        char name[32];
        std::snprintf(name, sizeof name, "/b%05d.bin", i + 1);
        writeFile(dir.path("") + name, bytes);
    }
}

// Round ticks in the data's own steps, labels inside the chart, for a batch
// of three and one of ten thousand, for a field that varies and one that
// does not.
TEST_F(InBrowser, ChartTicksAreRoundAndNoLabelIsCut) {
    for (const int count : {3, 10000}) {
        TempDir inputs;
        writeBatch(inputs, count, [](int i) { return i * 61 % 133 - 5; });
        ASSERT_EQ(open({inputs.path("")}), 0);
        for (const std::string field : {"heaters", "TotalPinchRoller[1]"}) {
            const std::string what = std::to_string(count) + " inputs, " + field;
            eval(
                "(() => { const s = document.getElementById('chart-field');"
                " s.value = [...s.options].find(o => o.value === '" +
                field + "' || o.textContent === '" + field +
                "').value; s.dispatchEvent(new Event('change')); })()");
            // The values drawn, from the markers' places, as the y ticks
            // place them.
            const Json y = eval(
                "(() => { const t = [...document.querySelectorAll('#chart text.tick.y')];"
                " const at = t.map(e => Number(e.getAttribute('y')) - 4);"
                " const v = t.map(e => Number(e.textContent));"
                " const ys = [...document.querySelectorAll('#chart .pt')].map(p => {"
                " const b = p.getBBox(); return b.y + b.height / 2; });"
                " const value = py => v[0] + (py - at[0]) * (v[1] - v[0]) / (at[1] - at[0]);"
                " return {ticks: t.map(e => e.textContent), low: Math.min(...ys.map(value)),"
                " high: Math.max(...ys.map(value))}; })()");
            std::vector<long> ticks;
            for (const Json& t : y["ticks"]) {
                const std::string text = t;
                ASSERT_EQ(text.find_first_not_of("-0123456789"), std::string::npos)
                    << what << ": " << text;  // integer fields, integer ticks
                ticks.push_back(std::stol(text));
            }
            std::sort(ticks.begin(), ticks.end());
            ASSERT_GE(ticks.size(), 3u) << what;
            EXPECT_LE(ticks.size(), 12u) << what;
            const long step = ticks[1] - ticks[0];
            long power = 1;
            while (power * 10 <= step) {
                power *= 10;
            }
            EXPECT_TRUE(step == power || step == 2 * power || step == 5 * power) << what;
            for (std::size_t i = 0; i < ticks.size(); ++i) {
                EXPECT_EQ(ticks[i] % step, 0) << what;
                EXPECT_EQ(ticks[i] - ticks[0], static_cast<long>(i) * step) << what;
            }
            EXPECT_LE(ticks.front(), y["low"].get<double>() + 0.5) << what;
            EXPECT_GE(ticks.back(), y["high"].get<double>() - 0.5) << what;

            const Json x = eval(
                "[...document.querySelectorAll('#chart text.tick.x')]"
                ".map(e => Number(e.textContent.slice(1)))");
            ASSERT_GE(x.size(), static_cast<std::size_t>(std::min(count, 3))) << what;
            EXPECT_EQ(x[0], 1) << what;
            const long xStep = x.size() > 2 ? x[2].get<long>() - x[1].get<long>() : 1;
            for (std::size_t i = 1; i < x.size(); ++i) {
                EXPECT_EQ(x[i].get<long>() % xStep, 0) << what << " " << x[i];
            }
            EXPECT_LE(x.back().get<long>(), count);
            // Every label lies inside the chart, and no two overlap.
            EXPECT_EQ(eval("(() => { const c = document.querySelector('#chart svg.plot')"
                           ".getBoundingClientRect();"
                           " const t = [...document.querySelectorAll('#chart svg.plot text')]"
                           ".map(e => e.getBoundingClientRect());"
                           " return t.filter(r => r.left < c.left || r.right > c.right ||"
                           " r.top < c.top || r.bottom > c.bottom).length +"
                           " t.filter((r, i) => t.some((q, j) => j < i && r.left < q.right &&"
                           " q.left < r.right && r.top < q.bottom && q.top < r.bottom)).length;"
                           " })()"),
                      0)
                << what;
        }
    }
}

// Two heaters at the same temperature throughout: both series are drawn,
// point for point, and told apart by more than colour; the legend says
// they are equal, and both colours reach the screen.
TEST_F(InBrowser, CoincidingSeriesAreBothSeen) {
    TempDir inputs;
    writeBatch(inputs, 12, [](int i) { return 20 + (i * 7) % 25; });
    ASSERT_EQ(open({inputs.path("")}), 0);
    const Json series = eval(
        "[...document.querySelectorAll('#chart svg.plot g.series')].map(g => ({"
        " points: [...g.querySelectorAll('.pt')].map(p => { const b = p.getBBox();"
        " return [Number(p.dataset.input), Math.round(b.y + b.height / 2)]; }),"
        " shape: g.querySelector('.pt').getAttribute('d').replace(/[-0-9.,]+/g, ''),"
        " line: (s => [s.stroke, s.strokeWidth, s.strokeDasharray].join(' '))"
        "(getComputedStyle(g.querySelector('polyline')))}))");
    ASSERT_EQ(series.size(), 4u);
    EXPECT_EQ(series[0]["points"].size(), 12u);
    EXPECT_EQ(series[0]["points"], series[1]["points"]);
    for (std::size_t a = 0; a < 4; ++a) {
        for (std::size_t b = a + 1; b < 4; ++b) {
            EXPECT_NE(series[a]["shape"], series[b]["shape"]) << a << " " << b;
            EXPECT_NE(series[a]["line"], series[b]["line"]) << a << " " << b;
        }
    }
    const Json legend = eval(
        "[...document.querySelectorAll('#chart .legend > span')]"
        ".map(s => s.textContent)");
    ASSERT_EQ(legend.size(), 4u);
    EXPECT_NE(legend[1].get<std::string>().find("the same as HeaterTemperature[1]"),
              std::string::npos)
        << legend[1];
    EXPECT_EQ(legend[0].get<std::string>().find("the same"), std::string::npos) << legend[0];
    // Each sample in the legend is a line's length, not a chart's.
    EXPECT_EQ(
        eval("[...document.querySelectorAll('#chart .legend svg')].every(s => {"
             " const r = s.getBoundingClientRect(); return r.width <= 40 && r.height <= 16; })"),
        true);

    const Json colours = eval(
        "[0, 1].map(s => getComputedStyle(document.querySelector('#chart svg.plot g.s' + s))"
        ".stroke.match(/\\d+/g).map(Number))");
    const Json count = pixels(page_->screenshot("#chart svg.plot"),
                              "d => ({counts: " + colours.dump() +
                                  ".map(c => { let n = 0; for (let i = 0; i < d.length; i += 4)"
                                  " if (Math.abs(d[i] - c[0]) + Math.abs(d[i + 1] - c[1]) +"
                                  " Math.abs(d[i + 2] - c[2]) < 30) ++n; return n; })})");
    EXPECT_GT(count["counts"][0].get<int>(), 200);
    EXPECT_GT(count["counts"][1].get<int>(), 200);
}

}  // namespace
