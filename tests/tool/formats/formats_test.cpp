// The writers in process: a decoded input or diff's rows in, text out.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "fields.h"
#include "files.h"
#include "lineformats.h"
#include "render.h"
#include "writer.h"

namespace {

using namespace qlx5100status;

using testsupport::lines;

// csv and tsv are one writer: the same rows, each cell in its dialect.
TEST(Delimited, OneWriterTwoDialects) {
    const struct {
        const char* shown;
        const char* csv;
        const char* tsv;
    } cells[] = {
        {"plain", "plain", "plain"},
        {"a,b", "\"a,b\"", "a,b"},
        {"say \"hi\"", "\"say \"\"hi\"\"\"", "say \"hi\""},
        {"tab\\x09and\\x0Aline", "tab\\x09and\\x0Aline", "tab\\tand\\nline"},
        {"back\\\\slash\\x1B", "back\\\\slash\\x1B", "back\\\\slash\\x1B"},
    };
    for (const auto& c : cells) {
        EXPECT_EQ(delimitedFor(Format::Csv)->cell(c.shown), c.csv);
        EXPECT_EQ(delimitedFor(Format::Tsv)->cell(c.shown), c.tsv);
    }
    EXPECT_EQ(delimitedFor(Format::Table), nullptr);
    std::ostringstream out;
    writeDelimitedRows(out, *delimitedFor(Format::Tsv), {{"a b", "c"}, {"1", "2"}});
    EXPECT_EQ(out.str(), "a b\tc\n1\t2\n");
}

// diff's rows in every format it writes, absent entries each format's way.
TEST(Differences, EveryFormatWritesTheSameRows) {
    const std::vector<Difference> rows = {{"ToolStatus", 1, "0", "7"},
                                          {"PinchRollerPressureSetting", 3, std::nullopt, "5"}};
    const auto written = [&](Format f, const std::vector<Difference>& d) {
        std::ostringstream out;
        writeDifferences(out, d, f);
        return out.str();
    };
    EXPECT_EQ(lines(written(Format::Csv, rows)),
              (std::vector<std::string>{"key,index,old,new", "ToolStatus,1,0,7",
                                        "PinchRollerPressureSetting,3,,5"}));
    EXPECT_EQ(lines(written(Format::Tsv, rows))[2], "PinchRollerPressureSetting\t3\t\t5");
    const auto ndjson = lines(written(Format::Ndjson, rows));
    ASSERT_EQ(ndjson.size(), 2u);
    EXPECT_TRUE(nlohmann::json::parse(ndjson[1]).at("old").is_null());
    EXPECT_EQ(nlohmann::json::parse(written(Format::Json, rows)).size(), 2u);
    const std::string table = written(Format::Table, rows);
    EXPECT_EQ(table, written(Format::Xml, rows));
    EXPECT_NE(table.find("(absent)"), std::string::npos);
    // Equal blocks: a table has nothing to show, a csv its heading.
    EXPECT_EQ(written(Format::Table, {}), "");
    EXPECT_EQ(written(Format::Csv, {}), "key,index,old,new\n");
    EXPECT_EQ(written(Format::Ndjson, {}), "");
    EXPECT_EQ(written(Format::Json, {}), "[]\n");
}

TEST(Description, EveryFormatHasARowPerField) {
    for (const Format f : {Format::Table, Format::Csv, Format::Tsv}) {
        std::ostringstream out;
        writeDescription(out, f);
        EXPECT_EQ(lines(out.str()).size(), fieldTable().size() + 1) << formatInfo(f).name;
    }
    std::ostringstream json;
    writeDescription(json, Format::Json);
    EXPECT_EQ(nlohmann::json::parse(json.str()).size(), fieldTable().size());
}

// A batch in csv: one heading, then each decoded input's rows; a failed input
// writes no row (the command loop says why).
TEST(Writer, CsvBatchHasOneHeadingAndOnlyDecodedRows) {
    const std::string ok = "a.bin";
    const std::string bad = "b.bin";
    const std::string noError;
    const std::string error = "b.bin: too short";
    const std::vector<std::uint8_t> block(kBlockSize);
    const StatusMap map = {{"ToolStatus", {{1, "7"}}}, {"OperationMode", {{1, "2"}}}};
    const StatusMap none;
    const std::vector<Warning> warnings;
    const FieldSelection all;
    std::ostringstream out;
    Writer writer(out, Format::Csv, false, all, true);
    writer.begin();
    EXPECT_EQ(writer.write({&ok, 0, &noError, &block, &map, nullptr, &warnings}), "");
    EXPECT_EQ(writer.write({&bad, 3, &error, &block, &none, nullptr, &warnings}), "");
    writer.end();
    EXPECT_EQ(out.str(),
              "file,key,index,value,warning\na.bin,OperationMode,1,2,\na.bin,ToolStatus,1,7,\n");
}

}  // namespace
