// The tree operations the conversion relies on, and that a failing
// allocation inside addElement leaves the tree as it was.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "failing_allocator.h"
#include "text_forms.h"
#include "unitcmnexceptions/unitcmnexceptions.h"
#include "unitcmnparamio/paramioxml.h"

namespace {

TEST(ParamTree, AppendsEveryEntryAndReplacesAttributesInPlace) {
    ParamIoXML tree;
    tree.addElement("A.B", "1");
    tree.addElement("A.B", "2");
    tree.addElement("");
    IoXMLDefine* entry = tree.addElement("A.B");
    EXPECT_TRUE(entry->findAttribute("No") == entry->getAttributes().end());
    entry->setAttribute("No", "1");
    entry->setAttribute("Kind", "x");
    entry->setAttribute("No", "2");
    entry->setAttribute("no", "3");
    EXPECT_EQ(testsupport::treeText(tree), "A.B=1; A.B=2; ; A.B[No=2,Kind=x,no=3]");
}

// Every allocation inside addElement is made to fail in turn, until it needs
// no more: each failure must leave the tree as it was and arrive as
// unitCmnException 3 with the allocation failure's text.
TEST(ParamTree, AllocationFailureInAddElementLeavesTheTreeUnchanged) {
    // Texts longer than any small-string buffer, so that copies allocate.
    const std::string key(40, 'k');
    const std::string value(40, 'v');
    ParamIoXML tree;
    tree.addElement("Existing", "1");
    std::size_t failures = 0;
    for (std::size_t n = 1;; ++n) {
        std::string k = key;
        std::string v = value;
        failalloc::failNth(n);
        try {
            tree.addElement(std::move(k), std::move(v));
        } catch (const unitCmnException& e) {
            failalloc::disarm();
            ASSERT_EQ(failalloc::injected(), 1u) << "allocation " << n;
            EXPECT_EQ(e.errorCode, 3u);
            EXPECT_STREQ(e.comment, std::bad_alloc().what());
            EXPECT_EQ(tree.getElements().size(), 1u) << "allocation " << n;
            ++failures;
            continue;
        }
        failalloc::disarm();
        ASSERT_EQ(failalloc::injected(), 0u) << "a failure was swallowed at allocation " << n;
        break;
    }
    EXPECT_GE(failures, 2u);
    EXPECT_EQ(testsupport::treeText(tree), "Existing=1; " + key + "=" + value);
}

}  // namespace
