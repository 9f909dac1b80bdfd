#include "messages.h"

#include <iostream>

namespace qlx5100status {

void printError(const std::string& message) {
    std::cerr << "qlx5100-status: " << message << '\n';
}

void printWarning(const std::string& name, const std::string& text) {
    std::cerr << "qlx5100-status: " << name << ": warning: " << text << '\n';
}

void printNote(const std::string& message) {
    std::cerr << "qlx5100-status: " << message << '\n';
}

}  // namespace qlx5100status
