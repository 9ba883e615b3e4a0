// The pointer array behind the handler list: capacity moving in steps of
// eight, zero-filled slots, ownership of records, and the result values for
// indexes out of range.

#include "Tarraydata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

#include "heap_usage.h"

namespace corvane {
namespace {

// Distinct non-null values for arrays that do not own what they hold: an
// array that released them would crash.
void* Value(int n) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(n + 1)); }

// The numbers n of the Value(n) that the array holds, in order.
std::vector<std::uintptr_t> Contents(const TArrayData& array) {
  std::vector<std::uintptr_t> contents;
  for (int i = 0; i < array.Count(); ++i) contents.push_back(reinterpret_cast<std::uintptr_t>(array.Get(i)) - 1);
  return contents;
}

// Whether the slots from Count up to `oldCount` (those just vacated, as far
// as the capacity still reaches) hold zero.
bool VacatedSlotsAreZero(const TArrayData& array, int oldCount) {
  void* const* slots = static_cast<void* const*>(array.Block().Data());
  return std::all_of(slots + array.Count(), slots + std::max(array.Count(), std::min(oldCount, array.Capacity())),
                     [](const void* slot) { return slot == nullptr; });
}

TEST(TArrayDataTest, CapacityAndMemoryGrowAndShrinkInStepsOfEight) {
  TArrayData array(false);
  // The count reached by adding or removing at the end, and the capacity.
  const std::pair<int, int> steps[] = {{1, 8},   {8, 8},   {9, 16}, {17, 24}, {16, 16},
                                       {15, 16}, {9, 16}, {8, 8},  {1, 8},   {0, 0}};
  for (const auto& [count, capacity] : steps) {
    const int oldCount = array.Count();
    for (int index = oldCount; index < count; ++index) ASSERT_EQ(array.Add(Value(index)), index);
    for (int index = oldCount - 1; index >= count; --index) ASSERT_TRUE(array.RemoveAt(index));
    EXPECT_EQ(array.Capacity(), capacity) << "at count " << count;
    EXPECT_EQ(array.Block().Size(), capacity * static_cast<int>(sizeof(void*))) << "at count " << count;
    EXPECT_TRUE(VacatedSlotsAreZero(array, oldCount)) << "at count " << count;
  }
}

TEST(TArrayDataTest, RemoveAndDeleteKeepTheOrderAndRefuseWhatIsNotThere) {
  TArrayData array(false);
  for (void* value : {Value(1), Value(2), Value(1), Value(3)}) array.Add(value);
  EXPECT_TRUE(array.Remove(Value(1)));
  EXPECT_FALSE(array.Remove(Value(9)));
  EXPECT_EQ(Contents(array), (std::vector<std::uintptr_t>{2, 1, 3})) << "the first occurrence went";
  EXPECT_EQ(array.IndexOf(Value(3)), 2);
  EXPECT_EQ(array.IndexOf(nullptr), -1) << "not even in the slot past the end";

  // Delete's index and count, its result, and the values left.
  const std::tuple<int, int, bool, std::vector<std::uintptr_t>> cases[] = {
      {2, 5, true, {0, 1}},  {1, 2, true, {0, 3}},       {0, 4, true, {}},
      {3, 1, true, {0, 1, 2}}, {4, 1, false, {0, 1, 2, 3}}, {-1, 1, false, {0, 1, 2, 3}},
      {1, 0, true, {0, 1, 2, 3}},
  };
  for (const auto& [index, n, result, remaining] : cases) {
    TArrayData deleting(false);
    for (int value = 0; value < 4; ++value) deleting.Add(Value(value));
    EXPECT_EQ(deleting.Delete(index, n), result) << "Delete(" << index << ", " << n << ")";
    EXPECT_EQ(Contents(deleting), remaining) << "Delete(" << index << ", " << n << ")";
  }
}

