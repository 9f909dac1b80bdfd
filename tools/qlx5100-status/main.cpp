// qlx5100-status: runs the QLX5100 analyzer module on status blocks and prints
// what it makes of them. A host like any other: it loads the module at run
// time, configures the logging core and owns the map and the tree.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>

#include <CLI/CLI.hpp>
#include <pugixml.hpp>

#include "encode.h"
#include "input.h"
#include "logsetup.h"
#include "modules.h"
#include "orvplatform/hostloader.h"
#include "render.h"
#include "unitcmnexceptions/unitcmnexceptions.h"

namespace qs = qlx5100status;

namespace {

enum ExitCode : int {
    kOk = 0,
    kDifferent = 1,
    kUsage = 2,
    kInputError = 3,
    kAnalysisFailed = 4,
    kModuleError = 5,
};

const char kHelpInput[] = R"(
Input: a binary status block, '-' for standard input, or a hex dump (xxd,
od -Ax -tx1, hexdump -C, or bare hex bytes). Several files or a directory make
a batch: one result per file, each with its file name.

Output (standard output only; log records go to standard error or --log-file):
  xml    the "DeviceStatus" document; a batch is wrapped in
         <StatusReports><StatusReport file="...">...</StatusReport>...
  json   the same tree as JSON: attributes as "@No", repeated elements (and
         always Heater, PinchRollerPressureSetting) as arrays, values as
         strings; a batch is an array of {"file": ..., "status": ...}
  table  the decoded values: KEY, INDEX, VALUE

)";

// Where the modules come from is the loader's business, and so are the words
// for it.
const char kHelpModulesBySoname[] =
    R"(Modules: the analyzer is looked for at ../lib beside this program, then in the
build tree; the common module on LD_LIBRARY_PATH, then beside the analyzer.
--common-module loads another file in its place; it is used only if its
soname is libprtOrvCommonStatusAnalyzer.so, since the analyzer loads the
module by that name.
)";
const char kHelpModulesByFileName[] =
    R"(Modules: the analyzer is looked for beside this program, then in the build
tree; the common module beside this program, then in the system's folders,
the current folder and on PATH. --common-module loads another file in its
place; it is used only if it is named prtOrvCommonStatusAnalyzer.dll, since
the analyzer loads the module by that name.
)";

const char kHelpExitCodes[] = R"(
Exit codes:
  0  success (diff: the blocks decode to the same values)
  1  diff: the blocks differ
  2  usage error
  3  input error: unreadable file, bad hex dump or JSON, block under 1024 bytes
  4  the analyzer's analysis or XML conversion failed
  5  a module could not be loaded

Examples:
  qlx5100-status examples/blocks/normal-operation.bin
  qlx5100-status --format table -v dump.bin
  xxd dump.bin | qlx5100-status --format json -
  qlx5100-status --annotate dump.bin
  qlx5100-status --format json examples/blocks/ > all.json
  qlx5100-status diff before.bin after.bin
  qlx5100-status encode values.json -o block.bin
  qlx5100-status --describe
)";

struct Options {
    std::vector<std::string> inputs;
    std::string format = "xml";
    std::string inputFormat = "auto";
    std::string modulePath;
    std::string commonPath;
    std::string logLevel = "error";
    bool verbose = false;
    std::string logFile;
    bool annotate = false;
    bool describe = false;
    bool version = false;
    std::string diffOld;
    std::string diffNew;
    std::string encodeValues;
    std::string encodeOutput = "-";
};

void fail(const std::string& message) {
    std::cerr << "qlx5100-status: " << message << '\n';
}

qs::InputFormat inputFormat(const std::string& name) {
    if (name == "binary") {
        return qs::InputFormat::Binary;
    }
    return name == "hex" ? qs::InputFormat::Hex : qs::InputFormat::Auto;
}

// One block through both exports, as a host calls them. Returns an exit code
// and, for a failure, says why in error.
class Analysis {
public:
    Analysis(const qs::AnalyzerModules& modules, qs::InputFormat format)
        : modules_(modules), format_(format) {}

