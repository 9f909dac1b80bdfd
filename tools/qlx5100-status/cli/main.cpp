// qlx5100-status: runs the QLX5100 analyzer module on status blocks and prints
// what it makes of them. A host like any other: it loads the module at run
// time, configures the logging core and owns the map and the tree.
#include <iostream>
#include <memory>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "escape.h"
#include "exitcodes.h"
#include "logsetup.h"
#include "messages.h"
#include "modules.h"
#include "options.h"
#include "orvplatform/hostloader.h"
#include "output.h"

namespace qs = qlx5100status;

namespace {

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
  csv    one table of every input: file,key,index,value (RFC 4180 quoting)
  tsv    the same, tab-separated; tab, line break, backslash as \t \n \\
  ndjson one JSON object per input per line, flushed:
         {"file", "ok": true, "values": {...}, "warnings": [...]} or
         {"file", "ok": false, "error", "exit"}; values typed as encode reads
  html   one self-contained page (no external resources): hex grid beside the
         decoded fields; diff: both blocks, changes marked; a batch: overview
         table and a chart across the inputs

)";

// Where the modules come from is the loader's business, and so are the words
// for it.
const char kHelpModulesBySoname[] =
    "Modules: the analyzer is looked for in " QLX5100_STATUS_RELATIVE_MODULE_DIR
    R"( relative to this program,
then in the build tree; the common module on LD_LIBRARY_PATH, then beside the
analyzer. --common-module loads another file in its place; it is used only if
its soname is libprtOrvCommonStatusAnalyzer.so, since the analyzer loads the
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
  3  input error: unreadable file or log file, bad hex dump or JSON, block
     under 1024 bytes, input over 64 MiB;
     with --strict, a block with expert warnings
  4  the analyzer's analysis or XML conversion failed
  5  a module could not be loaded
  6  output error: standard output, -o FILE or the log file could not be
     written (a full disk, a file that cannot be created)

Examples:
  qlx5100-status examples/blocks/normal-operation.bin
  qlx5100-status --format table -v dump.bin
  xxd dump.bin | qlx5100-status --format json -
  qlx5100-status --annotate dump.bin
  qlx5100-status --format json examples/blocks/ > all.json
  qlx5100-status diff before.bin after.bin
  qlx5100-status --format html examples/blocks/ -o report.html
  qlx5100-status -f csv -e ToolStatus -e 'HeaterTemperature[1]' examples/blocks/
  poller | qlx5100-status --stream -f ndjson --strict
  qlx5100-status -f ndjson dump.bin | qlx5100-status encode - -o copy.bin
  qlx5100-status encode values.json -o block.bin
  qlx5100-status --describe
)";

