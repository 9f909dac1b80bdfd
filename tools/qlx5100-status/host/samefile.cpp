#include "samefile.h"

#include "escape.h"
#include "input.h"
#include "orvplatform/hostfiles.h"

namespace qlx5100status {

bool sameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) {
        return false;
    }
    const auto first = orvplatform::regularFileIdentity(a);
    return first && first == orvplatform::regularFileIdentity(b);
}

std::string outputOverInput(const std::vector<std::pair<std::string, std::string>>& outputs,
                            const std::vector<std::string>& inputs) {
    for (const auto& [option, path] : outputs) {
        if (path == "-") {
            continue;
        }
        for (const std::string& input : inputs) {
            if (sameFile(path, input)) {
                return option + " " + shown(path) + " and the input " + displayName(input) +
                       " are the same file; writing it would lose the input (write elsewhere)";
            }
        }
    }
    return "";
}

}  // namespace qlx5100status