    int run(const std::string& path, bool convert) {
        map_.clear();
        tree_ = ParamIoXML();
        error_.clear();
        const std::string name = qs::displayName(path);
        try {
            block_ = qs::readInput(path, format_);
        } catch (const qs::InputError& e) {
            error_ = e.what();
            return kInputError;
        }
        // A short block still goes to the analyzer, which refuses it with a
        // record of its own; the tool adds which file it was.
        const bool analysed =
            modules_.analyse(reinterpret_cast<char*>(block_.data()), block_.size(), map_);
        if (block_.size() < OrvStatusAnalyzerQLX5100::kMinimumStatusSize) {
            error_ = name + ": the status block is " + std::to_string(block_.size()) +
                     " bytes; the analyzer needs at least " +
                     std::to_string(OrvStatusAnalyzerQLX5100::kMinimumStatusSize);
            return kInputError;
        }
        if (!analysed) {
            error_ = name + ": startStatusAnalysis failed (its log records say why)";
            return kAnalysisFailed;
        }
        if (convert && !modules_.convert(map_, tree_)) {
            error_ = name + ": startConvertXML failed (its log records say why)";
            return kAnalysisFailed;
        }
        return kOk;
    }

    // The tree's XML document, or "" with error set.
    std::string xml() {
        try {
            return tree_.toXml();
        } catch (const unitCmnException& e) {
            error_ = "the tree cannot be written as XML: " + e.getErrorText();
        } catch (const std::exception& e) {
            error_ = std::string("the tree cannot be written as XML: ") + e.what();
        }
        return std::string();
    }

    std::vector<std::uint8_t>& block() { return block_; }
    const StatusMap& map() const { return map_; }
    const ParamIoXML& tree() const { return tree_; }
    const std::string& error() const { return error_; }

private:
    const qs::AnalyzerModules& modules_;
    qs::InputFormat format_;
    std::vector<std::uint8_t> block_;
    StatusMap map_;
    ParamIoXML tree_;
    std::string error_;
};

// Writes each result as soon as it is ready, so that a batch of thousands
// neither waits until the end nor holds every result in memory.
class Printer {
public:
    Printer(std::ostream& out, const std::string& format, bool annotate, bool batch)
        : out_(out), format_(format), annotate_(annotate), batch_(batch) {}

    void begin() {
        if (!batch_ || annotate_) {
            return;
        }
        if (format_ == "xml") {
            out_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<StatusReports>\n";
        } else if (format_ == "json") {
            out_ << "[";
        }
    }

    // Returns the exit code, which a failure to write XML may change.
    int result(const std::string& path, int code, Analysis& analysis) {
        const std::string name = qs::displayName(path);
        if (code != kOk) {
            fail(analysis.error());
        }
        if (annotate_) {
            return annotated(name, code, analysis);
        }
        if (format_ == "table") {
            if (batch_) {
                out_ << (first_ ? "" : "\n") << "== " << name << " ==\n";
            }
            if (code == kOk) {
                qs::writeTable(out_, analysis.map());
            } else if (batch_) {
                out_ << "error: " << analysis.error() << '\n';
            }
        } else if (format_ == "json") {
            json(name, code, analysis);
        } else {
            code = xml(name, code, analysis);
        }
        first_ = false;
        return code;
    }

    void end() {
        if (!batch_ || annotate_) {
            return;
        }
        if (format_ == "xml") {
            out_ << "</StatusReports>\n";
        } else if (format_ == "json") {
            out_ << (first_ ? "]\n" : "\n]\n");
        }
    }

private:
    int annotated(const std::string& name, int code, Analysis& analysis) {
        if (batch_) {
            out_ << (first_ ? "" : "\n") << "== " << name << " ==\n";
        }
        first_ = false;
        // A block the analyzer refused is still worth seeing; values that it
        // did not decode show as such.
        if (code == kOk || !analysis.block().empty()) {
            qs::writeAnnotated(out_, analysis.block(), analysis.map());
        }
        return code;
    }

    void json(const std::string& name, int code, Analysis& analysis) {
        if (!batch_) {
            if (code == kOk) {
                out_ << qs::dumpJson(qs::treeToJson(analysis.tree())) << '\n';
            }
            return;
        }
        qs::Json item = qs::Json::object();
        item["file"] = name;
        if (code == kOk) {
            item["status"] = qs::treeToJson(analysis.tree());
        } else {
            item["error"] = analysis.error();
        }
        std::string text = qs::dumpJson(item);
        // Indent the item one level inside the array.
        std::string indented = "  ";
        for (const char c : text) {
            indented += c;
            if (c == '\n') {
                indented += "  ";
            }
        }
        out_ << (first_ ? "\n" : ",\n") << indented;
    }

