// The node arena behind JSON values: blocks stay intact, may be freed on
// another thread, and texts copy and move correctly.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "json/NodeArena.h"
#include "json/uVxJSON.h"
#include "tests/json/JsonTestUtil.h"

TEST(NodeArena, BlocksDoNotOverlap) {
  struct Block {
    unsigned char* p;
    size_t size;
  };
  std::vector<Block> blocks;
  for (size_t i = 0; i < 20000; ++i) {
    const size_t size = 1 + (i * 37) % 3000;  // arena and oversized blocks mixed
    auto* p = static_cast<unsigned char*>(quorl::ArenaAllocate(size));
    ASSERT_EQ(0u, reinterpret_cast<uintptr_t>(p) % 16);
    std::memset(p, static_cast<int>(i & 0xFF), size);
    blocks.push_back({p, size});
    if (i % 3 == 0) {  // free some early, out of order
      Block b = blocks[blocks.size() / 2];
      blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(blocks.size() / 2));
      quorl::ArenaFree(b.p, b.size);
    }
  }
  for (const Block& b : blocks) {
    for (size_t k = 0; k < b.size; ++k) ASSERT_EQ(b.p[0], b.p[k]);
    quorl::ArenaFree(b.p, b.size);
  }
}

TEST(NodeArena, TreesMayBeFreedOnAnotherThread) {
  for (int round = 0; round < 20; ++round) {
    TvxJSONbase* tree = nullptr;
    std::thread producer(
        [&] { tree = TvxJSON::ParseText(R"({"a":[1,2,3,{"b":"text long enough to allocate"}]})"); });
    producer.join();
    ASSERT_NE(nullptr, tree);
    std::thread consumer([&] { delete tree; });
    consumer.join();
  }
  // And both at once, on trees of their own.
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w) {
    workers.emplace_back([] {
      for (int i = 0; i < 200; ++i) {
        quorl::test::Tree t = quorl::test::Parse(R"([{"k":"v"},[1,2,3],"some string value"])");
        EXPECT_EQ(R"([{"k":"v"},[1,2,3],"some string value"])", quorl::test::Compact(t));
      }
    });
  }
  for (auto& t : workers) t.join();
}

TEST(ArenaText, CopyMoveAndAliasing) {
  quorl::ArenaText a(u"hello world");
  quorl::ArenaText b(a);
  EXPECT_EQ(u"hello world", b.View());
  quorl::ArenaText c(std::move(a));
  EXPECT_TRUE(a.Empty());
  EXPECT_EQ(u"hello world", c.View());
  c.Assign(c.View().substr(6));  // from its own storage
  EXPECT_EQ(u"world", c.View());
  b = b;
  EXPECT_EQ(u"hello world", b.View());
  b = std::move(c);
  EXPECT_EQ(u"world", b.View());
  b.AssignUtf8("\xE4\xB8\xAD\xE6\x96\x87 ok");
  EXPECT_EQ(u"\u4e2d\u6587 ok", b.View());
  b.AssignUtf8("");
  EXPECT_TRUE(b.Empty());
  std::string big;
  for (int i = 0; i < 2000; ++i) big += "\xE4\xB8\xAD";
  b.AssignUtf8(big);
  EXPECT_EQ(2000u, b.View().size());
}
