#include "writer.h"

#include <exception>
#include <pugixml.hpp>
#include <sstream>
#include <utility>

#include "render.h"
#include "unitcmnexceptions/unitcmnexceptions.h"

namespace qlx5100status {

Writer::Writer(std::ostream& out, Format format, bool annotate, const FieldSelection& selection,
               bool batch, std::vector<Label> labels)
    : out_(out),
      selection_(selection),
      format_(format),
      annotate_(annotate),
      batch_(batch),
      ndjson_(selection) {
    if (!annotate_ && format_ == Format::Html) {
        html_ = std::make_unique<HtmlReport>(batch ? PageKind::Batch : PageKind::Block);
    }
    if (!annotate_ && format_ == Format::Prometheus) {
        prometheus_ = std::make_unique<PrometheusWriter>(selection, std::move(labels));
    }
}

void Writer::begin() {
    if (annotate_) {
        return;
    }
    // One table for every input, so one heading.
    if (const Delimited* d = delimitedFor(format_)) {
        if (wide_) {
            columns_ = wideColumns(selection_);
            writeWideHeading(out_, *d, columns_);
        } else {
            writeDelimitedHeading(out_, *d, {"file", "key", "index", "value", "warning"});
        }
    }
    if (!batch_) {
        return;
    }
    if (format_ == Format::Xml) {
        out_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<StatusReports>\n";
    } else if (format_ == Format::Json) {
        out_ << "[";
    }
}

std::string Writer::write(const Decoded& input) {
    std::string problem;
    if (annotate_) {
        annotated(input);
    } else if (html_) {
        html_->add(input);
    } else if (prometheus_) {
        prometheus_->add(input);
    } else if (format_ == Format::Table) {
        if (batch_) {
            out_ << (first_ ? "" : "\n") << "== " << *input.name << " ==\n";
        }
        if (input.code == 0) {
            writeTable(out_, *input.map, selection_);
        } else if (batch_) {
            out_ << "error: " << *input.error << '\n';
        }
    } else if (const Delimited* d = delimitedFor(format_)) {
        Delimited dialect = *d;
        dialect.formulaGuard = formulaGuard_;
        if (wide_) {
            static const StatusMap kNone;
            static const std::vector<Warning> kNoWarnings;
            const bool ok = input.code == 0;
            writeWideRow(out_, dialect, *input.name, ok ? *input.map : kNone, columns_,
                         ok ? *input.warnings : kNoWarnings);
        } else if (input.code == 0) {
            writeDelimitedEntries(out_, dialect, *input.name, *input.map, selection_,
                                  *input.warnings);
        }
    } else if (format_ == Format::Ndjson) {
        ndjson_.write(out_, *input.name, input.code, *input.error, *input.map, *input.warnings,
                      strict_);
        // A reader at the other end of a pipe sees each input as it is done.
        out_.flush();
    } else if (format_ == Format::Json) {
        json(input);
    } else {
        problem = xml(input);
    }
    first_ = false;
    return problem;
}

void Writer::end() {
    if (html_) {
        out_ << html_->page();
        return;
    }
    if (prometheus_) {
        prometheus_->write(out_);
        return;
    }
    if (!batch_ || annotate_) {
        return;
    }
    if (format_ == Format::Xml) {
        out_ << "</StatusReports>\n";
    } else if (format_ == Format::Json) {
        out_ << (first_ ? "]\n" : "\n]\n");
    }
}

void Writer::annotated(const Decoded& input) {
    if (batch_) {
        out_ << (first_ ? "" : "\n") << "== " << *input.name << " ==\n";
    }
    // A block the analyzer refused is still worth seeing; values that it
    // did not decode show as such.
    if (input.code == 0 || !input.block->empty()) {
        writeAnnotated(out_, *input.block, *input.map, *input.warnings);
    }
}

namespace {

// {"key", "index", "text"} each, as ndjson writes them.
Json warningsJson(const std::vector<Warning>& warnings) {
    Json list = Json::array();
    for (const Warning& w : warnings) {
        Json item = Json::object();
        item["key"] = w.key.empty() ? Json() : Json(w.key);
        item["index"] = w.key.empty() ? Json() : Json(w.index);
        item["text"] = w.text;
        list.push_back(std::move(item));
    }
    return list;
}

// <Warnings><Warning key="K" index="I">TEXT</Warning>...</Warnings>, key and
// index left out for a warning about the whole block.
void appendWarnings(pugi::xml_node parent, const std::vector<Warning>& warnings) {
    pugi::xml_node list = parent.append_child("Warnings");
    for (const Warning& w : warnings) {
        pugi::xml_node item = list.append_child("Warning");
        if (!w.key.empty()) {
            item.append_attribute("key") = w.key.c_str();
            item.append_attribute("index") = w.index;
        }
        item.text() = w.text.c_str();
    }
}

}  // namespace

void Writer::json(const Decoded& input) {
    if (!batch_) {
        if (input.code == 0) {
            Json document = treeToJson(*input.tree);
            document["warnings"] = warningsJson(*input.warnings);
            out_ << dumpJson(document) << '\n';
        }
        return;
    }
    Json item = Json::object();
    item["file"] = *input.name;
    if (input.code == 0) {
        item["status"] = treeToJson(*input.tree);
        item["warnings"] = warningsJson(*input.warnings);
    } else {
        item["error"] = *input.error;
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

std::string xmlDocument(const ParamIoXML& tree, std::string& why) {
    try {
        return tree.toXml();
    } catch (const unitCmnException& e) {
        why = "the tree cannot be written as XML: " + e.getErrorText();
    } catch (const std::exception& e) {
        why = std::string("the tree cannot be written as XML: ") + e.what();
    }
    return std::string();
}

std::string Writer::xml(const Decoded& input) {
    std::string document;
    std::string problem;
    if (input.code == 0) {
        document = xmlDocument(*input.tree, problem);
    }
    if (!batch_) {
        if (!input.warnings->empty() && problem.empty()) {
            // Inside the root element, the one place a document has, as its
            // last child; the analyzer's part stays as it was written.
            const std::size_t closing = document.rfind("</");
            if (closing != std::string::npos) {
                pugi::xml_document warnings;
                appendWarnings(warnings, *input.warnings);
                std::ostringstream text;
                warnings.first_child().print(text, "  ", pugi::format_indent, pugi::encoding_utf8,
                                             1);
                document.insert(closing, text.str());
            }
        }
        out_ << document;
        return problem;
    }
    pugi::xml_document report;
    pugi::xml_node node = report.append_child("StatusReport");
    // The name and the error texts are shown() already, like the values.
    node.append_attribute("file") = input.name->c_str();
    if (input.code == 0 && problem.empty()) {
        pugi::xml_document parsed;
        if (parsed.load_string(document.c_str(), pugi::parse_default | pugi::parse_fragment)) {
            for (pugi::xml_node child : parsed.children()) {
                if (child.type() == pugi::node_element) {
                    node.append_copy(child);
                }
            }
        } else {
            problem = "the XML document does not parse";
        }
    }
    if (input.code == 0 && problem.empty() && !input.warnings->empty()) {
        appendWarnings(node, *input.warnings);
    }
    if (input.code != 0) {
        node.append_attribute("error") = input.error->c_str();
    } else if (!problem.empty()) {
        node.append_attribute("error") = problem.c_str();
    }
    node.print(out_, "  ", pugi::format_indent, pugi::encoding_utf8, 1);
    return problem;
}

}  // namespace qlx5100status
