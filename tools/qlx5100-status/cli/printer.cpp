#include "printer.h"

#include <pugixml.hpp>

#include "exitcodes.h"
#include "input.h"
#include "lineformats.h"
#include "messages.h"
#include "render.h"

namespace qlx5100status {

void Printer::begin() {
    if (annotate_) {
        return;
    }
    // One table for every input, so one heading.
    if (format_ == "csv") {
        writeCsvHeading(out_);
    } else if (format_ == "tsv") {
        writeTsvHeading(out_);
    }
    if (!batch_) {
        return;
    }
    if (format_ == "xml") {
        out_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<StatusReports>\n";
    } else if (format_ == "json") {
        out_ << "[";
    }
}

int Printer::result(const std::string& path, int code, Analysis& analysis) {
    return named(displayName(path), code, analysis);
}

int Printer::named(const std::string& name, int code, Analysis& analysis) {
    if (code != kOk) {
        fail(analysis.error());
    }
    for (const Warning& w : analysis.warnings()) {
        fail(name + ": warning: " + w.text);
    }
    if (annotate_) {
        return warned(annotated(name, code, analysis), analysis);
    }
    if (html_) {
        html_->add(name, code, analysis.error(), analysis.block(), analysis.map());
    } else if (format_ == "table") {
        if (batch_) {
            out_ << (first_ ? "" : "\n") << "== " << name << " ==\n";
        }
        if (code == kOk) {
            writeTable(out_, analysis.map(), selection_);
        } else if (batch_) {
            out_ << "error: " << analysis.error() << '\n';
        }
    } else if (format_ == "csv") {
        if (code == kOk) {
            writeCsvRows(out_, name, analysis.map(), selection_);
        }
    } else if (format_ == "tsv") {
        if (code == kOk) {
            writeTsvRows(out_, name, analysis.map(), selection_);
        }
    } else if (format_ == "ndjson") {
        ndjson_.write(out_, name, code, analysis.error(), analysis.map(), analysis.warnings());
        // A reader at the other end of a pipe sees each input as it is done.
        out_.flush();
    } else if (format_ == "json") {
        json(name, code, analysis);
    } else {
        code = xml(name, code, analysis);
    }
    first_ = false;
    return warned(code, analysis);
}

int Printer::warned(int code, const Analysis& analysis) const {
    return code == kOk && strict_ && !analysis.warnings().empty() ? kInputError : code;
}

void Printer::end() {
    if (html_) {
        out_ << html_->page();
        return;
    }
    if (!batch_ || annotate_) {
        return;
    }
    if (format_ == "xml") {
        out_ << "</StatusReports>\n";
    } else if (format_ == "json") {
        out_ << (first_ ? "]\n" : "\n]\n");
    }
}

int Printer::annotated(const std::string& name, int code, Analysis& analysis) {
    if (batch_) {
        out_ << (first_ ? "" : "\n") << "== " << name << " ==\n";
    }
    first_ = false;
    // A block the analyzer refused is still worth seeing; values that it
    // did not decode show as such.
    if (code == kOk || !analysis.block().empty()) {
        writeAnnotated(out_, analysis.block(), analysis.map(), analysis.warnings());
    }
    return code;
}

void Printer::json(const std::string& name, int code, Analysis& analysis) {
    if (!batch_) {
        if (code == kOk) {
            out_ << dumpJson(treeToJson(analysis.tree())) << '\n';
        }
        return;
    }
    Json item = Json::object();
    item["file"] = name;
    if (code == kOk) {
        item["status"] = treeToJson(analysis.tree());
    } else {
        item["error"] = analysis.error();
    }
    std::string text = dumpJson(item);
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

int Printer::xml(const std::string& name, int code, Analysis& analysis) {
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
    // name and the error texts are shown() already, like the values.
    node.append_attribute("file") = name.c_str();
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

}  // namespace qlx5100status