    int xml(const std::string& name, int code, Analysis& analysis) {
        std::string document;
        if (code == kOk) {
            document = analysis.xml();
            if (document.empty()) {
                fail(name + ": " + analysis.error());
                code = kAnalysisFailed;
            }
        }
        if (!batch_) {
            out_ << document;
            return code;
        }
        pugi::xml_document report;
        pugi::xml_node node = report.append_child("StatusReport");
        // Escaped like the values: a file name need not be UTF-8.
        node.append_attribute("file") = ParamIoXML::escapeText(name).c_str();
        if (code == kOk) {
            pugi::xml_document parsed;
            if (parsed.load_string(document.c_str(), pugi::parse_default | pugi::parse_fragment)) {
                for (pugi::xml_node child : parsed.children()) {
                    if (child.type() == pugi::node_element) {
                        node.append_copy(child);
                    }
                }
            } else {
                code = kAnalysisFailed;
                fail(name + ": the XML document does not parse");
            }
        }
        if (code != kOk) {
            node.append_attribute("error") =
                (analysis.error().empty() ? "XML output failed" : analysis.error()).c_str();
        }
        node.print(out_, "  ", pugi::format_indent, pugi::encoding_utf8, 1);
        return code;
    }

    std::ostream& out_;
    std::string format_;
    bool annotate_;
    bool batch_;
    bool first_ = true;
};

int runAnalysis(const Options& options, const qs::AnalyzerModules& modules) {
    std::vector<std::string> inputs;
    try {
        inputs = qs::expandInputs(options.inputs);
    } catch (const qs::InputError& e) {
        fail(e.what());
        return kInputError;
    }
    if (inputs.empty()) {
        fail("no files to read in " + options.inputs.front());
        return kInputError;
    }
    if (std::count(inputs.begin(), inputs.end(), "-") > 1) {
        fail("standard input ('-') can be read only once");
        return kUsage;
    }
    // A folder is a batch even when it holds one file: the output's shape
    // should not depend on how many files happen to be in it.
    std::error_code ec;
    const bool batch =
        inputs.size() > 1 || std::filesystem::is_directory(options.inputs.front(), ec);
    Analysis analysis(modules, inputFormat(options.inputFormat));
    Printer printer(std::cout, options.format, options.annotate, batch);
    const bool convert = !options.annotate && options.format != "table";
    int worst = kOk;
    printer.begin();
    for (const std::string& path : inputs) {
        const int code = printer.result(path, analysis.run(path, convert), analysis);
        worst = std::max(worst, code);
    }
    printer.end();
    return worst;
}

int runDiff(const Options& options, const qs::AnalyzerModules& modules) {
    if (options.diffOld == "-" && options.diffNew == "-") {
        fail("standard input ('-') can be read only once");
        return kUsage;
    }
    const qs::InputFormat format = inputFormat(options.inputFormat);
    Analysis before(modules, format);
    Analysis after(modules, format);
    for (auto [analysis, path] :
         {std::pair{&before, &options.diffOld}, {&after, &options.diffNew}}) {
        const int code = analysis->run(*path, false);
        if (code != kOk) {
            fail(analysis->error());
            return code;
        }
    }
    const auto differences = qs::compareMaps(before.map(), after.map());
    if (options.format == "json") {
        std::cout << qs::dumpJson(qs::differencesJson(differences)) << '\n';
    } else if (!differences.empty()) {
        qs::writeDifferences(std::cout, differences);
    }
    return differences.empty() ? kOk : kDifferent;
}

