// Prints the Kaitai Struct description (ksy) or the schema bundle
// (json-schema), for the tests that hand them to the real tools.
#include <cstring>
#include <iostream>

#include "kaitai.h"
#include "schemas.h"

int main(int argc, char** argv) {
    using namespace qlx5100status;
    if (argc == 2 && std::strcmp(argv[1], "ksy") == 0) {
        writeKaitai(std::cout);
    } else if (argc == 2 && std::strcmp(argv[1], "json-schema") == 0) {
        std::cout << dumpJson(schemaBundle()) << '\n';
    } else {
        std::cerr << "usage: describe_print ksy|json-schema\n";
        return 2;
    }
    return std::cout.flush() ? 0 : 1;
}
