// The bundled examples through the built analyzer module, loaded the way a
// host loads it: each status block in examples/blocks decodes and converts to
// the XML in examples/expected.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "orvplatform/win32.h"
#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"
#include "unitcmnparamio/paramioxml.h"

namespace {

using namespace OrvStatusAnalyzerQLX5100;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Examples : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() {
        const std::string path = ORV_ANALYZER_MODULE;
        module_ = LoadLibraryW(std::wstring(path.begin(), path.end()).c_str());
    }
    static void TearDownTestSuite() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
            module_ = nullptr;
        }
    }

    static HMODULE module_;
};

HMODULE Examples::module_ = nullptr;

TEST_P(Examples, DecodeAndConvertToTheExpectedXml) {
    ASSERT_NE(module_, nullptr) << "cannot load " << ORV_ANALYZER_MODULE;
    const ForeignProc<bool(char*, unsigned long long, StatusMap&)> analyse(
        GetProcAddress(module_, kStartStatusAnalysisName));
    const ForeignProc<bool(StatusMap&, ParamIoXML&)> convert(
        GetProcAddress(module_, kStartConvertXMLName));
    ASSERT_TRUE(analyse);
    ASSERT_TRUE(convert);

    const std::string examples = ORV_EXAMPLES_DIR;
    std::string block = readFile(examples + "/blocks/" + GetParam() + ".bin");
    ASSERT_GE(block.size(), kMinimumStatusSize);
    StatusMap map;
    ASSERT_TRUE(analyse(block.data(), block.size(), map));
    ParamIoXML tree;
    ASSERT_TRUE(convert(map, tree));
    EXPECT_EQ(tree.toXml(), readFile(examples + "/expected/" + GetParam() + ".xml"));
}

INSTANTIATE_TEST_SUITE_P(Bundled, Examples,
                         ::testing::Values("normal-operation", "heater-fault", "all-pinch-rollers",
                                           "text-with-control-bytes"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name) {
                                 c = c == '-' ? '_' : c;
                             }
                             return name;
                         });

}  // namespace
