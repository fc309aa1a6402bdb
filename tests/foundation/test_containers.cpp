// The intrusive list and the growable byte ring.
#include "engine/memory.h"
#include "foundation/list.h"
#include "foundation/ringbuffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

using namespace morpotta;

namespace {

std::vector<int> Walk(const ListNode& head) {
    std::vector<int> values;
    for (ListNode* n = head.next; n && n->next; n = n->next) values.push_back(n->value);
    return values;
}

std::vector<int> WalkBack(const ListNode& tail) {
    std::vector<int> values;
    for (ListNode* n = tail.prev; n && n->prev; n = n->prev) values.push_back(n->value);
    return values;
}

}  // namespace

TEST(List, InsertAndRemoveKeepOrder) {
    ListNode head, tail, n[4];
    ASSERT_EQ(InitLinkedList(&head, &tail), 0);
    EXPECT_EQ(head.value, -1);
    EXPECT_EQ(tail.value, -1);
    EXPECT_EQ(head.prev, nullptr);
    EXPECT_EQ(head.next, &tail);
    EXPECT_EQ(tail.prev, &head);
    EXPECT_EQ(tail.next, nullptr);
    EXPECT_TRUE(Walk(head).empty());

    int payload = 9;
    EXPECT_EQ(InsertListNode(&head, &n[0], 10, &payload), 0);  // front
    EXPECT_EQ(InsertListNode(&head, &n[1], 20, nullptr), 0);   // front again
    EXPECT_EQ(InsertListNode(&n[0], &n[2], 30, nullptr), 0);   // after 10
    EXPECT_EQ(InsertListNode(tail.prev, &n[3], 40, nullptr), 0);  // end
    EXPECT_EQ(Walk(head), (std::vector<int>{20, 10, 30, 40}));
    EXPECT_EQ(WalkBack(tail), (std::vector<int>{40, 30, 10, 20}));
    EXPECT_EQ(n[0].data, &payload);

    EXPECT_EQ(RemoveListNode(&n[0]), 0);
    EXPECT_EQ(Walk(head), (std::vector<int>{20, 30, 40}));
    EXPECT_EQ(RemoveListNode(&n[0]), -1);  // already out
    EXPECT_EQ(RemoveListNode(&n[1]), 0);
    EXPECT_EQ(RemoveListNode(&n[3]), 0);
    EXPECT_EQ(Walk(head), (std::vector<int>{30}));
    EXPECT_EQ(WalkBack(tail), (std::vector<int>{30}));
    EXPECT_EQ(RemoveListNode(&n[2]), 0);
    EXPECT_EQ(head.next, &tail);
    EXPECT_EQ(tail.prev, &head);
}

TEST(List, SentinelsStayInPlace) {
    ListNode head, tail, node;
    InitLinkedList(&head, &tail);
    EXPECT_EQ(RemoveListNode(&head), -1);
    EXPECT_EQ(RemoveListNode(&tail), -1);
    EXPECT_EQ(InsertListNode(&tail, &node, 1, nullptr), -1);
    EXPECT_EQ(InsertListNode(nullptr, &node, 1, nullptr), -1);
    EXPECT_EQ(InsertListNode(&head, nullptr, 1, nullptr), -1);
    EXPECT_EQ(RemoveListNode(nullptr), -1);
    EXPECT_EQ(head.next, &tail);
    EXPECT_EQ(tail.prev, &head);
}

namespace {

std::vector<unsigned char> Bytes(int from, int count) {
    std::vector<unsigned char> v(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) v[size_t(i)] = static_cast<unsigned char>(from + i);
    return v;
}

}  // namespace

