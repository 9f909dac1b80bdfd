#include "writer.h"

#include <exception>
#include <pugixml.hpp>
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
        writeDelimitedHeading(out_, *d, {"file", "key", "index", "value"});
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
        if (input.code == 0) {
            writeDelimitedEntries(out_, *d, *input.name, *input.map, selection_);
        }
    } else if (format_ == Format::Ndjson) {
        ndjson_.write(out_, *input.name, input.code, *input.error, *input.map, *input.warnings);
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

void Writer::json(const Decoded& input) {
    if (!batch_) {
        if (input.code == 0) {
            out_ << dumpJson(treeToJson(*input.tree)) << '\n';
        }
        return;
    }
    Json item = Json::object();
    item["file"] = *input.name;
    if (input.code == 0) {
        item["status"] = treeToJson(*input.tree);
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
    if (input.code != 0) {
        node.append_attribute("error") = input.error->c_str();
    } else if (!problem.empty()) {
        node.append_attribute("error") = problem.c_str();
    }
    node.print(out_, "  ", pugi::format_indent, pugi::encoding_utf8, 1);
    return problem;
}

}  // namespace qlx5100status
