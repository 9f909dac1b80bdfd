// Writes the results of a batch, a stream or one input in the chosen format.
// It only writes: what goes to standard error, --strict and the exit code are
// the command loop's.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "decoded.h"
#include "formatlist.h"
#include "htmlreport.h"
#include "lineformats.h"
#include "prometheus.h"
#include "selection.h"

namespace qlx5100status {

// Writes each result as soon as it is ready, so that a batch of thousands
// neither waits until the end nor holds every result in memory.
class Writer {
public:
    // annotate: the annotated dump instead of format. The html page is one
    // document with its data in one place, so it keeps every result and is
    // written at end(), and so is a prometheus exposition, each family once
    // for all inputs. selection must outlive the writer; labels are
    // prometheus' constant labels.
    Writer(std::ostream& out, Format format, bool annotate, const FieldSelection& selection,
           bool batch, std::vector<Label> labels = {});

    // Whether write() needs the tree (xml, json), not only the map.
    static bool needsTree(Format format, bool annotate) {
        return !annotate && (format == Format::Xml || format == Format::Json);
    }

    // The batch's opening, before the first result.
    void begin();

    // Writes one input. Returns "" or, when its tree could not be written,
    // why: the input has then failed.
    std::string write(const Decoded& input);

    // The batch's closing, after the last result.
    void end();

    // --strict: the ndjson line of an input with warnings says it failed.
    void strict(bool on) { strict_ = on; }

    // --no-formula-guard: csv and tsv cells as they are.
    void formulaGuard(bool on) { formulaGuard_ = on; }

    // --wide: csv and tsv a row per input; before begin().
    void wide(bool on) { wide_ = on; }

private:
    void annotated(const Decoded& input);
    void json(const Decoded& input);
    std::string xml(const Decoded& input);

    std::ostream& out_;
    const FieldSelection& selection_;
    Format format_;
    bool annotate_;
    bool batch_;
    bool first_ = true;
    bool strict_ = false;
    bool formulaGuard_ = true;
    bool wide_ = false;
    std::vector<std::pair<std::string, int>> columns_;
    std::unique_ptr<HtmlReport> html_;
    std::unique_ptr<PrometheusWriter> prometheus_;
    NdjsonWriter ndjson_;
};

// The tree's XML document as the xml output writes it; "" with why set when
// the tree cannot be written.
std::string xmlDocument(const ParamIoXML& tree, std::string& why);

}  // namespace qlx5100status
