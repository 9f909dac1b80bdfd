// The report page's style sheet and script (page/report.css, page/report.js),
// built into the program by EmbedText.cmake.
#pragma once

#include <cstddef>

namespace qlx5100status {

extern const char kReportCss[];
extern const std::size_t kReportCssSize;
extern const char kReportJs[];
extern const std::size_t kReportJsSize;

}  // namespace qlx5100status
