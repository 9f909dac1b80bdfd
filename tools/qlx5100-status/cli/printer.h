// Writes the results of a batch (or of one input) in the chosen format.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "analysis.h"
#include "htmlreport.h"
#include "lineformats.h"
#include "options.h"
#include "selection.h"

namespace qlx5100status {

// Writes each result as soon as it is ready, so that a batch of thousands
// neither waits until the end nor holds every result in memory.
class Printer {
public:
    // The html page is one document with its data in one place, so it
    // keeps every result and is written at end().
    Printer(std::ostream& out, const Options& options, const FieldSelection& selection, bool batch)
        : out_(out),
          selection_(selection),
          format_(options.format),
          annotate_(options.annotate),
          strict_(options.strict),
          batch_(batch),
          ndjson_(selection) {
        if (format_ == "html") {
            html_ = std::make_unique<HtmlReport>(batch ? PageKind::Batch : PageKind::Block);
        }
    }

    // The batch's opening, before the first result.
    void begin();

    // Returns the exit code, which a failure to write XML, or a warning
    // under --strict, may change.
    int result(const std::string& path, int code, Analysis& analysis);
    // The same for an input that has a name but no path (a stream's block).
    int named(const std::string& name, int code, Analysis& analysis);

    // The batch's closing, after the last result.
    void end();

private:
    int warned(int code, const Analysis& analysis) const;
    int annotated(const std::string& name, int code, Analysis& analysis);
    void json(const std::string& name, int code, Analysis& analysis);
    int xml(const std::string& name, int code, Analysis& analysis);

    std::ostream& out_;
    const FieldSelection& selection_;
    std::string format_;
    bool annotate_;
    bool strict_;
    bool batch_;
    bool first_ = true;
    std::unique_ptr<HtmlReport> html_;
    NdjsonWriter ndjson_;
};

}  // namespace qlx5100status
