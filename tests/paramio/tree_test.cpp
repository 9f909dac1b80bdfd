// The tree operations the analyzer relies on: appending, attributes, and
// that a failure leaves the tree as it was.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "failing_allocator.h"
#include "unitcmnexceptions/unitcmnexceptions.h"
#include "unitcmnparamio/paramioxml.h"

namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

Attributes attributesOf(const IoXMLDefine& entry) {
    Attributes out;
    for (const auto& a : entry.getAttributes()) {
        out.emplace_back(a.name, a.value);
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> entriesOf(const ParamIoXML& tree) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& e : tree.getElements()) {
        out.emplace_back(e.getName(), e.getValue());
    }
    return out;
}

TEST(ParamTree, EqualPathsAreKeptInOrderAndEmptyKeysAccepted) {
    ParamIoXML tree;
    tree.addElement("A.B", "1");
    tree.addElement("A.B", "2");
    tree.addElement("");
    tree.addElement("A.B");
    EXPECT_EQ(entriesOf(tree), (std::vector<std::pair<std::string, std::string>>{
                                   {"A.B", "1"}, {"A.B", "2"}, {"", ""}, {"A.B", ""}}));
    for (const auto& e : tree.getElements()) {
        EXPECT_TRUE(e.getAttributes().empty());
        EXPECT_EQ(e.getTag(), 0);
        EXPECT_FALSE(e.getFlag());
    }
}

TEST(ParamTree, SetAttributeReplacesInPlaceAndComparesExactly) {
    IoXMLDefine entry;
    EXPECT_TRUE(entry.findAttribute("No") == entry.getAttributes().end());

    entry.setAttribute("No", "1");
    entry.setAttribute("Kind", "x");
    entry.setAttribute("No", "2");
    entry.setAttribute("no", "3");
    entry.setAttribute("No ", "4");
    EXPECT_EQ(attributesOf(entry),
              (Attributes{{"No", "2"}, {"Kind", "x"}, {"no", "3"}, {"No ", "4"}}));
    EXPECT_EQ(entry.findAttribute("no")->value, "3");
    EXPECT_TRUE(entry.findAttribute("N") == entry.getAttributes().end());

    entry.setValue("v");
    entry.setValue(entry.getValue());
    EXPECT_EQ(entry.getValue(), "v");
}

TEST(ParamTree, ReturnedPointerDesignatesTheEntryInTheTree) {
    ParamIoXML tree;
    IoXMLDefine* first = tree.addElement("DeviceStatus.Heaters.Heater");
    EXPECT_EQ(first, &tree.getElements().back());
    for (int i = 0; i < 100; ++i) {
        tree.addElement("DeviceStatus.Other", std::to_string(i));
    }
    first->setAttribute("No", "1");
    first->setValue("changed");
    const IoXMLDefine& stored = tree.getElements().front();
    EXPECT_EQ(&stored, first);
    EXPECT_EQ(stored.getValue(), "changed");
    EXPECT_EQ(attributesOf(stored), (Attributes{{"No", "1"}}));
}

// Every allocation inside the operation is made to fail in turn, until the
// operation needs no more: each failure must leave the tree (or entry) as it
// was and arrive as unitCmnException 3 with the allocation failure's text.
// operation(n) prepares its arguments, then arms failalloc::failNth(n).
template <typename Operation, typename Snapshot>
void failEachAllocation(Operation operation, Snapshot snapshot) {
    const std::string badAllocText = std::bad_alloc().what();
    const auto before = snapshot();
    std::size_t failures = 0;
    for (std::size_t n = 1;; ++n) {
        try {
            operation(n);
        } catch (const unitCmnException& e) {
            failalloc::disarm();
            ASSERT_EQ(failalloc::injected(), 1u) << "allocation " << n;
            EXPECT_EQ(e.errorCode, 3u);
            EXPECT_EQ(std::string(e.comment), badAllocText) << "allocation " << n;
            EXPECT_EQ(snapshot(), before) << "allocation " << n;
            ++failures;
            continue;
        }
        failalloc::disarm();
        ASSERT_EQ(failalloc::injected(), 0u) << "a failure was swallowed at allocation " << n;
        break;
    }
    // The key-only append moves its key and allocates only its list node.
    EXPECT_GE(failures, 1u);
}

TEST(ParamTree, AllocationFailureInAddElementLeavesTreeUnchanged) {
    // Texts longer than any small-string buffer, so that copies allocate.
    const std::string key = "DeviceStatus.PinchRollerPressureSettings.PinchRollerPressureSetting";
    const std::string value(100, 'v');
    ParamIoXML tree;
    tree.addElement("DeviceStatus.Existing", "1");

    failEachAllocation(
        [&](std::size_t n) {
            std::string k = key;
            failalloc::failNth(n);
            tree.addElement(std::move(k));
        },
        [&] { return entriesOf(tree); });
    EXPECT_EQ(tree.getElements().size(), 2u);
    failEachAllocation(
        [&](std::size_t n) {
            std::string k = key;
            std::string v = value;
            failalloc::failNth(n);
            tree.addElement(std::move(k), std::move(v));
        },
        [&] { return entriesOf(tree); });
    EXPECT_EQ(tree.getElements().back().getValue(), value);
}

TEST(ParamTree, AllocationFailureInSetAttributeLeavesAttributesUnchanged) {
    IoXMLDefine entry;
    entry.setAttribute("First", "1");
    const std::string name(40, 'n');
    const std::string value(40, 'v');
    failEachAllocation(
        [&](std::size_t n) {
            failalloc::failNth(n);
            entry.setAttribute(name, value);
        },
        [&] { return attributesOf(entry); });
    EXPECT_EQ(entry.getAttributes().size(), 2u);
}

}  // namespace
