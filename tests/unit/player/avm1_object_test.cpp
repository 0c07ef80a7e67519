// Own-property lookups by name, on objects small enough to scan and large enough to hash: the
// same answers either way, in both case modes, through removals and hidden properties.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/avm1/object.h"

namespace {

using swf::avm1::Object;
using swf::avm1::Property;

// An object with `count` properties p0, p1, ... holding their index, plus "Mixed" last.
Object Make(int count) {
  Object o;
  for (int i = 0; i < count; ++i) o.SetOwn("p" + std::to_string(i), i, true);
  o.SetOwn("Mixed", -1, true);
  return o;
}

double Read(const Object& o, const char* name, bool caseSensitive) {
  const Property* p = o.FindOwn(name, caseSensitive);
  return p ? p->value.AsNumber() : -99;
}

TEST(Avm1Object, LookupsAgreeWhetherScannedOrHashed) {
  for (int count : {3, 40}) {
    SCOPED_TRACE(count);
    Object o = Make(count);
    const struct {
      const char* name;
      bool caseSensitive;
      double found;  // -99: none
    } cases[] = {
        {"p0", true, 0},       {"p2", true, 2},        {"P2", true, -99},
        {"P2", false, 2},      {"mixed", true, -99},   {"mIXED", false, -1},
        {"Mixed", true, -1},   {"p", false, -99},      {"p00", false, -99},
    };
    for (const auto& c : cases) EXPECT_EQ(Read(o, c.name, c.caseSensitive), c.found) << c.name;

    // Removing one moves the rest down; each is still found, and the order is kept.
    ASSERT_TRUE(o.DeleteOwn("p1", true));
    EXPECT_EQ(Read(o, "p1", true), -99);
    EXPECT_EQ(Read(o, "p2", true), 2);
    EXPECT_EQ(Read(o, "MIXED", false), -1);
    std::vector<std::string> order;
    for (const Property& p : o.props) order.push_back(p.name);
    EXPECT_EQ(order.front(), "p0");
    EXPECT_EQ(order[1], "p2");
    EXPECT_EQ(order.back(), "Mixed");

    // A hidden property is passed over; one of the same name added later is found instead,
    // and it is the oldest visible one that a case-insensitive lookup finds.
    o.FindOwn("p0", true)->hidden = true;
    EXPECT_EQ(Read(o, "p0", true), -99);
    o.props.push_back({"p0", 100});
    o.props.push_back({"P0", 200});
    EXPECT_EQ(Read(o, "p0", true), 100);
    EXPECT_EQ(Read(o, "P0", true), 200);
    EXPECT_EQ(Read(o, "P0", false), 100);

    o.props.clear();
    EXPECT_EQ(Read(o, "p2", true), -99);
    o.SetOwn("p2", 7, true);
    EXPECT_EQ(Read(o, "P2", false), 7);
  }
}

}  // namespace
