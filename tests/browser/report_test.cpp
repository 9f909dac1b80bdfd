// The --format html page: valid HTML with parseable data, and in a real
// browser (headless Chromium) what a user sees and points at. The browser
// tests are skipped, saying so, where no chromium is installed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <map>
#include <nlohmann/json.hpp>
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
};

Described described(int settings) {
    TempDir dir;
    tool({"--describe", "--format", "json"}, dir.path("d"));
    Described out;
    for (const Json& f : Json::parse(readFile(dir.path("d")))) {
        out.keys.insert(f["key"].get<std::string>());
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

    // The screenshot has something on it: many colours, neither empty nor
    // all ink. Measured by the browser itself, in a page of its own.
    void expectNotBlank(const std::string& what) {
        const std::string png = page_->screenshot();
        devtools::Page probe(*browser_, 200, 200);
        const Json seen = probe.eval(
            "new Promise((ok, bad) => { const img = new Image(); img.onload = () => {"
            " const c = document.createElement('canvas'); c.width = img.width;"
            " c.height = img.height; const g = c.getContext('2d'); g.drawImage(img, 0, 0);"
            " const d = g.getImageData(0, 0, c.width, c.height).data; const colours = new Set();"
            " let ink = 0; for (let i = 0; i < d.length; i += 4) {"
            " const v = (d[i] << 16) | (d[i + 1] << 8) | d[i + 2]; colours.add(v);"
            " if (v !== 0xffffff) ++ink; }"
            " ok({width: c.width, colours: colours.size, ink: ink / (d.length / 4)}); };"
            " img.onerror = bad; img.src = 'data:image/png;base64," +
            png + "'; })");
        EXPECT_EQ(seen["width"], 1400) << what;
        EXPECT_GT(seen["colours"].get<int>(), 16) << what;
        EXPECT_GT(seen["ink"].get<double>(), 0.02) << what;
        EXPECT_LT(seen["ink"].get<double>(), 0.9) << what;
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
    const auto [describedKeys, places] = described(16);
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
        page_->hover(row);
        EXPECT_EQ(lit("#input-1"), expected) << key << "[" << index << "] by pointer";
        page_->hover("h1");
        EXPECT_TRUE(lit("#input-1").empty());
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
    EXPECT_EQ(eval("document.querySelector('#input-1 .hex span[data-i=\"0\"]').className"), "");
    page_->hover("#input-1 .hex span[data-i=\"0\"]");
    EXPECT_TRUE(lit("#input-1").empty());

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
    }

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
            "[...g.querySelectorAll('circle')].map(c => Number(c.dataset.input)))");
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
        "[...document.querySelectorAll('#chart circle')].map(c => Number(c.getAttribute('cy')))");
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
                   "g.querySelectorAll('circle').length)"),
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
    const Json pdf = browser_->call("Page.printToPDF", {{"printBackground", true}}, page_->session());
    EXPECT_EQ(pdf["data"].get<std::string>().rfind("JVBERi0", 0), 0u);  // "%PDF-"
    EXPECT_GT(pdf["data"].get<std::string>().size(), 20000u);
}

}  // namespace
