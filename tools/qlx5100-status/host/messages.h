// What the tool says on standard error.
#pragma once

#include <string>

namespace qlx5100status {

// One line on standard error, "qlx5100-status: " first.
void fail(const std::string& message);

}  // namespace qlx5100status