int runEncode(const Options& options) {
    nlohmann::json values;
    try {
        if (options.encodeValues == "-") {
            values = nlohmann::json::parse(std::cin);
        } else {
            std::ifstream in(options.encodeValues);
            if (!in) {
                fail(options.encodeValues + ": cannot open");
                return kInputError;
            }
            values = nlohmann::json::parse(in);
        }
    } catch (const nlohmann::json::exception& e) {
        fail(qs::displayName(options.encodeValues) + ": " + e.what());
        return kInputError;
    }
    std::vector<std::uint8_t> block;
    try {
        block = qs::encodeBlock(values);
    } catch (const qs::EncodeError& e) {
        fail(qs::displayName(options.encodeValues) + ": " + e.what());
        return kInputError;
    }
    if (options.encodeOutput == "-") {
        if (orvplatform::isTerminal(stdout)) {
            fail("not writing a binary block to a terminal; give -o FILE or redirect the output");
            return kUsage;
        }
        orvplatform::setBinaryMode(stdout);
        std::cout.write(reinterpret_cast<const char*>(block.data()),
                        static_cast<std::streamsize>(block.size()));
        std::cout.flush();
        return std::cout ? kOk : kInputError;
    }
    std::ofstream out(options.encodeOutput, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(block.size()));
    out.close();
    if (!out) {
        fail(options.encodeOutput + ": cannot write");
        return kInputError;
    }
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app{"Decodes QLX5100 status blocks with the analyzer module and prints the result.",
                 "qlx5100-status"};
    const bool bySoname = orvplatform::bareNameRule() == orvplatform::BareNameRule::Soname;
    app.footer(std::string(kHelpInput) +
               (bySoname ? kHelpModulesBySoname : kHelpModulesByFileName) + kHelpExitCodes);
    app.fallthrough();
    // CLI11 would read "/name" as an option on Windows; here it is a path
    // (wine hands programs Unix paths), and options are spelt the same
    // everywhere.
    app.allow_windows_style_options(false);
    app.add_option("inputs", options.inputs,
                   "Status blocks: binary or hex dump files, '-' for standard input, directories");
    app.add_option("-f,--format", options.format, "Output: xml (default), json or table")
        ->check(CLI::IsMember({"xml", "json", "table"}));
    app.add_option("--input-format", options.inputFormat,
                   "How to read inputs: auto (default: text that looks like a hex dump is one), "
                   "binary or hex")
        ->check(CLI::IsMember({"auto", "binary", "hex"}));
    app.add_flag("--annotate", options.annotate,
                 "Print each block as an annotated hex dump with every field's value");
    app.add_flag("--describe", options.describe,
                 "Print the field dictionary (table, or JSON with --format json)");
    app.add_option("--module", options.modulePath, "The analyzer module to load");
    app.add_option("--common-module", options.commonPath,
                   std::string("The common module to load in place of the one the analyzer "
                               "would find; its ") +
                       (bySoname ? "soname must be libprtOrvCommonStatusAnalyzer.so"
                                 : "file name must be prtOrvCommonStatusAnalyzer.dll"));
    app.add_option("--log-level", options.logLevel,
                   "Log records to show: error (default), inout (entry and exit too) or none")
        ->check(CLI::IsMember({"error", "inout", "none"}));
    app.add_flag("-v,--verbose", options.verbose, "Same as --log-level inout");
    app.add_option("--log-file", options.logFile,
                   "Append log records to this file instead of standard error");
    app.add_flag("--version", options.version,
                 "Print the version and the paths of the modules loaded");

    CLI::App* diff = app.add_subcommand(
        "diff", "Compare the decoded values of two blocks; exit 0 when equal, 1 when not");
    diff->add_option("old", options.diffOld, "The first block")->required();
    diff->add_option("new", options.diffNew, "The second block")->required();

    CLI::App* encode = app.add_subcommand(
        "encode", "Build a 1024-byte block from field values in JSON (see docs/cli.md)");
    encode->add_option("values", options.encodeValues, "JSON file, '-' for standard input")
        ->required();
    encode->add_option("-o,--output", options.encodeOutput,
                       "Block file to write (default: stdout)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kOk : kUsage;
    }

    if (encode->parsed()) {
        return runEncode(options);
    }
    if (options.describe) {
        if (options.format == "json") {
            std::cout << qs::dumpJson(qs::describeJson()) << '\n';
        } else {
            qs::writeDescription(std::cout);
        }
        return kOk;
    }
    if (!options.version && !diff->parsed() && options.inputs.empty()) {
        fail("no input given (try --help)");
        return kUsage;
    }
    if (diff->parsed() && (!options.inputs.empty() || options.annotate)) {
        fail("diff takes exactly two blocks and no --annotate");
        return kUsage;
    }

    qs::LogLevel level = qs::LogLevel::Error;
    if (options.verbose || options.logLevel == "inout") {
        level = qs::LogLevel::InOut;
    } else if (options.logLevel == "none") {
        level = qs::LogLevel::None;
    }
    try {
        qs::setUpLogging(level, options.logFile);
    } catch (const std::exception& e) {
        fail(e.what());
        return kInputError;
    }

    std::unique_ptr<qs::AnalyzerModules> modules;
    try {
        modules = std::make_unique<qs::AnalyzerModules>(
            qs::ModulePaths{options.modulePath, options.commonPath});
    } catch (const qs::ModuleError& e) {
        if (options.version) {
            std::cout << "qlx5100-status " << QLX5100_STATUS_VERSION << '\n';
        }
        fail(e.what());
        return kModuleError;
    }
    if (options.version) {
        std::cout << "qlx5100-status " << QLX5100_STATUS_VERSION << '\n'
                  << "analyzer module: " << modules->analyzerPath() << '\n'
                  << "common module:   " << modules->commonPath() << '\n';
        return kOk;
    }
    return diff->parsed() ? runDiff(options, *modules) : runAnalysis(options, *modules);
}