TEST(Ring, GrowsAsDocumentedAndKeepsOrder) {
    MemoryTotals before = GetMemoryTotals();
    RingBuffer ring;
    ASSERT_EQ(InitRingBuffer(&ring), 0);
    EXPECT_EQ(GetRingBufferUsed(&ring), 0);
    std::vector<unsigned char> out(4000);
    EXPECT_EQ(ReadRingBuffer(&ring, out.data(), 10), 0);

    auto a = Bytes(0, 100);
    ASSERT_EQ(WriteRingBuffer(&ring, a.data(), 100), 0);
    EXPECT_EQ(ring.capacity, 100 + 1000);  // 1.5 * 0 + need + 1000
    EXPECT_EQ(GetMemoryTotals().liveBlocks, before.liveBlocks + 1);  // tracked memory

    auto b = Bytes(100, 1500);
    ASSERT_EQ(WriteRingBuffer(&ring, b.data(), 1500), 0);
    EXPECT_EQ(ring.capacity, 150 + 1500 + 1000);
    EXPECT_EQ(GetRingBufferUsed(&ring), 1600);

    ASSERT_EQ(ReadRingBuffer(&ring, out.data(), 4000), 1600);
    for (int i = 0; i < 1600; ++i) ASSERT_EQ(out[size_t(i)], static_cast<unsigned char>(i)) << i;
    EXPECT_EQ(GetRingBufferUsed(&ring), 0);

    EXPECT_EQ(TerminateRingBuffer(&ring), 0);
    EXPECT_EQ(ring.data, nullptr);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, before.liveBlocks);
}

TEST(Ring, WrapAroundReadsWritesAndGrowth) {
    RingBuffer ring;
    InitRingBuffer(&ring);
    auto first = Bytes(0, 100);
    ASSERT_EQ(WriteRingBuffer(&ring, first.data(), 100), 0);  // capacity 1100
    ASSERT_EQ(ring.capacity, 1100);
    std::vector<unsigned char> out(3000);
    ASSERT_EQ(ReadRingBuffer(&ring, out.data(), 90), 90);

    // 1050 more bytes fit (10 + 1050 <= 1100) but cross the end.
    auto second = Bytes(100, 1050);
    ASSERT_EQ(WriteRingBuffer(&ring, second.data(), 1050), 0);
    EXPECT_EQ(ring.capacity, 1100);
    EXPECT_LT(ring.writePosition, ring.readPosition);

    // A peek across the wrap leaves the contents in place.
    ASSERT_EQ(ReadRingBuffer(&ring, out.data(), 50, true), 50);
    EXPECT_EQ(out[0], 90);
    EXPECT_EQ(GetRingBufferUsed(&ring), 1060);

    // Growing while wrapped keeps the byte order.
    auto third = Bytes(1150, 500);
    ASSERT_EQ(WriteRingBuffer(&ring, third.data(), 500), 0);
    EXPECT_EQ(ring.capacity, 1060 * 3 / 2 + 500 + 1000);
    ASSERT_EQ(ReadRingBuffer(&ring, out.data(), 3000), 1560);
    for (int i = 0; i < 1560; ++i) ASSERT_EQ(out[size_t(i)], static_cast<unsigned char>(90 + i)) << i;
    TerminateRingBuffer(&ring);
}

TEST(Ring, BadRequestsLeaveTheRingUnchanged) {
    RingBuffer ring;
    InitRingBuffer(&ring);
    auto data = Bytes(0, 10);
    ASSERT_EQ(WriteRingBuffer(&ring, data.data(), 10), 0);
    RingBuffer copy = ring;

    // Growth beyond what an int capacity can hold fails cleanly.
    EXPECT_EQ(WriteRingBuffer(&ring, data.data(), INT_MAX - 5), -1);
    EXPECT_EQ(WriteRingBuffer(&ring, data.data(), -1), -1);
    EXPECT_EQ(WriteRingBuffer(&ring, nullptr, 4), -1);
    EXPECT_EQ(WriteRingBuffer(nullptr, data.data(), 4), -1);
    EXPECT_EQ(WriteRingBuffer(&ring, nullptr, 0), 0);
    EXPECT_EQ(ReadRingBuffer(&ring, nullptr, 4), -1);
    EXPECT_EQ(ReadRingBuffer(&ring, data.data(), -3), -1);
    EXPECT_EQ(ring.data, copy.data);
    EXPECT_EQ(ring.capacity, copy.capacity);
    EXPECT_EQ(ring.readPosition, copy.readPosition);
    EXPECT_EQ(ring.writePosition, copy.writePosition);
    EXPECT_EQ(GetRingBufferUsed(&ring), 10);

    unsigned char out[10];
    EXPECT_EQ(ReadRingBuffer(&ring, out, 10), 10);
    EXPECT_EQ(out[9], 9);
    TerminateRingBuffer(&ring);
}