int run(int argc, char** argv) {
    qs::Options options;
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
    app.add_option("-f,--format", options.format,
                   "Output: xml (default), json, table, csv, tsv, ndjson or html (one page to "
                   "look at)")
        ->check(CLI::IsMember({"xml", "json", "table", "csv", "tsv", "ndjson", "html"}));
    app.add_option("-e,--field", options.fields,
                   "Only this field (KEY or KEY[INDEX]; repeatable, in this order) in table, "
                   "csv, tsv, ndjson and diff output")
        ->allow_extra_args(false);
    app.add_option("-o,--output", options.output,
                   "Write the result (or diff) to this file instead of standard output");
    app.add_option("--input-format", options.inputFormat,
                   "How to read inputs: auto (default: text that looks like a hex dump is one), "
                   "binary or hex")
        ->check(CLI::IsMember({"auto", "binary", "hex"}));
    app.add_flag("--annotate", options.annotate,
                 "Print each block as an annotated hex dump with every field's value");
    app.add_flag("--stream", options.stream,
                 "Read standard input (or one file or FIFO) as consecutive blocks, printing each "
                 "as soon as it is complete; names NAME#1, NAME#2, ...");
    app.add_option("--block-size", options.blockSize,
                   "The size of each block with --stream (default 1024)")
        ->check(CLI::Range(std::size_t{1}, std::size_t{64} * 1024 * 1024));
    app.add_flag("--strict", options.strict,
                 "Treat an input with expert warnings as an input error (exit code 3)");
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
        if (e.get_exit_code() == 0) {  // --help
            app.exit(e);
            return qs::kOk;
        }
        qs::fail(std::string(e.what()) + " (try --help)");
        return qs::kUsage;
    }

    const auto conflict = [](const std::string& a, const std::string& b) {
        qs::fail(a + " and " + b + " cannot be combined");
        return qs::kUsage;
    };
    if (encode->parsed() && app.count("--format") != 0) {
        return conflict("encode", "--format " + options.format + " (encode writes a binary block)");
    }
    if (options.describe && (!options.inputs.empty() || diff->parsed())) {
        return conflict("--describe", diff->parsed() ? "diff" : "inputs");
    }
    if (options.annotate && options.describe) {
        return conflict("--annotate", "--describe");
    }
    if (options.annotate && options.format == "json") {
        return conflict("--annotate", "--format " + options.format);
    }
    if (options.verbose && app.count("--log-level") != 0 && options.logLevel != "inout") {
        return conflict("-v (--log-level inout)", "--log-level " + options.logLevel);
    }

    if (encode->parsed()) {
        return qs::runEncode(options);
    }
    if (options.describe) {
        return qs::runDescribe(options);
    }
    if (options.stream) {
        std::string refused;
        if (diff->parsed()) {
            refused = "diff";
        } else if (options.inputs.size() > 1) {
            refused = "more than one input";
        } else if ((options.format == "xml" && !options.annotate) || options.format == "json" ||
                   options.format == "html") {
            refused = "--format " + options.format +
                      (options.format == "xml" ? " (the default; give -f)" : "") +
                      ", a whole document";
        } else if (options.inputFormat == "hex") {
            refused = "--input-format hex";
        }
        if (!refused.empty()) {
            qs::fail(
                "--stream reads one input as binary blocks and prints table, csv, tsv or "
                "ndjson; it cannot take " +
                refused);
            return qs::kUsage;
        }
    } else if (!options.version && !diff->parsed() && options.inputs.empty()) {
        qs::fail("no input given (try --help)");
        return qs::kUsage;
    }
    if (diff->parsed() && (!options.inputs.empty() || options.annotate)) {
        qs::fail("diff takes exactly two blocks and no --annotate");
        return qs::kUsage;
    }
    try {
        options.selection = qs::FieldSelection(options.fields);
    } catch (const qs::SelectionError& e) {
        qs::fail(e.what());
        return qs::kUsage;
    }
    // The documents keep the analyzer's tree whole; diff's own table is
    // what it prints for xml.
    const bool wholeDocument = options.format == "json" || options.format == "html" ||
                               (!diff->parsed() && options.format == "xml");
    if (!options.fields.empty() && (wholeDocument || options.annotate)) {
        qs::fail("-e selects the fields of table, csv, tsv and ndjson output and of diff, not of " +
                 (options.annotate ? std::string("--annotate") : "--format " + options.format) +
                 (options.format == "xml" ? " (the default; give -f table)" : ""));
        return qs::kUsage;
    }
    if (options.annotate && options.format == "html") {
        qs::fail("--annotate and --format html cannot be combined: the page annotates the block");
        return qs::kUsage;
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
        qs::fail(e.what());
        return qs::kInputError;
    }

    std::unique_ptr<qs::AnalyzerModules> modules;
    try {
        modules = std::make_unique<qs::AnalyzerModules>(
            qs::ModulePaths{options.modulePath, options.commonPath});
    } catch (const qs::ModuleError& e) {
        if (options.version) {
            std::cout << "qlx5100-status " << QLX5100_STATUS_VERSION << '\n';
        }
        qs::fail(e.what());
        return qs::kModuleError;
    }
    if (options.version) {
        std::cout << "qlx5100-status " << QLX5100_STATUS_VERSION << '\n'
                  << "analyzer module: " << qs::shown(modules->analyzerPath()) << '\n'
                  << "common module:   " << qs::shown(modules->commonPath()) << '\n';
        return qs::kOk;
    }
    if (options.stream) {
        return qs::runStream(options, *modules);
    }
    return diff->parsed() ? qs::runDiff(options, *modules) : qs::runAnalysis(options, *modules);
}

}  // namespace

int main(int argc, char** argv) {
    qs::checkStandardOutput();
    // The modules are unloaded by now, so the log file has every record.
    int code = run(argc, argv);
    if (!qs::finishLogging()) {
        code = qs::kOutputError;
    }
    if (!qs::finishStandardOutput()) {
        code = qs::kOutputError;
    }
    return code;
}
