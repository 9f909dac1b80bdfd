#include "messages.h"

#include <iostream>

namespace qlx5100status {

void fail(const std::string& message) {
    std::cerr << "qlx5100-status: " << message << '\n';
}

}  // namespace qlx5100status