TEST(TArrayDataTest, IndexesAndCountsOutOfRangeGiveNullFalseOrMinusOneAndChangeNothing) {
  TArrayData array(true);
  array.Add(nullptr);
  array.Add(nullptr);
  for (int index : {-1, 2, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}) {
    EXPECT_EQ(array.Get(index), nullptr) << index;
    EXPECT_FALSE(array.RemoveAt(index)) << index;
  }
  for (std::int32_t n : {0, -1, std::numeric_limits<std::int32_t>::max()}) EXPECT_EQ(array.Grow(n), nullptr) << n;
  EXPECT_EQ(array.Count(), 2);
  EXPECT_FALSE(TArrayData(false).Truncate(1)) << "nothing to truncate";
}

// Elements of any size: Grow hands out the first new slot, zero-filled;
// Truncate answers whether there was anything to remove from.
TEST(TArrayTest, GrowReturnsTheFirstNewZeroFilledSlotAndTruncateShrinksInSteps) {
  TArray array(3, 4);
  auto* first = static_cast<unsigned char*>(array.Grow(5));
  ASSERT_EQ(first, array.ItemPtr(0));
  std::fill(first, first + 15, 0xFF);
  // Before each step: elements grown; then Truncate's n, result, count and capacity.
  const std::tuple<int, int, bool, int, int> steps[] = {
      {2, 0, true, 7, 8}, {0, 2, true, 5, 8}, {0, 1, true, 4, 4}, {0, 4, true, 0, 0},
      {1, -1, true, 0, 0}, {0, 1, false, 0, 0}, {0, 0, false, 0, 0},
  };
  for (const auto& [grown, n, result, count, capacity] : steps) {
    if (grown > 0) {
      const int before = array.Count();
      auto* slot = static_cast<unsigned char*>(array.Grow(grown));
      ASSERT_EQ(slot, array.ItemPtr(before));
      EXPECT_TRUE(std::all_of(slot, slot + 3 * grown, [](unsigned char byte) { return byte == 0; }));
    }
    EXPECT_EQ(array.Truncate(n), result) << n;
    EXPECT_EQ(array.Count(), count) << n;
    EXPECT_EQ(array.Capacity(), capacity) << n;
    EXPECT_EQ(array.Block().Size(), 3 * capacity) << n;
  }
}

// Memory that cannot be had, and a size that cannot be, leave the block as it was.
TEST(TArrayTest, ABlockThatCannotBeHadOrSizedIsRefusedAndLeftAsItWas) {
  struct NoMemory final : TVoid {
    void* Allocate(std::size_t) override { return nullptr; }
  };
  NoMemory none;
  EXPECT_FALSE(none.SetSize(16));
  EXPECT_EQ(none.Size(), 0);
  EXPECT_EQ(none.Data(), nullptr);
  TVoid block;
  EXPECT_FALSE(block.SetSize(-1));
  ASSERT_TRUE(block.SetSize(16));
  EXPECT_EQ(block.Size(), 16);
  EXPECT_FALSE(block.SetSize(-1));
  EXPECT_EQ(block.Size(), 16);
  EXPECT_TRUE(block.SetSize(0));
  EXPECT_EQ(block.Data(), nullptr);
}

// Records big enough that giving one back shows in the heap's byte count
// above any bookkeeping of the array itself. A slot released but not emptied
// would be released again by the destructor.
constexpr long long kRecordBytes = 8192;
long long BytesFreedSince(std::size_t before) {
  return static_cast<long long>(before) - static_cast<long long>(testing::HeapBytesInUse());
}

TEST(TArrayDataTest, AnOwningArrayGivesEachRecordBackOnce) {
  const std::size_t start = testing::HeapBytesInUse();
  {
    TArrayData array(true);
    for (int n = 0; n < 4; ++n) array.Add(std::malloc(kRecordBytes));
    const std::size_t before = testing::HeapBytesInUse();
    ASSERT_TRUE(array.RemoveAt(0));
    array.ReleaseElements(1, 100);
    EXPECT_GE(BytesFreedSince(before), 3 * kRecordBytes) << "one record removed, two released";
    EXPECT_EQ(array.Count(), 3) << "released slots stay in the array, emptied";
  }
  EXPECT_GT(BytesFreedSince(start), -kRecordBytes) << "no record is left behind";
}

}  // namespace
}  // namespace corvane
