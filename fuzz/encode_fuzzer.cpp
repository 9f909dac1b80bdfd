// encode's JSON side on any text: the values file a user hands the tool or
// the C interface.
//
// Property: encodeValuesText either throws EncodeError with a message of
// bounded length (however long or deep the text, a message quotes excerpts
// only) or returns a block of exactly kBlockSize bytes; nothing else
// escapes, and no text crashes it (nesting is bounded, so the tree's
// recursive destructor never runs deep).
#include "encode.h"
#include "fields.h"
#include "fuzz_support.h"
#include "valuestext.h"

namespace {

// The longest fixed text plus a few excerpts of the input.
constexpr std::size_t kLongestMessage = 400;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> text(data, data + size);
    try {
        const std::vector<std::uint8_t> block = qlx5100status::encodeValuesText(text);
        if (block.size() != qlx5100status::kBlockSize) {
            fuzzsupport::fail("a block of " + std::to_string(block.size()) + " bytes");
        }
    } catch (const qlx5100status::EncodeError& e) {
        const std::string message = e.what();
        if (message.empty() || message.size() > kLongestMessage) {
            fuzzsupport::fail("a message of " + std::to_string(message.size()) +
                              " bytes: " + fuzzsupport::printable(message.substr(0, 200)));
        }
    }
    return 0;
}
